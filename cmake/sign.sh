#!/bin/bash
# Signs a module or a Windows Installer package in place with Authenticode,
# SHA-256, through osslsigncode; the build and its tests both sign with it:
#   sign.sh <certificate.pfx> <file> [timestamp-url]
# The PKCS#12 file's password is read from the environment variable
# VORN_SIGN_PASSWORD (none: empty) as the step runs. It reaches osslsigncode
# through a pipe (printf is the shell's own), never on a command line or in
# a file. With a timestamp URL, the signature is also timestamped there.
set -euo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: sign.sh <certificate.pfx> <file> [timestamp-url]" >&2
  exit 2
fi
pfx=$1 file=$2
timestamp=()
[ -n "${3:-}" ] && timestamp=(-t "$3")
signed="$file.signing"
rm -f "$signed"
# osslsigncode takes the first line of what it reads, and needs one.
if ! printf '%s\n' "${VORN_SIGN_PASSWORD:-}" |
     osslsigncode sign -pkcs12 "$pfx" -readpass /dev/stdin -h sha256 "${timestamp[@]}" \
                  -in "$file" -out "$signed" >"$signed.log" 2>&1; then
  cat "$signed.log" >&2
  rm -f "$signed" "$signed.log"
  echo "sign.sh: signing $file with $pfx failed" >&2
  exit 1
fi
rm -f "$signed.log"
mv -f "$signed" "$file"
