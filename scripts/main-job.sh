#!/bin/bash
# The main job: from a fresh Debian 12 (as root) to the component listing a
# registry tree. Installs what is missing, builds the 32-bit module into
# <build-root>/win32, prepares its private Wine prefix, registers the module there,
# writes a small demo tree under HKCU\Software\VornRegistryDemo and prints
# it with examples/regtree.vbs, which reads it through the component.
#
# Usage: scripts/main-job.sh [build-root]
#   build-root defaults to $VORN_BUILD_DIR, then to build/ in the source tree,
#   the same root that scripts/test.sh uses.
# Needs no input; every Wine call has a time limit.
set -euo pipefail
exec </dev/null

here="$(cd "$(dirname "$0")/.." && pwd)"
root="${1:-${VORN_BUILD_DIR:-$here/build}}"
mkdir -p "$root/win32"
build="$(cd "$root/win32" && pwd)"
log="$build/main-job.log"
: >"$log"

step() { printf '== %s\n' "$*"; }
fail() {
  printf 'main-job: %s\n' "$*" >&2
  [ -s "$log" ] && { printf -- '--- last lines of %s:\n' "$log" >&2; tail -n 20 "$log" >&2; }
  exit 1
}
# wine_call SECONDS program args...: runs in the build's prefix, output to the
# log file (a Wine program can keep a pipe open after it ends).
wine_call() {
  local seconds=$1
  shift
  timeout -k 10 "$seconds" "$build/wine-run" "$@" >>"$log" 2>&1
}
windows_path() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }

step "installing what is missing"
"$here/scripts/install-deps.sh" || fail "installing the dependencies failed"

step "configuring and building into $build"
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" >>"$log" 2>&1 ||
  fail "configuring failed"
timeout 1800 cmake --build "$build" --target VornRegistry wineprefix -j2 >>"$log" 2>&1 ||
  fail "building failed"
dll="$build/VornRegistry.dll"
[ -f "$dll" ] || fail "$dll was not built"
# Leave no Wine server of this prefix behind, whatever happens from here on.
trap 'WINEPREFIX="$build/wineprefix" timeout 30 wineserver -k >/dev/null 2>&1 || true' EXIT

step "registering VornRegistry.dll in $build/wineprefix"
wine_call 300 regsvr32 /s "$(windows_path "$dll")" || fail "regsvr32 failed"

step "writing the demo tree HKCU\\Software\\VornRegistryDemo"
"$here/scripts/demo-tree.sh" "$build/wine-run" "$log" || fail "writing the demo tree failed"

step "cscript //nologo examples\\regtree.vbs HKCU Software\\VornRegistryDemo"
out="$build/main-job-regtree.txt"
status=0
timeout -k 10 120 "$build/wine-run" cscript //nologo "$(windows_path "$here/examples/regtree.vbs")" \
  HKCU 'Software\VornRegistryDemo' >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
[ "$status" -eq 0 ] || fail "regtree.vbs ended with status $status"
grep -q '^HKEY_CURRENT_USER\\Software\\VornRegistryDemo' "$out" || fail "regtree.vbs listed nothing"
step "done"
