#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the viewer need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++ cmake ninja-build pkg-config \
  libboost-dev libboost-system-dev libgtest-dev \
  qt6-base-dev libqt6opengl6-dev libglew-dev qt6-translations-l10n \
  xvfb xauth libgl1-mesa-dri libglx-mesa0 mesa-utils locales \
  clang libclang-rt-14-dev \
  fonts-dejavu-core fonts-wqy-microhei
