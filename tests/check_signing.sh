#!/bin/bash
# Signs the built program with a throw-away self-signed certificate, checks
# the signature with osslsigncode, and runs the signed program under Wine.
# With OVPACK (the Windows ovpack.exe), the program is sealed first, as a
# release is: the signature covers the seal, and a signed program can't be
# sealed again.
#   check_signing.sh EXE [OVPACK]
set -euo pipefail
exe="$1"
ovpack="${2:-}"
root="$(cd "$(dirname "$0")/.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvexa Test Signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
if [ -n "$ovpack" ]; then
  "${WINE:-wine}" "$ovpack" init "$work/package" > /dev/null
  cp "$exe" "$work/package/RIZezuvu.exe"
  "${WINE:-wine}" "$ovpack" seal "$work/package"
  exe="$work/package/RIZezuvu.exe"
fi
bash "$root/tools/sign.sh" --cert "$work/cert.pem" --key "$work/key.pem" --in "$exe" --out "$work/RIZezuvu.exe"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/RIZezuvu.exe" | tee "$work/verify.txt"
grep -q "Signature verification: ok" "$work/verify.txt"
grep -q "Orvexa Test Signing" "$work/verify.txt"
# A changed byte breaks the signature.
cp "$work/RIZezuvu.exe" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=1024 conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tampered.exe" >/dev/null 2>&1; then
  echo "FAILED: a tampered program still verifies"; exit 1
fi
if [ -n "$ovpack" ]; then
  # One changed byte of the seal breaks the signature.
  seal_at=$(python3 - "$work/RIZezuvu.exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
table = pe + 24 + optional_size
for i in range(count):
    name, _, _, _, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
    if name.rstrip(b"\0") == b".ovseal":
        assert data[raw:raw + 15] == b"RIZezuvu seal 1", "the signed program is not sealed"
        print(raw + 20)
PY
)
  [ -n "$seal_at" ] || { echo "FAILED: no seal section"; exit 1; }
  cp "$work/RIZezuvu.exe" "$work/reseal.exe"
  printf 'X' | dd of="$work/reseal.exe" bs=1 seek="$seal_at" conv=notrunc 2>/dev/null
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/reseal.exe" >/dev/null 2>&1; then
    echo "FAILED: a changed seal still verifies"; exit 1
  fi
  # A signed program is not sealed again.
  cp "$work/RIZezuvu.exe" "$work/package/RIZezuvu.exe"
  set +e
  "${WINE:-wine}" "$ovpack" seal "$work/package" 2> "$work/reseal.txt"
  code=$?
  set -e
  [ "$code" = 2 ] && grep -q "already signed" "$work/reseal.txt" \
    || { echo "FAILED: sealing a signed program: exit $code"; cat "$work/reseal.txt"; exit 1; }
  cmp -s "$work/RIZezuvu.exe" "$work/package/RIZezuvu.exe" || { echo "FAILED: a signed program was changed"; exit 1; }
fi
# The signed program still runs: without an OVConfig.xml, /quiet ends in the
# failure report's exit code.
set +e
"${WINE:-wine}" "$work/RIZezuvu.exe" /quiet
code=$?
set -e
# Wine hands the low 8 bits of the exit code to the shell: 1603 & 255 = 67.
[ "$code" = 67 ] || { echo "FAILED: the signed program exited $code, expected 1603 (67)"; exit 1; }
echo "ok: signed, verified, tamper detected, runs"
