#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and starts the viewer.
#   SKIP_DEPS=1 scripts/run.sh   skips the package installation.
# Arguments are handed to the viewer (for example --lang=chs).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SKIP_DEPS:-0}" != "1" ]; then
  ./scripts/deps.sh
  # A font with Chinese glyphs for the Chinese interface.
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends fonts-wqy-microhei
fi
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target Ravik
exec ./build/bin/Ravik "$@"
