#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs the tests.
#   SANITIZE=1 scripts/test.sh   builds into build-asan with AddressSanitizer
#                                and UndefinedBehaviorSanitizer instead, and
#                                then runs every fuzz target for a while
#                                (scripts/fuzz.sh; FUZZ_SECONDS each).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SKIP_DEPS:-0}" != "1" ]; then ./scripts/deps.sh; fi
BUILD=build
EXTRA=(-DQUILLET_WERROR=ON)
if [ "${SANITIZE:-0}" = "1" ]; then
  BUILD=build-asan
  EXTRA+=(-DQUILLET_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
cmake -S . -B "$BUILD" -G Ninja "${EXTRA[@]}"
cmake --build "$BUILD" -j "$(nproc)"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=xcb_glx LIBGL_ALWAYS_SOFTWARE=1
xvfb-run -a -s '-screen 0 1280x1024x24' \
  ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)"
if [ "${SANITIZE:-0}" = "1" ]; then ./scripts/fuzz.sh; fi
