#!/bin/bash
# Runs the end-to-end suites with one hidden-window process kept alive for
# their whole run (so no program start waits for Wine's desktop to come and
# go), and ends it afterwards. By hand, name modules or tests to run only those
# (the environment of tools/wine_env.sh is needed).
#   run_suites.sh BUILD_DIR [test_upgrade | test_upgrade.Upgrade.test_x ...]
set -uo pipefail
build="$(cd "$1" && pwd)"
shift
here="$(cd "$(dirname "$0")" && pwd)"
"${WINE:-wine}" "$build/keep_desktop.exe" >/dev/null 2>&1 &
keeper=$!
trap 'kill -9 $keeper 2>/dev/null; wait $keeper 2>/dev/null || true' EXIT
export RIZEZUVU_BUILD="${RIZEZUVU_BUILD:-$build}"
export RIZEZUVU_SOURCE="${RIZEZUVU_SOURCE:-$(cd "$here/../.." && pwd)}"
if [ $# -gt 0 ]; then
  cd "$here" && python3 -m unittest -v "$@"
else
  python3 -m unittest discover -s "$here" -p "test_*.py" -v
fi
