#!/bin/bash
# Sets up the machine (tools/setup.sh), builds everything, and runs every
# test: the native build under AddressSanitizer and UndefinedBehaviorSanitizer
# with short fuzzing runs, its 32-bit x86 build under qemu-i386-static, then
# the 64-bit and the 32-bit Windows builds' tests under Wine, headless, each
# in a throw-away prefix of its own, and a quick run of the benchmark script.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs=$(nproc)
started=$SECONDS
phase() { echo "== $1 (at $((SECONDS - started)) s)"; }

phase "set-up"
bash "$root/tools/setup.sh"

phase "native build (sanitizers)"
cmake -S "$root" -B "$root/build-native" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$root/build-native" -j "$jobs"
ctest --test-dir "$root/build-native" --output-on-failure
phase "short fuzzing runs"
bash "$root/tools/fuzz.sh" 10

# The same logic as 32-bit x86 (size_t and long of 4 bytes, as in the i686
# Windows build), linked statically and run under qemu-i386-static named by
# the toolchain file: this kernel starts no 32-bit programs, and no binfmt
# handler is registered. The journal's model test takes its first 50 runs
# here: the full 150 take over a minute under the emulator, and the 64-bit
# build runs all 150 (the same scenarios: each is drawn from its seed alone).
phase "32-bit native build (UBSan traps)"
cmake -S "$root" -B "$root/build-native32" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/native-i386.cmake" >/dev/null
cmake --build "$root/build-native32" -j "$jobs"
phase "32-bit native tests under qemu-i386-static"
RIZEZUVU_MODEL_RUNS=50 ctest --test-dir "$root/build-native32" --output-on-failure -j "$jobs"

for arch in x86_64 i686; do
  build="$root/build"
  [ "$arch" = i686 ] && build="$root/build-i686"
  phase "$arch Windows build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" >/dev/null
  cmake --build "$build" -j "$jobs"

  if [ "$arch" = i686 ] && ! (source "$root/tools/wine_env.sh" "$build" && wine_runs_32bit); then
    # Built (so that it compiles clean) but not run: this machine's kernel
    # can't start 32-bit programs, so Wine's 32-bit loader can't either.
    phase "$arch tests skipped: this kernel runs no 32-bit programs"
    continue
  fi
  phase "$arch tests under Wine"
  (
    source "$root/tools/wine_env.sh" "$build" "${RIZEZUVU_DISPLAY:-null}"
    wine_prefix_init
    wine_server_start
    trap wine_server_stop EXIT
    ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 900
  )
done
mkdir -p "$root/build/bench"
phase "benchmark script (--quick, figures not asserted)"
bash "$root/tools/benchmark.sh" --quick > "$root/build/bench/quick.log" 2>&1 \
  || { tail -40 "$root/build/bench/quick.log"; exit 1; }
phase "done"
