#!/bin/bash
# Runs the end-to-end suites with one hidden-window process kept alive for
# their whole run (so no program start waits for Wine's desktop to come and
# go), and ends it afterwards.
#   run_suites.sh BUILD_DIR
set -uo pipefail
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
"${WINE:-wine}" "$build/keep_desktop.exe" >/dev/null 2>&1 &
keeper=$!
trap 'kill -9 $keeper 2>/dev/null; wait $keeper 2>/dev/null' EXIT
python3 -m unittest discover -s "$here" -p "test_*.py" -v
