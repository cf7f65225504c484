#!/bin/bash
# The standing benchmark: the component against its anchors, side by side in
# one run, in interleaved rounds, printed as one table per module (minimum,
# median, the median of the per-round ratios, and the ratio of the minima).
# Figures only: nothing passes or fails, and the machines are noisy, so
# compare only within one run.
#   - values load (Count, then every Item(i).Value, early-bound C++) at
#     1,000, 10,000 and 100,000 values against the raw W calls it needs;
#   - a sub-key load of 1,000 children; the delete of a 1,001-key tree
#     against RegDeleteTreeW; IDispatch::Invoke against ITypeInfo::Invoke;
#   - clsValues.GetValue through IDispatch::Invoke, each of 10,000 values of
#     every type read once by name, against the open, query and close that
#     each read needs;
#   - the library's own cost per record in nanoseconds: the same value and
#     sub-key loads over a registry held in memory, against the same calls
#     made directly (no registry server in the way); likewise per key for the
#     tree read, Export, CopyTree and Find over a tree of 2,000 keys, and the
#     most heap a search that finds nothing holds, over 200 and 2,000 keys
#     (bench/cost_trees.cpp);
#   - clsKey.Find over the prefix's HKLM\Software (key names, value names
#     and data) against the same search made with the raw calls in C++, and
#     from VBScript against the same search written as a VBScript walk with
#     Values, GetValue and InStr (bench/find_walk.vbs);
#   - the same values walk from VBScript and JScript against WScript.Shell
#     RegRead and a Scripting.Dictionary walk;
#   - examples/regtree.vbs against reg query /s on the prefix's HKLM\Software;
#   - the time from another process's RegSetValueExW to the return of
#     clsKey.WaitForChange against the raw notification wait, over 100
#     changes (bench/watch.cpp);
#   - clsKey's security members (GetSecurity, CheckAccess, AccessRules, a
#     Grant and Revoke) through IDispatch::Invoke against the raw calls each
#     needs, per call;
#   - clsKey.Export, Import and CopyTree against reg export, reg import and
#     reg copy (bench/reg_files.sh);
#   - bytes per loaded record, from the heaps, in all and beyond the records'
#     own data.
# Usage: scripts/bench.sh [--quick] [build-dir...]   (default: build/win32
# and build/win64, the 32-bit and the 64-bit module; a directory whose name
# ends in 64 is configured for the 64-bit module when it has no build yet).
# Takes a few minutes per module. --quick prints every row with fewer rounds
# and sizes a tenth or so of the full run's (a minute or less per module
# once built); its figures are for a first look, not for comparing with a
# full run. Rows kept in programs or scripts of their own read
# VORN_BENCH_QUICK (1 in the quick mode, 0 otherwise) to shrink likewise.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
quick=0
if [ "${1:-}" = --quick ]; then quick=1; shift; fi
export VORN_BENCH_QUICK=$quick
if [ $quick = 1 ]; then
  rounds=2 walk_n=3000 tree='Software\Microsoft\Windows'  # script walks, regtree.vbs
  cpp_args=(100,1000,10000 3 10) cost_args=(7 5000 500) tree_args=(5 10 19)  # vorn_bench run, vorn_cost(_trees)
else
  rounds=5 walk_n=10000 tree=Software
  cpp_args=() cost_args=() tree_args=()
fi

