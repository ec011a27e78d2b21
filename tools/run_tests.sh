#!/bin/bash
# Sets up the machine (tools/setup.sh), builds everything, and runs every
# test: the native build under AddressSanitizer and UndefinedBehaviorSanitizer
# with short fuzzing runs, the 32-bit Windows build (compiled only), and the
# 64-bit Windows build's tests under Wine, headless, in a throw-away prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs=$(nproc)

bash "$root/tools/setup.sh"

echo "== native build (sanitizers)"
cmake -S "$root" -B "$root/build-native" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$root/build-native" -j "$jobs"
ctest --test-dir "$root/build-native" --output-on-failure
for target in fuzz_version_fields fuzz_config_document fuzz_configured_text; do
  "$root/build-native/$target" -max_total_time=10 -print_final_stats=0 2>&1 | tail -1
done

echo "== 32-bit Windows build"
cmake -S "$root" -B "$root/build-i686" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" >/dev/null
cmake --build "$root/build-i686" -j "$jobs" --target RIZezuvu

echo "== 64-bit Windows build"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$root/build" -j "$jobs"

echo "== tests under Wine"
source "$root/tools/wine_env.sh" "$root/build" "${RIZEZUVU_DISPLAY:-null}"
wine_prefix_init
wine_server_start
trap wine_server_stop EXIT
ctest --test-dir "$root/build" --output-on-failure -j "$jobs" --timeout 900
