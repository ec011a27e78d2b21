#!/bin/bash
# Measures what the program costs its user against the floor (bare programs
# doing only the unavoidable), under one warm Wine server in a prefix of its
# own, and writes docs/benchmarks.md with a chart.
#   tools/benchmark.sh [--quick]
# --quick: small sizes, one run each, written to build/bench/ (the test
# command runs it so that the script keeps working; nothing is asserted).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
bash "$root/tools/setup.sh" >/dev/null
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)" --target RIZezuvu uidriver orvexa_standin link_marker bare_box bare_copy \
  keep_desktop error_text >/dev/null
# ovpack as release engineers run it: native, without the sanitizers.
cmake -S "$root" -B "$root/build-bench-native" -G Ninja -DRIZEZUVU_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench-native" -j "$(nproc)" --target ovpack >/dev/null
mkdir -p "$build/bench"
source "$root/tools/wine_env.sh" "$build/bench" null
wine_prefix_init
wine_server_start
wine_keep_desktop_start "$build"
trap 'wine_keep_desktop_stop; wine_server_stop' EXIT
OVPACK="$root/build-bench-native/ovpack" RIZEZUVU_BUILD="$build" RIZEZUVU_SOURCE="$root" python3 "${RIZEZUVU_BENCHMARK_SCRIPT:-$root/tools/benchmark.py}" "$@"
