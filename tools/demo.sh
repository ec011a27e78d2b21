#!/bin/bash
# The demonstration update: sets up what is missing, builds the program,
# creates a throw-away Wine prefix, installs a sample Orvexa 1.6.12 from its
# MSI, lays out a sample update package and runs RIZezuvu.exe from it.
#
# With a display (DISPLAY set) you see and answer the real dialogs. Without
# one, the automation driver answers OK and the script prints what was shown,
# step by step, then the files installed and the log.
#
# --quiet runs it as a deployment system would (RIZezuvu.exe /quiet through
# "start /wait"): no window at all, and the exit code is printed.
set -euo pipefail
quiet=0
case "${1:-}" in
  --quiet) quiet=1 ;;
  "") ;;
  *) echo "usage: tools/demo.sh [--quiet]" >&2; exit 64 ;;
esac
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
jobs=$(nproc)
# A Linux path as Wine sees it on its Z: drive.
winpath() { local path="$1"; echo "Z:${path//\//\\}"; }

bash "$root/tools/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j "$jobs" --target RIZezuvu uidriver orvexa_standin ovpack >/dev/null

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
mode=null
[ -n "${DISPLAY:-}" ] && mode=x11
# The demo's own prefix, so its installation never meets the tests'.
source "$root/tools/wine_env.sh" "$demo" "$mode"
echo "== creating a throw-away Wine prefix in $WINEPREFIX"
wine_prefix_init
wine_server_start
trap wine_server_stop EXIT

echo "== installing a sample Orvexa 1.6.12 (product id 123456)"
python3 "$root/tests/helpers/make_fixture_msi.py" --out "$demo/Orvexa-1.6.12.msi" --version 1.6.12 \
  --folder Orvexa --product-id 123456 --standin "$build/orvexa_standin.exe"
"$WINE" msiexec /i "$(winpath "$demo/Orvexa-1.6.12.msi")" /qn
install="$WINEPREFIX/drive_c/Program Files (x86)/Orvexa"
printf '[Main]\r\nProductID=123456\r\n' > "$install/RAZoro.ini"
mkdir -p "$install/Skins"
printf 'old firmware' > "$install/firmware-1.5.bin"
printf 'old skin' > "$install/Skins/default.skin"

echo "== laying out the update package (ovpack init, ovpack seal, then ovpack check)"
package="$demo/package"
"$WINE" "$build/ovpack.exe" init "$(winpath "$package")" | tr -d '\r' | sed 's/^/   /'
cp "$build/RIZezuvu.exe" "$package/"
"$WINE" "$build/ovpack.exe" seal "$(winpath "$package")" | tr -d '\r' | sed 's/^/   /'
"$WINE" "$build/ovpack.exe" check "$(winpath "$package")" | tr -d '\r' | sed 's/^/   /'
(cd "$package" && find . -type f | sort | sed 's/^/   /')

exe="$(winpath "$package/RIZezuvu.exe")"
if [ "$quiet" = 1 ]; then
  echo "== running start /wait RIZezuvu.exe /quiet"
  code=$("$WINE" cmd /c "start /wait $exe /quiet & echo %ERRORLEVEL%" | tr -d '\r' | tail -1)
  echo "   exit code $code (0: updated)"
  transcript=""
elif [ -n "${DISPLAY:-}" ]; then
  echo "== running RIZezuvu.exe on your display: answer the dialogs"
  (cd "$package" && "$WINE" RIZezuvu.exe) || true
  transcript=""
else
  echo "== running RIZezuvu.exe headless; the driver answers OK"
  transcript="$demo/transcript.jsonl"
  "$WINE" "$build/uidriver.exe" --timeout 60 --cwd "$(winpath "$package")" "$exe" \
    wait press:OK wait gone wait sleep:500 press:OK exit > "$transcript" || true
fi
python3 "$root/tools/demo_report.py" "$transcript" "$install"
