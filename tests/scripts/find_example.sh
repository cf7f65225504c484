#!/bin/sh
# examples/find.vbs under Wine's cscript against the registered module, on a
# scratch tree written with reg.exe: the layout of the hits, the options, and
# a missing key. Last line: "find example: N checked, M failed".
#   find_example.sh WINE_RUN FIND_VBS WORK_DIR
run=$1 script=$(printf 'Z:%s' "$2" | tr / '\\') work=$3
path='Software\VornRegistryTests\find-example'
key="HKCU\\$path"
mkdir -p "$work"
checked=0 failed=0
reg() { timeout -k 10 60 "$run" reg "$@" >/dev/null 2>&1 </dev/null; }
find_vbs() {  # find_vbs OUT args...
  out=$1
  shift
  timeout -k 10 120 "$run" cscript //nologo "$script" "$@" </dev/null 2>&1 | tr -d '\r' >"$work/$out"
}
same() {  # same WHAT FILE EXPECTED
  checked=$((checked + 1))
  printf '%s\n' "$3" >"$work/expected"
  cmp -s "$work/expected" "$2" || { failed=$((failed + 1)); echo "FAILED: $1"; diff "$work/expected" "$2"; }
}

reg delete "$key" /f
reg add "$key" /ve /d "Needle in the default"
reg add "$key\\Needles" /v Count /t REG_DWORD /d 3
reg add "$key\\Other" /v List /t REG_MULTI_SZ /d 'hay\0needle\0more'
reg add "$key\\Other" /v needle /t REG_BINARY /d 00FF

find_vbs all.out HKCU "$path" NEEDLE
same "every match, any case" "$work/all.out" "
HKEY_CURRENT_USER\\$path
    (Default)    REG_SZ    Needle in the default

HKEY_CURRENT_USER\\$path\\Needles

HKEY_CURRENT_USER\\$path\\Other
    List    REG_MULTI_SZ    hay\\0needle\\0more
    needle    REG_BINARY    00FF

End of search: 4 match(es) found."
find_vbs names.out HKCU "$path" 'need*' kvEC
same "key and value names, whole and exact" "$work/names.out" "
HKEY_CURRENT_USER\\$path\\Other
    needle    REG_BINARY    00FF

End of search: 1 match(es) found."
reg delete "$key" /f
find_vbs missing.out HKCU "$path" x
checked=$((checked + 1))
grep -q 'find-example" does not exist' "$work/missing.out" || { failed=$((failed + 1)); cat "$work/missing.out"; }
echo "find example: $checked checked, $failed failed"
