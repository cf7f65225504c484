#!/bin/bash
# Builds both bitnesses and runs the whole test suite against each under
# Wine: unit tests, the type-library contract, the C++ clients, the script
# suites and the differential test. Installs what is missing first (as root).
#
# Usage: scripts/test.sh [build-root]   (default: build)
#   <root>/win32  the 32-bit build, with its own win32 Wine prefix
#   <root>/win64  the 64-bit build, with its own win64 prefix; its tests also
#                 register the 32-bit module beside the 64-bit one
# The release archives land in <root>. The last line is
# "N passed, N failed" over both builds; the exit status is non-zero when
# anything failed.
set -euo pipefail
exec </dev/null
here="$(cd "$(dirname "$0")/.." && pwd)"
root="${1:-$here/build}"
mkdir -p "$root"
root="$(cd "$root" && pwd)"

"$here/scripts/install-deps.sh"

# Both build trees with their Wine prefixes take about 3 GB.
free_kb=$(df -Pk "$root" | awk 'NR == 2 { print $4 }')
if [ "${free_kb:-0}" -lt 4000000 ]; then
  echo "== warning: $((free_kb / 1024)) MB free under $root; the builds and their prefixes take about 3 GB"
fi

passed=0 failed=0 status=0
# run_bitness NAME TOOLCHAIN [cmake-arguments...]
run_bitness() {
  local name=$1 toolchain=$2 build="$root/$1" start log
  shift 2
  log="$build/ctest.log"
  start=$(date +%s)
  mkdir -p "$build"
  if ! cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain" -DVORN_RELEASE_DIR="$root" "$@" ||
     ! cmake --build "$build" -j2; then
    echo "== $name: the build failed"
    failed=$((failed + 1)) status=1
    return
  fi
  local built=$(date +%s)
  local result=0
  (cd "$build" && ctest -j2 --output-on-failure --timeout 900) 2>&1 | tee "$log" || true
  # Leave no Wine server of the private prefixes behind.
  for prefix in "$build"/wineprefix*/; do
    [ -d "$prefix" ] && WINEPREFIX="${prefix%/}" wineserver -k 2>/dev/null || true
  done
  # ctest's summary: "NN% tests passed, F tests failed out of T".
  local summary total fails
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$summary" ]; then
    echo "== $name: ctest printed no summary"
    failed=$((failed + 1)) status=1
    return
  fi
  fails=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$summary")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
  passed=$((passed + total - fails)) failed=$((failed + fails))
  [ "$fails" -eq 0 ] || status=1
  echo "== $name: built in $((built - start)) s, tested in $(($(date +%s) - built)) s"
}

run_bitness win32 mingw-i686.cmake
run_bitness win64 mingw-x86_64.cmake -DVORN_WIN32_BUILD="$root/win32"

echo "$passed passed, $failed failed"
exit $status
