#!/bin/sh
# examples/permissions.vbs under Wine's cscript against the registered module:
# a scratch key's rules, a grant to Users with the rules after it and whether
# the caller may write, an account that does not resolve, and a missing key.
# Each run does its reading and changing within its own process, while the
# prefix's registry server (which keeps key security only while it runs)
# lives. Last line: "permissions example: N checked, M failed".
#   permissions_example.sh WINE_RUN PERMISSIONS_VBS WORK_DIR
run=$1 script=$(printf 'Z:%s' "$2" | tr / '\\') work=$3
key='HKCU\Software\VornRegistryTests\permissions-example'
path='Software\VornRegistryTests\permissions-example'
mkdir -p "$work"
checked=0 failed=0
check() {  # check WHAT FILE PATTERN
  checked=$((checked + 1))
  tr -d '\r' <"$2" | grep -q "$3" || { failed=$((failed + 1)); echo "FAILED: $1"; cat "$2"; }
}
reg() { timeout -k 10 60 "$run" reg "$@" >/dev/null 2>&1 </dev/null; }
permissions() {  # permissions OUTPUT ARGS...
  out=$work/$1
  shift
  timeout -k 10 120 "$run" cscript //nologo "$script" "$@" >"$out" 2>&1 </dev/null
}

reg delete "$key" /f
reg add "$key" /f
permissions granted.out HKCU "$path" Users 'Read, SetValue'
check "the rules before" "$work/granted.out" '^    Allow  BUILTIN\\Administrators  FullControl$'
check "the grant" "$work/granted.out" '^    Allow  BUILTIN\\Users  Read, SetValue  (passed on to sub-keys)$'
check "the caller may write" "$work/granted.out" '^may write: True$'
check "the owner kept" "$work/granted.out" '^owner: BA; 3 entries$'
permissions unknown.out HKCU "$path" 'Nobody Known' Read
check "an account that does not resolve" "$work/unknown.out" 'the account "Nobody Known" does not resolve'
permissions missing.out HKCU "$path\\missing"
check "a missing key" "$work/missing.out" 'missing": the key does not exist (-2147024894)'
reg delete "$key" /f
echo "permissions example: $checked checked, $failed failed"
