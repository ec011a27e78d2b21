#!/bin/bash
# Runs the end-to-end suites with one hidden-window process kept alive for
# their whole run (so no program start waits for Wine's desktop to come and
# go), and ends it afterwards. By hand, name modules or tests to run only those
# (with the prefix's server started, as tools/wine_env.sh's wine_server_start does).
#   run_suites.sh BUILD_DIR [test_upgrade | test_upgrade.Upgrade.test_x ...]
set -uo pipefail
build="$(cd "$1" && pwd)"
shift
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../tools/wine_env.sh" "$build"
wine_keep_desktop_start "$build"
trap wine_keep_desktop_stop EXIT
export RIZEZUVU_BUILD="${RIZEZUVU_BUILD:-$build}"
export RIZEZUVU_SOURCE="${RIZEZUVU_SOURCE:-$(cd "$here/../.." && pwd)}"
if [ $# -gt 0 ]; then
  cd "$here" && python3 -m unittest -v "$@"
else
  python3 -m unittest discover -s "$here" -p "test_*.py" -v
fi
