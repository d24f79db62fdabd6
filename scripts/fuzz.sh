#!/usr/bin/env bash
# Runs every fuzz target under tests/fuzz/ for a while with libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer (the fuzz build compiles
# all its code, the library's and the viewer's, with the fuzzer's coverage
# and both sanitizers): FUZZ_SECONDS each (60 by default), starting from the
# seeds in tests/fuzz/<name>_seeds/ for the target <name>_fuzz.
# A finding stops the script with the input saved as build-fuzz/<target>-*.
# A tests/fuzz/<target>.dict file gives libFuzzer words to splice in.
# Without a clang that links libFuzzer it says so and passes: the ordinary
# suite still replays every seed corpus through a plain driver.
set -euo pipefail
cd "$(dirname "$0")/.."
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' > "$probe/probe.cpp"
if ! command -v clang++ >/dev/null || ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "fuzz: clang with libFuzzer not found; fuzz runs skipped"
  exit 0
fi
BUILD=build-fuzz
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_FUZZ=ON -DQUILLET_BUILD_VIEWER=ON \
  -DCMAKE_CXX_FLAGS=
# Every target a tests/fuzz/<name>.cmake file defined in this configuration
# (one whose parts are not built here, such as the viewer's, is left out).
known=$(cmake --build "$BUILD" --target help)
targets=()
for file in tests/fuzz/*.cmake; do
  name="$(basename "$file" .cmake)_fuzz"
  if grep -q "^$name:" <<<"$known"; then targets+=("$name"); else echo "fuzz: $name not configured here"; fi
done
cmake --build "$BUILD" -j "$(nproc)" --target "${targets[@]}"
for name in "${targets[@]}"; do
  target="$BUILD/bin/$name"
  work="$probe/$name"
  mkdir -p "$work"
  dict=()
  if [ -f "tests/fuzz/$name.dict" ]; then dict=("-dict=tests/fuzz/$name.dict"); fi
  echo "fuzz: $name for ${FUZZ_SECONDS:-60} s"
  "$target" "${dict[@]}" -max_total_time="${FUZZ_SECONDS:-60}" -rss_limit_mb=2048 -timeout=30 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$BUILD/$name-" "$work" "tests/fuzz/${name%_fuzz}_seeds"
done
