#!/bin/bash
# Runs the journal's model-based test for longer than the test command does:
# RUNS random packages and installations from SEED on, each run clean,
# killed at every change, failed at every operation, recovered and run
# again; and with the power cut at every change (and during the recovery),
# on a disk that keeps names in the order made (NTFS) and on one that keeps
# any of them (FAT). A failure prints the seed that reproduces it alone; run
# that seed with RIZEZUVU_MODEL_VERBOSE=1 to see each crash's or cut's
# files, record, what the cut kept, and the recovery;
# RIZEZUVU_MODEL_NAME_ORDER=kept or any runs the power cuts one way only,
# RIZEZUVU_MODEL_POWER_ONLY=1 runs them without the rest.
#   tools/model_test.sh [RUNS] [SEED]
# Needs the native build (tools/run_tests.sh makes it in build-native/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-5000}"
seed="${2:-$(date +%s)}"
cmake --build "$root/build-native" --target core_tests >/dev/null
echo "model test: $runs scenarios from seed $seed"
RIZEZUVU_MODEL_SEED="$seed" RIZEZUVU_MODEL_RUNS="$runs" \
  "$root/build-native/tests/core_tests" --gtest_filter='ContentInstallModelTest.*'