bench_one() {
  local build
  build="$(mkdir -p "$1" && cd "$1" && pwd)"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    local toolchain=mingw-i686.cmake
    case "$build" in *64) toolchain=mingw-x86_64.cmake ;; esac
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain" </dev/null
  fi
  cmake --build "$build" -j2 --target VornRegistry vorn_bench vorn_cost vorn_watch_bench </dev/null

  local run="$build/wine-run" out="$build/bench.out" started round tool t0 label script walk
  : >"$out"
  started=$(date +%s)
  echo "== $build"
  [ $quick = 0 ] || echo "quick mode: fewer rounds and smaller sizes than the full run"
  current=$build

  wine_in 120 "$run" regsvr32 /s "$(windows "$build/VornRegistry.dll")"

  echo "C++: values loads, sub-keys, delete, Invoke, GetValue, key security ..."
  wine_in 3600 "$run" "$build/bench/vorn_bench.exe" run "${cpp_args[@]}" >>"$out" 2>&1
  echo "C++: the library's own cost over a registry in memory ..."
  wine_in 600 "$run" "$build/bench/vorn_cost.exe" "${cost_args[@]}" >>"$out" 2>&1
  wine_in 600 "$run" "$build/bench/vorn_cost_parts.exe" >>"$out" 2>&1
  wine_in 900 "$run" "$build/bench/vorn_cost_trees.exe" "${tree_args[@]}" >>"$out" 2>&1
  echo "C++: WaitForChange against the raw notification wait ..."
  wine_in 600 "$run" "$build/bench/vorn_watch_bench.exe" >>"$out" 2>&1

  echo "scripts: values walks of $walk_n ..."
  walk='Software\VornRegistryTests\bench-walk'
  wine_in 300 "$run" "$build/bench/vorn_bench.exe" make "$walk" "$walk_n" >>"$out" 2>&1
  for script in values_walk.vbs values_walk.js; do
    wine_in 1800 "$run" cscript //nologo "$(windows "$here/bench/$script")" "$walk" "$walk_n" "$rounds" \
      >"$build/bench-script.out" 2>&1 || true
    grep -q '^done' "$build/bench-script.out" || echo "note $script did not finish" >>"$out"
    cat "$build/bench-script.out" >>"$out"
  done
  wine_in 300 "$run" "$build/bench/vorn_bench.exe" drop "$walk" >>"$out" 2>&1

  echo "regtree.vbs against reg query /s on HKLM\\$tree ..."
  for round in $(seq "$rounds"); do
    for tool in regtree reg-query; do
      t0=$(micros)
      if [ $tool = regtree ]; then
        wine_in 600 "$run" cscript //nologo "$(windows "$here/examples/regtree.vbs")" HKLM "$tree" \
          >"$build/bench-tree.out" 2>&1 || true
        label=regtree.vbs
      else
        wine_in 600 "$run" reg query "HKLM\\$tree" /s >"$build/bench-tree.out" 2>&1 || true
        label=reg-query-/s
      fi
      echo "sample regtree-HKLM\\$tree $label $(( $(micros) - t0 ))" >>"$out"
    done
  done
  echo "figure HKLM\\$tree-lines-of-reg-query $(wc -l <"$build/bench-tree.out")" >>"$out"

  echo "Find against a VBScript walk on HKLM\\$tree ..."
  wine_in 1800 "$run" cscript //nologo "$(windows "$here/bench/find_walk.vbs")" "$tree" system32 "$rounds" \
    >"$build/bench-script.out" 2>&1 || true
  grep -q '^done' "$build/bench-script.out" || echo "note find_walk.vbs did not finish" >>"$out"
  cat "$build/bench-script.out" >>"$out"

  echo "Export and Import against reg export and reg import ..."
  bash "$here/bench/reg_files.sh" "$build" >>"$out" 2>&1 || echo "note bench/reg_files.sh failed" >>"$out"

  echo
  [ $quick = 0 ] || echo "Quick mode (scripts/bench.sh --quick): fewer rounds and smaller sizes than the full run."
  python3 "$here/bench/summarise.py" <"$out" | tee "$build/bench-table.md"
  grep '^note' "$out" || true
  echo "benchmark took $(( $(date +%s) - started )) s (samples in $out)"
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
}

windows() { printf 'Z:%s' "$1" | tr / '\\'; }
wine_in() { timeout -k 10 "$@" </dev/null; }  # Wine output goes to files, never pipes
micros() { echo $(( $(date +%s%N) / 1000 )); }

current=
trap '[ -z "$current" ] || WINEPREFIX="$current/wineprefix" wineserver -k 2>/dev/null || true' EXIT
[ $# -gt 0 ] || set -- "$here/build/win32" "$here/build/win64"
for dir in "$@"; do bench_one "$dir"; done
