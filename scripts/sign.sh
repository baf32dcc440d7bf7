#!/usr/bin/env bash
# Signs an exe in place with Authenticode (SHA-256) from a PKCS#12 file:
#   scripts/sign.sh EXE PKCS12 PASSWORD-FILE [TIMESTAMP-URL]
# With a time-stamp URL (RFC 3161) the signature outlives the certificate.
set -euo pipefail
exe=$1 pkcs12=$2 password_file=$3 timestamp=${4:-}
args=(sign -pkcs12 "$pkcs12" -readpass "$password_file" -h sha256
      -n "Kova Runtime Environment 1.6.0_07" -in "$exe" -out "$exe.signed")
[ -n "$timestamp" ] && args+=(-ts "$timestamp")
osslsigncode "${args[@]}" >/dev/null
mv "$exe.signed" "$exe"
