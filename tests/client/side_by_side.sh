#!/bin/sh
# The 32-bit and the 64-bit module registered side by side in one win64
# prefix (its own, so that no other test sees the cycle). For each order:
# register both, unregister one, and check that scripts in the host of the
# other bitness still create objects while those of the unregistered one get
# none; then unregister the other and check that no shared key is left.
#   side_by_side.sh <prefix> <64-bit loader> <64-bit module> <32-bit module> <regtree.vbs>
# The example examples/regtree.vbs is the script client: it lists
# HKCU\Software\Wine, which every prefix has.
# Last line: "side by side: N checked, M failed".
set -u
export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$2
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }
module64=$(windows_path "$3") module32=$(windows_path "$4") regtree=$(windows_path "$5")
out="$1.out"
checked=0 failed=0
trap 'wineserver -k >/dev/null 2>&1' EXIT

# Debian's `wine` starts the 32-bit programs of the prefix (syswow64),
# the 64-bit loader those of system32.
run() {  # run 32|64 program args...
  bits=$1
  shift
  if [ "$bits" = 64 ]; then loader=$wine64; else loader=wine; fi
  timeout -k 10 300 "$loader" "$@" >"$out" 2>&1
}
check() {  # check DESCRIPTION STATUS: the check passed when STATUS is 0
  checked=$((checked + 1))
  [ "$2" = 0 ] || { failed=$((failed + 1)); echo "FAILED: $1"; tr -d '\r' <"$out"; }
}
module() { if [ "$1" = 64 ]; then printf '%s' "$module64"; else printf '%s' "$module32"; fi; }
# regsvr32 BITS [/u]: once more when the first call fails, since under load
# Wine's regsvr32 has been seen to fail now and then with every key still in
# place; the note keeps such a retry visible, and a second failure fails
# the check with both exit statuses.
regsvr32_checked() {
  bits=$1
  shift
  run "$bits" regsvr32 "$@" /s "$(module "$bits")"
  tried=$?
  [ "$tried" = 0 ] && return 0
  echo "note: regsvr32 $* of the $bits-bit module exited $tried; trying once more"
  run "$bits" regsvr32 "$@" /s "$(module "$bits")"
  retried=$?
  [ "$retried" = 0 ] || echo "regsvr32 exited $tried, then $retried" >>"$out"
  return "$retried"
}
register() { regsvr32_checked "$1"; check "registering the $1-bit module" $?; }
unregister() { regsvr32_checked "$1" /u; check "unregistering the $1-bit module" $?; }
# expect_objects 32|64 yes|no: whether the cscript of that bitness creates one.
expect_objects() {
  run "$1" cscript //nologo "$regtree" HKCU 'Software\Wine'
  if grep -q '^HKEY_CURRENT_USER\\Software\\Wine' "$out"; then got=yes; else got=no; fi
  [ "$got" = "$2" ]
  check "$1-bit cscript creating an object: expected $2" $?
}
# Keys that both registry views share; the 32-bit reg sees them from any view.
expect_no_shared_keys() {
  for key in 'HKCR\TypeLib\{5081970D-F852-4FB9-AB92-78DF4167F32C}' 'HKCR\VornRegAccLib.clsKey' \
             'HKCR\VornRegAccLib.clsKeys' 'HKCR\VornRegAccLib.clsValues'; do
    run 32 reg query "$key" && status=1 || status=0
    check "$key is left after both were unregistered" $status
  done
}

[ -f "$WINEPREFIX/system.reg" ] || sh "$(dirname "$0")/../../scripts/new-prefix.sh" "$WINEPREFIX" "$wine64"
run 64 regsvr32 /u /s "$module64"
run 32 regsvr32 /u /s "$module32"
for first in 32 64; do
  if [ $first = 32 ]; then other=64; else other=32; fi
  register 64
  register 32
  expect_objects 64 yes
  expect_objects 32 yes
  unregister $first
  expect_objects $first no
  expect_objects $other yes
  unregister $other
  expect_objects $other no
  expect_no_shared_keys
done
echo "side by side: $checked checked, $failed failed"
