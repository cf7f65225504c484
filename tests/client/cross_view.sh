#!/bin/sh
# Registry views across bitnesses: both modules registered in one win64
# prefix (its own), and cross_view.vbs run by the 32-bit cscript, which works
# in the 64-bit view, and by the 64-bit cscript, which works in the 32-bit one.
#   cross_view.sh <prefix> <64-bit loader> <64-bit module> <32-bit module> <cross_view.vbs>
# Last line: "cross view: N hosts passed, M failed".
set -u
export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$2
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }
script=$(windows_path "$5")
passed=0 failed=0
trap 'wineserver -k >/dev/null 2>&1' EXIT

loader() { if [ "$1" = 64 ]; then printf '%s' "$wine64"; else printf 'wine'; fi; }
[ -f "$WINEPREFIX/system.reg" ] || sh "$(dirname "$0")/../../scripts/new-prefix.sh" "$WINEPREFIX" "$wine64"
for bits in 64 32; do
  if [ "$bits" = 64 ]; then module=$3; else module=$4; fi
  # Once more on failure: Wine's regsvr32 has been seen to fail now and then under load.
  timeout -k 10 300 "$(loader $bits)" regsvr32 /s "$(windows_path "$module")" ||
    timeout -k 10 300 "$(loader $bits)" regsvr32 /s "$(windows_path "$module")" ||
    echo "registering the $bits-bit module failed"
done
for bits in 32 64; do
  out="$1.$bits.out"
  timeout -k 10 300 "$(loader $bits)" cscript //nologo "$script" $bits >"$out" 2>&1
  echo "$bits-bit cscript:"
  tr -d '\r' <"$out"
  if grep -q '^[1-9][0-9]* passed, 0 failed' "$out"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "cross view: $passed hosts passed, $failed failed"
