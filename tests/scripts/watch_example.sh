#!/bin/sh
# examples/watch.vbs under Wine's cscript against the registered module, with
# reg.exe as the writer: two changes below a scratch key (written again each
# second until the script has seen them, since it may not have armed yet when
# the first one comes), a timeout, and a missing key. Last line:
# "watch example: N checked, M failed".
#   watch_example.sh WINE_RUN WATCH_VBS WORK_DIR
run=$1 script=$(printf 'Z:%s' "$2" | tr / '\\') work=$3
key='HKCU\Software\VornRegistryTests\watch-example'
mkdir -p "$work"
checked=0 failed=0
check() {  # check WHAT FILE PATTERN
  checked=$((checked + 1))
  grep -q "$3" "$2" || { failed=$((failed + 1)); echo "FAILED: $1"; cat "$2"; }
}
reg() { timeout -k 10 60 "$run" reg "$@" >/dev/null 2>&1 </dev/null; }

reg delete "$key" /f
reg add "$key\\below" /f
timeout -k 10 120 "$run" cscript //nologo "$script" HKCU 'Software\VornRegistryTests\watch-example' 2 60000 \
  >"$work/changes.out" 2>&1 </dev/null &
watcher=$!
i=0
while [ $i -lt 60 ] && ! grep -q '^watched' "$work/changes.out"; do
  i=$((i + 1))
  reg add "$key" /v Count /t REG_DWORD /d $i /f
  reg add "$key\\below" /v Deep /d "n$i" /f
  sleep 1
done
wait $watcher
check "two changes" "$work/changes.out" '^watched 2 changes'
check "the values after a change" "$work/changes.out" '^    Count = [0-9]'

timeout -k 10 60 "$run" cscript //nologo "$script" HKCU 'Software\VornRegistryTests\watch-example' 1 500 \
  >"$work/timeout.out" 2>&1 </dev/null
check "a timeout" "$work/timeout.out" '^timed out after 0 changes'
reg delete "$key" /f
timeout -k 10 60 "$run" cscript //nologo "$script" HKCU 'Software\VornRegistryTests\watch-example' 1 500 \
  >"$work/missing.out" 2>&1 </dev/null
check "a missing key" "$work/missing.out" 'does not exist'
echo "watch example: $checked checked, $failed failed"
