#!/bin/bash
# ovpack's command line, end to end on real folders: the native program, or
# the Windows one through Wine (the runner is then tools/wine_run.sh).
#   ovpack_cli.sh [--exe RIZEZUVU.EXE] [RUNNER] OVPACK
# The program sealed is RIZEZUVU.EXE when given, otherwise the smallest
# sealable image (tests/helpers/make_test_pe.py).
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exe=""
if [ "${1:-}" = "--exe" ]; then exe="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift 2; fi
if [ $# -eq 2 ]; then runner=("$1"); ovpack="$2"; else runner=(); ovpack="$1"; fi
work=$(mktemp -d "$PWD/ovpack-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
failed=0
expect() {  # description, expected status, command...
  local description="$1" expected="$2"
  shift 2
  "$@" > out.txt 2>&1
  local status=$?
  if [ "$status" = "$expected" ]; then echo "ok: $description"; else
    echo "FAILED: $description: status $status, expected $expected"; cat out.txt; failed=1; fi
}
run() { "${runner[@]}" "$ovpack" "$@"; }

expect "no arguments is bad usage" 64 run
expect "an unknown command is bad usage" 64 run frobnicate
expect "--help prints the usage" 0 run --help
grep -q "usage: ovpack check" out.txt || { echo "FAILED: --help printed no usage"; failed=1; }
run --help 2>/dev/null | grep -q "usage: ovpack check" || { echo "FAILED: --help not on standard output"; failed=1; }
expect "--version prints the version" 0 run --version
grep -q "^ovpack 1\.6\.0\.0" out.txt || { echo "FAILED: --version printed no version"; failed=1; }
expect "init writes the sample package" 0 run init pkg
[ -f pkg/OVConfig.xml ] && [ -f pkg/Skins/default.skin ] && [ -f pkg/Firmware/123456/update.bin ] \
  || { echo "FAILED: sample files missing"; failed=1; }
cp pkg/codecs.dat keep.dat
echo "changed" > pkg/codecs.dat
expect "init refuses a folder that isn't empty" 2 run init pkg
grep -q changed pkg/codecs.dat || { echo "FAILED: init overwrote a file"; failed=1; }
cp keep.dat pkg/codecs.dat
expect "the sample package checks clean" 0 run check pkg
expect "the dry run for a product id" 0 run check pkg --product-id 123456
grep -q 'copy   Firmware\\123456\\update.bin -> C:\\Program Files (x86)\\Orvexa\\update.bin' out.txt \
  || { echo "FAILED: dry run"; cat out.txt; failed=1; }
# A file name the target systems' code page can't hold (the program could
# not open it there): a warning for 1252, none where the code page has it.
printf 'x' > pkg/$'\xe6\x9b\xb4\xe6\x96\xb0'.dat
expect "a name outside code page 1252 is a warning" 1 run check pkg
grep -q "code page 1252 can't hold" out.txt || { echo "FAILED: no code page warning"; cat out.txt; failed=1; }
run check pkg --codepage 936 > out.txt 2>&1
grep -q "can't hold" out.txt && { echo "FAILED: code page 936 holds the name"; failed=1; }
expect "an unknown code page is bad usage" 64 run check pkg --codepage 99999
rm -f pkg/$'\xe6\x9b\xb4\xe6\x96\xb0'.dat
echo "notes" > pkg/notes.txt
expect "a file no File names is a warning" 1 run check pkg
rm pkg/notes.txt pkg/codecs.dat
expect "a missing source is an error" 2 run check pkg --json
python3 -c '
import json, sys
report = json.load(open("out.txt"))
assert report["errors"] == 1, report
assert report["findings"][0]["line"] == 35, report
assert "codecs.dat" in report["findings"][0]["message"], report
' || { echo "FAILED: JSON report"; cat out.txt; failed=1; }
mkdir -p sample/Skins
expect "a sample installation with the group folder adds nothing" 2 run check pkg --install-dir sample
rmdir sample/Skins
run check pkg --install-dir sample > out.txt 2>&1
grep -q "the sample installation has no folder Skins" out.txt || { echo "FAILED: sample installation"; cat out.txt; failed=1; }
expect "a missing package folder is bad usage" 64 run check no-such-folder

# Sealing: a fresh sample package with a program to seal.
rm -rf pkg && run init pkg > /dev/null
expect "seal refuses a package without RIZezuvu.exe" 2 run seal pkg
grep -q "no RIZezuvu.exe" out.txt || { echo "FAILED: no reason given"; cat out.txt; failed=1; }
if [ -n "$exe" ]; then cp "$exe" pkg/RIZezuvu.exe; else python3 "$here/helpers/make_test_pe.py" pkg/RIZezuvu.exe; fi
expect "an unsealed package is a warning" 1 run check pkg
grep -q "not sealed" out.txt || { echo "FAILED: no unsealed warning"; cat out.txt; failed=1; }
cp pkg/RIZezuvu.exe unsealed.exe
mv pkg/codecs.dat codecs.keep
expect "seal refuses a package that lacks a named file" 2 run seal pkg
grep -q "names codecs.dat, which the package does not hold" out.txt || { echo "FAILED: no reason given"; cat out.txt; failed=1; }
cmp -s pkg/RIZezuvu.exe unsealed.exe && [ ! -e pkg/OVManifest.txt ] || { echo "FAILED: a refused seal wrote"; failed=1; }
mv codecs.keep pkg/codecs.dat
expect "seal seals the sample package" 0 run seal pkg
grep -q "^RIZezuvu manifest 1" pkg/OVManifest.txt && grep -q " 10 codecs.dat" pkg/OVManifest.txt \
  && grep -q 'Firmware\\123456\\update.bin' pkg/OVManifest.txt \
  || { echo "FAILED: manifest"; cat pkg/OVManifest.txt; failed=1; }
# The manifest's digests are the files' SHA-256.
expected=$(sha256sum pkg/Skins/default.skin | cut -d' ' -f1)
grep -qF "$expected 8 Skins\\default.skin" pkg/OVManifest.txt || { echo "FAILED: digest"; failed=1; }
cmp -s pkg/RIZezuvu.exe unsealed.exe && { echo "FAILED: the program was not sealed"; failed=1; }
expect "a sealed package checks clean" 0 run check pkg
expect "sealing again is allowed before signing" 0 run seal pkg
printf 'X' | dd of=pkg/codecs.dat bs=1 seek=0 conv=notrunc 2>/dev/null
expect "a payload changed since the seal is an error" 2 run check pkg
grep -q "codecs.dat has changed since the package was sealed" out.txt || { echo "FAILED: no changed file named"; cat out.txt; failed=1; }
echo "<!-- -->" >> pkg/OVConfig.xml
expect "a configuration changed since the seal is an error" 2 run check pkg
grep -q "OVConfig.xml has changed since the package was sealed" out.txt || { echo "FAILED: config change not named"; cat out.txt; failed=1; }
if [ -z "$exe" ]; then
  python3 "$here/helpers/make_test_pe.py" pkg/RIZezuvu.exe --signed
  cp pkg/RIZezuvu.exe signed.exe
  expect "seal refuses a signed program" 2 run seal pkg
  grep -q "already signed" out.txt || { echo "FAILED: no reason given"; cat out.txt; failed=1; }
  cmp -s pkg/RIZezuvu.exe signed.exe || { echo "FAILED: a signed program was changed"; failed=1; }
fi
exit $failed
