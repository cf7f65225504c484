#!/bin/bash
# The build's signing step, cmake/sign.sh, applied to copies of the built
# module and package with a throwaway self-signed certificate:
#   signing.sh <work dir> <sign.sh> <module> <package|""> <wine loader> <win32|win64> <regtree.vbs>
# Checks that osslsigncode accepts both signatures when the certificate is
# trusted as a CA (and not when it is not), that a copy changed in one byte
# fails, and that the signed module registers, in a prefix of its own, and
# serves examples/regtree.vbs. Last line: "signing: N checked, M failed".
set -u
work=$1 sign=$2 module=$3 package=$4 loader=$5
new_prefix="$(cd "$(dirname "$0")/../../scripts" && pwd)/new-prefix.sh"
export WINEPREFIX="$1/prefix" WINEARCH=$6 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
regtree="Z:$(printf '%s' "$7" | tr '/' '\\')"
checked=0 failed=0
check() {  # check DESCRIPTION STATUS: passed when STATUS is 0
  checked=$((checked + 1))
  [ "$2" = 0 ] || { failed=$((failed + 1)); echo "FAILED: $1"; cat "$work/out" 2>/dev/null; }
}
verify() { osslsigncode verify "$@" >"$work/out" 2>&1; }
# change_byte FILE OFFSET: flips the low bit of one byte.
change_byte() {
  local byte
  byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
trap 'wineserver -k >/dev/null 2>&1' EXIT

mkdir -p "$work"
rm -rf "$work/signed" && mkdir "$work/signed"
cd "$work/signed" || exit 1
export VORN_SIGN_PASSWORD="throwaway $$"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out ca.pem -days 2 -subj "/CN=VornRegistry test signer" \
        -addext extendedKeyUsage=codeSigning >"$work/out" 2>&1 &&
  openssl pkcs12 -export -inkey key.pem -in ca.pem -out signer.pfx -passout env:VORN_SIGN_PASSWORD >"$work/out" 2>&1
check "making the certificate" $?

files=(VornRegistry.dll)
cp "$module" VornRegistry.dll
[ -n "$package" ] && cp "$package" package.msi && files+=(package.msi)
for f in "${files[@]}"; do
  bash "$sign" signer.pfx "$f" >"$work/out" 2>&1
  check "signing $f" $?
  verify -CAfile ca.pem -in "$f"
  check "$f verifies with the certificate as a CA" $?
  verify -in "$f" && status=1 || status=0
  check "$f does not verify when it is not trusted" $status
done
# One byte of the DOS stub's text, and one of the package's cabinet: both lie
# inside what the signature covers.
cp VornRegistry.dll changed.dll
change_byte changed.dll "$(grep -obUa 'This program' changed.dll | head -n 1 | cut -d: -f1)"
verify -CAfile ca.pem -in changed.dll && status=1 || status=0
check "a module changed in one byte fails" $status
if [ -n "$package" ]; then
  cp package.msi changed.msi
  change_byte changed.msi $(($(grep -obUa 'MSCF' changed.msi | head -n 1 | cut -d: -f1) + 100))
  verify -CAfile ca.pem -in changed.msi && status=1 || status=0
  check "a package changed in one byte fails" $status
fi

[ -f "$WINEPREFIX/system.reg" ] || sh "$new_prefix" "$WINEPREFIX" "$loader"
timeout -k 10 120 "$loader" regsvr32 /s "Z:$(pwd | tr '/' '\\')\\VornRegistry.dll" >"$work/out" 2>&1
check "registering the signed module" $?
timeout -k 10 120 "$loader" cscript //nologo "$regtree" HKCU 'Software\Wine' >"$work/out" 2>&1
grep -q '^HKEY_CURRENT_USER\\Software\\Wine\\Drivers' "$work/out"
check "regtree.vbs through the signed module" $?
echo "signing: $checked checked, $failed failed"
