#!/bin/bash
# Before and after: the C++ benchmark (vorn_bench: values loads of 1,000 and
# 10,000, sub-keys, delete, Invoke; vorn_cost and vorn_cost_parts: the
# library's own cost per record) of two build trees of one bitness, run by
# turns, RUNS times each, alternating which goes first. Prints, per measure, the median over the runs
# of each run's median per-round ratio (or figure), for both trees, and the
# median of the paired after/before quotients.
# Usage: scripts/bench-compare.sh BEFORE-BUILD AFTER-BUILD [RUNS]   (default 5)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
before="$(cd "$1" && pwd)" after="$(cd "$2" && pwd)" runs="${3:-5}"
out="$(mktemp -d)"
windows() { printf 'Z:%s' "$1" | tr / '\\'; }
trap 'for b in "$before" "$after"; do WINEPREFIX="$b/wineprefix" wineserver -k 2>/dev/null || true; done' EXIT
for build in "$before" "$after"; do
  cmake --build "$build" -j2 --target VornRegistry vorn_bench vorn_cost </dev/null >/dev/null
  timeout -k 10 120 "$build/wine-run" regsvr32 /s "$(windows "$build/VornRegistry.dll")" </dev/null
done
for run in $(seq "$runs"); do
  order="before after"
  [ $((run % 2)) -eq 0 ] && order="after before"
  for side in $order; do
    build=$before
    [ $side = after ] && build=$after
    timeout -k 10 1800 "$build/wine-run" "$build/bench/vorn_bench.exe" run 1000,10000 </dev/null \
      >"$out/$side-$run.out" 2>&1
    timeout -k 10 600 "$build/wine-run" "$build/bench/vorn_cost.exe" </dev/null >>"$out/$side-$run.out" 2>&1
    timeout -k 10 600 "$build/wine-run" "$build/bench/vorn_cost_parts.exe" </dev/null >>"$out/$side-$run.out" 2>&1
    echo "run $run: $side done"
  done
done
python3 "$here/bench/compare.py" "$out" "$runs"
echo "(samples in $out)"
