#!/bin/bash
# Signs RIZezuvu.exe with the vendor's code-signing certificate (Authenticode,
# SHA-256) using Debian's osslsigncode, so the elevation prompt names the
# publisher instead of "Unknown publisher".
#
#   tools/sign.sh --cert CERT.pem --key KEY.pem [--pass FILE] [--timestamp URL]
#                 [--in build/RIZezuvu.exe] [--out build/RIZezuvu-signed.exe]
#
# CERT is the certificate (PEM, with its chain); KEY its private key (PEM);
# --pass a file holding the key's passphrase; --timestamp an RFC 3161
# time-stamp server, so the signature stays valid after the certificate
# expires (the one thing here that needs the network).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
in="$root/build/RIZezuvu.exe"
out="$root/build/RIZezuvu-signed.exe"
cert="" key="" pass="" timestamp=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cert) cert="$2"; shift 2 ;;
    --key) key="$2"; shift 2 ;;
    --pass) pass="$2"; shift 2 ;;
    --timestamp) timestamp="$2"; shift 2 ;;
    --in) in="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "sign.sh: unknown argument $1" >&2; exit 64 ;;
  esac
done
[ -n "$cert" ] && [ -n "$key" ] || { echo "usage: tools/sign.sh --cert CERT.pem --key KEY.pem [...]" >&2; exit 64; }
args=(sign -certs "$cert" -key "$key" -h sha256 -n "Orvexa Update" -in "$in" -out "$out")
[ -n "$pass" ] && args+=(-readpass "$pass")
[ -n "$timestamp" ] && args+=(-ts "$timestamp")
rm -f "$out"
osslsigncode "${args[@]}"
echo "signed: $out"
