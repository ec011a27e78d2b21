#!/bin/bash
# Fuzzes the native targets with libFuzzer, each for the given time, with the
# configuration's dictionary and the seeds in tests/fuzz/seeds, and prints
# how many inputs each ran clean. Without names, every target: each
# tests/fuzz/fuzz_NAME.cpp is one (cmake/native.cmake builds them by that rule).
#   tools/fuzz.sh [SECONDS-PER-TARGET] [TARGET ...]
# Needs the native build (tools/run_tests.sh makes it in build-native/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
build="$root/build-native"
cmake --build "$build" --target "${targets[@]}" >/dev/null
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  case "$target" in
    fuzz_config_*) seeds=("$root/tests/fuzz/seeds/config") ;;
    fuzz_journal_record) seeds=("$root/tests/fuzz/seeds/journal") ;;
    fuzz_manifest) seeds=("$root/tests/fuzz/seeds/manifest") ;;
  esac
  # Inputs up to 64 KiB reach the nesting and attribute limits.
  log="$build/corpus/$target.log"
  "$build/$target" -max_total_time="$seconds" -max_len=65536 -dict="$root/tests/fuzz/config.dict" \
    -print_final_stats=1 "$corpus" "${seeds[@]}" >"$log" 2>&1 || { tail -40 "$log"; exit 1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$target: $runs inputs in ${seconds} s, no failure"
done
