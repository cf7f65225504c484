#!/bin/bash
# Builds everything and runs the whole test suite under Wine: unit tests, the
# type-library contract, the C++ clients, the script suites and the
# differential test. Installs what is missing first (as root).
# Usage: scripts/test.sh [build-dir]   (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo </dev/null
cmake --build "$build" -j"$(nproc)" </dev/null
cd "$build"
status=0
ctest -j2 --output-on-failure --timeout 900 </dev/null || status=$?
# Leave no Wine server of the private prefix behind.
WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
exit $status
