#!/bin/bash
# Signs the built program with a throw-away self-signed certificate, checks
# the signature with osslsigncode, and runs the signed program under Wine.
#   check_signing.sh EXE
set -euo pipefail
exe="$1"
root="$(cd "$(dirname "$0")/.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvexa Test Signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
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
# The signed program still runs: without an OVConfig.xml, /quiet ends in the
# failure report's exit code.
set +e
"${WINE:-wine}" "$work/RIZezuvu.exe" /quiet
code=$?
set -e
# Wine hands the low 8 bits of the exit code to the shell: 1603 & 255 = 67.
[ "$code" = 67 ] || { echo "FAILED: the signed program exited $code, expected 1603 (67)"; exit 1; }
echo "ok: signed, verified, tamper detected, runs"
