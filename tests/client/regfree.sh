#!/bin/sh
# Registration-free activation in a fresh prefix of the test's own, made anew
# on each run, where nothing of the module is ever registered. The example
# client and a control build of it without the dependency on the module's
# assembly run from one folder, beside a copy of the module:
#   - the control finds no class: CO_E_CLASSSTRING for each ProgID,
#     REGDB_E_CLASSNOTREG for each CLSID;
#   - the example creates the classes by ProgID and CLSID, finds the type
#     library, calls by name, uses a key object from a second apartment;
#   - afterwards no ProgID or class is registered.
#   regfree.sh <prefix> <win32|win64> <loader> <module> <client> <control>
# Last line: "regfree: N checked, M failed".
set -u
export WINEPREFIX="$1" WINEARCH="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
loader=$3
app="$(dirname "$1")/regfree-app" out="$1.out"
checked=0 failed=0
trap 'wineserver -k >/dev/null 2>&1' EXIT

run() { timeout -k 10 300 "$loader" "$@" >"$out" 2>&1; }
check() {  # check DESCRIPTION STATUS: the check passed when STATUS is 0
  checked=$((checked + 1))
  [ "$2" = 0 ] || { failed=$((failed + 1)); printf 'FAILED: %s\n' "$1"; tr -d '\r' <"$out"; }
}
has() { tr -d '\r' <"$out" | grep -qxF "$1"; }
show() { printf '== %s\n' "$1"; tr -d '\r' <"$out"; }
expect_unregistered() {
  for class in clsKey clsKeys clsValues; do
    run reg query "HKCR\\VornRegAccLib.$class" && status=1 || status=0
    check "$1: the ProgID VornRegAccLib.$class is registered" $status
  done
}

rm -rf "$app"
mkdir -p "$app"
sh "$(dirname "$0")/../../scripts/new-prefix.sh" "$1" "$loader" >"$out" 2>&1
check "making the prefix" $?
cp "$4" "$5" "$6" "$app/"
client="$app/$(basename "$5")" control="$app/$(basename "$6")"
scratch='Software\VornRegistryTests\RegFree'
expect_unregistered "before"

run "$control" "$scratch"
status=$?
show "the control"
[ $status = 1 ]
check "the control exits 1" $?
for class in clsKey clsKeys clsValues; do
  has "VornRegAccLib.$class by ProgID: failed (0x800401F3)"
  check "the control: CO_E_CLASSSTRING for VornRegAccLib.$class" $?
  has "VornRegAccLib.$class by CLSID: failed (0x80040154)"
  check "the control: REGDB_E_CLASSNOTREG for VornRegAccLib.$class" $?
done

run "$client" "$scratch"
status=$?
show "the client"
check "the client exits 0" $status
for line in "created the three classes by ProgID and by CLSID" \
            "by name: HKEY_CURRENT_USER\\$scratch exists: yes, Greeting = hello" \
            "second apartment: $scratch holds 1 value(s)" \
            "deleted HKEY_CURRENT_USER\\$scratch"; do
  has "$line"
  check "the client printed: $line" $?
done
run reg query "HKCU\\$scratch" && status=1 || status=0
check "the client left its key behind" $status
expect_unregistered "after"
echo "regfree: $checked checked, $failed failed"
