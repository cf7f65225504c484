#!/bin/bash
# Writes the demo tree HKCU\Software\VornRegistryDemo afresh with reg.exe in
# the prefix of a build tree, deleting whatever tree is there first. The main
# job writes it and prints it; the documentation's examples run against it
# (tests/docs). This is the one place the tree is defined.
#
# Usage: scripts/demo-tree.sh <build>/wine-run [log-file]
#   reg's output goes to the log file (default: none); every call has a time
#   limit. Exit status 1 when a write failed.
set -euo pipefail
run=$1 log=${2:-/dev/null}
demo='HKCU\Software\VornRegistryDemo'

reg() { timeout -k 10 120 "$run" reg "$@" >>"$log" 2>&1 </dev/null; }
add() {  # add KEY-BELOW-DEMO reg-add-arguments...
  local key="$demo${1:+\\$1}"
  shift
  reg add "$key" "$@" /f || { echo "demo-tree: reg add $key $* failed" >&2; exit 1; }
}

reg delete "$demo" /f || true   # an earlier tree; none is fine
add "" /ve /d "Vorn Registry demo"
add "" /v Version /t REG_DWORD /d 0x00010000
add "" /v Installed /t REG_SZ /d "2024-01-01"
add "Settings" /v Theme /t REG_SZ /d "dark"
add "Settings" /v WindowWidth /t REG_DWORD /d 1280
add "Settings" /v AllBits /t REG_DWORD /d 0xFFFFFFFF
add "Settings" /v Empty /t REG_SZ /d ""
add "Settings\\Paths" /v Data /t REG_EXPAND_SZ /d "%APPDATA%\\Vorn"
add "Settings\\Paths" /v Cache /t REG_SZ /d "C:\\Temp\\Vorn Cache"
add "Blobs" /v Signature /t REG_BINARY /d "DEADBEEF"
add "Blobs" /v Names /t REG_MULTI_SZ /d 'alpha\0beta'
add "Blobs" /v Counter /t REG_QWORD /d 0x1122334455667788
add "Users\\alice" /v Logins /t REG_DWORD /d 42
add "Users\\bob" /v Logins /t REG_DWORD /d 7
