#!/bin/bash
# Benchmark rows of clsKey.Export and Import against Wine's reg export and
# reg import, each timed as whole processes (cscript with the module against
# reg.exe), in interleaved rounds whose order alternates:
#   - export-HKLM\Software: Export of HKLM\Software from a script against
#     reg export of the same key (target 1.0);
#   - import-2000-keys: Import of an exported scratch tree of 2,000 keys and
#     20,000 values of every type, into the deleted tree, against reg import
#     of the same file into the same deleted tree (target 1.25);
#   - copytree-2000-keys: CopyTree of that tree to a new key beside it, in
#     HKCU, against reg copy /s /f of the same tree to the same new key
#     (target 1.0); the copy is deleted before each round.
# VORN_BENCH_QUICK=1 exports HKLM\Software\Microsoft\Windows instead (the
# whole of HKLM\Software takes seconds a side in a win64 prefix), shrinks the
# imported and copied tree to 200 keys and the rounds to 2.
#   bench/reg_files.sh BUILD_DIR   prints "sample", "target" and "note" lines
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
run="$build/wine-run"
work="$build/bench-reg-files"
mkdir -p "$work"
rounds=5 groups=40 leaves=49 exported='Software'
if [ "${VORN_BENCH_QUICK:-0}" = 1 ]; then rounds=2 groups=10 leaves=19 exported='Software\Microsoft\Windows'; fi
row="export-HKLM\\$exported"
keys=$((groups * (leaves + 1)))

windows() { printf 'Z:%s' "$1" | tr / '\\'; }
wine_in() { timeout -k 10 "$@" </dev/null; }
micros() { echo $(( $(date +%s%N) / 1000 )); }
script=$(windows "$here/bench/reg_files.vbs")

# Times one command as a whole process: "sample ROW LABEL MICROSECONDS".
timed() {
  local row=$1 label=$2 t0
  shift 2
  t0=$(micros)
  wine_in 900 "$@" >"$work/out.txt" 2>&1
  local status=$? t=$(( $(micros) - t0 ))
  if [ "${label#clsKey}" != "$label" ] && ! grep -q '^done' "$work/out.txt"; then
    echo "note $row: the script did not finish: $(tr -d '\r' <"$work/out.txt" | head -c 300)"
  elif [ $status != 0 ]; then
    echo "note $row: $label ended with status $status"
  fi
  echo "sample $row $label $t"
}

# The row's rounds, each side once per round, the order alternating: the
# functions prepare (untimed, before each side), mine and theirs say what
# is done.
interleave() {
  local round side
  for round in $(seq "$rounds"); do
    for side in $( [ $((round % 2)) = 1 ] && echo "mine theirs" || echo "theirs mine"); do
      prepare
      $side
    done
  done
}

echo "target $row reg-export 1.0"
prepare() { :; }
mine() {
  timed "$row" clsKey.Export "$run" cscript //nologo "$script" export '&H80000002' "$exported" "$(windows "$work/mine.reg")"
}
theirs() { timed "$row" reg-export "$run" reg export "HKLM\\$exported" "$(windows "$work/theirs.reg")" /y; }
interleave
cmp -s "$work/mine.reg" "$work/theirs.reg" || echo "note $row: the two files differ"

# The scratch tree: every type in each key, made by reg import of a generated
# file, then exported by reg export: the file both sides import.
tree='Software\VornRegistryTests\bench-import'
python3 - "$work/source.reg" "$tree" "$groups" "$leaves" <<'PY'
import sys
out, tree, groups, leaves = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
def hx(t, b): return (f"hex({t:x}):" if t != 3 else "hex:") + ",".join(f"{x:02x}" for x in b)
def u(s): return s.encode("utf-16-le")
lines = ["Windows Registry Editor Version 5.00", ""]
def key(path, n):
    lines.append(f"[HKEY_CURRENT_USER\\{path}]")
    lines.extend([f'@="default {n}"', f'"text"="value {n} with \\"quotes\\" and \\\\"', f'"dword"=dword:{n:08x}',
              '"expand"=' + hx(2, u(f"%TEMP%\\{n}\0")), '"multi"=' + hx(7, u(f"a{n}\0b\0\0")),
              '"qword"=' + hx(11, n.to_bytes(8, "little")), '"binary"=' + hx(3, bytes((n + i) % 256 for i in range(64))),
              '"none"=' + hx(0, b"\x01\x02"), '"big"=' + hx(5, n.to_bytes(4, "big")), '"own"=' + hx(0x4321, b"\xff"), ""])
n = 0
for g in range(groups):
    key(f"{tree}\\group {g:03}", n); n += 1
    for l in range(leaves):
        key(f"{tree}\\group {g:03}\\leaf {l:03}", n); n += 1
open(out, "w", encoding="utf-16", newline="").write("\r\n".join(lines) + "\r\n")
PY
wine_in 300 "$run" reg delete "HKCU\\$tree" /f >/dev/null 2>&1
wine_in 900 "$run" reg import "$(windows "$work/source.reg")" >/dev/null 2>&1
wine_in 900 "$run" reg export "HKCU\\$tree" "$(windows "$work/tree.reg")" /y >/dev/null 2>&1
echo "figure import-tree-keys $keys"
echo "figure import-tree-values $((keys * 10))"
row="import-$keys-keys"
echo "target $row reg-import 1.25"
prepare() { wine_in 300 "$run" reg delete "HKCU\\$tree" /f >/dev/null 2>&1; }
mine() {
  timed "$row" clsKey.Import "$run" cscript //nologo "$script" import '&H80000001' "$tree" "$(windows "$work/tree.reg")"
}
theirs() { timed "$row" reg-import "$run" reg import "$(windows "$work/tree.reg")"; }
interleave
wine_in 300 "$run" reg export "HKCU\\$tree" "$(windows "$work/after.reg")" /y >/dev/null 2>&1
cmp -s "$work/tree.reg" "$work/after.reg" || echo "note $row: the tree after the last import differs from the file"

copy="$tree.copy"
row="copytree-$keys-keys"
echo "target $row reg-copy 1.0"
prepare() { wine_in 300 "$run" reg delete "HKCU\\$copy" /f >/dev/null 2>&1; }
mine() { timed "$row" clsKey.CopyTree "$run" cscript //nologo "$script" copytree '&H80000001' "$tree" "$copy"; }
theirs() { timed "$row" reg-copy "$run" reg copy "HKCU\\$tree" "HKCU\\$copy" /s /f; }
interleave
prepare
wine_in 900 "$run" cscript //nologo "$script" copytree '&H80000001' "$tree" "$copy" >/dev/null 2>&1
wine_in 300 "$run" reg export "HKCU\\$copy" "$(windows "$work/copy.reg")" /y >/dev/null 2>&1
# CopyTree's copy: the same keys and values, below another name.
sed 's/bench-import\.copy/bench-import/' <(iconv -f UTF-16LE -t UTF-8 "$work/copy.reg") |
  cmp -s - <(iconv -f UTF-16LE -t UTF-8 "$work/tree.reg") || echo "note $row: the copy differs from the tree"
wine_in 300 "$run" reg delete "HKCU\\$copy" /f >/dev/null 2>&1
wine_in 300 "$run" reg delete "HKCU\\$tree" /f >/dev/null 2>&1
exit 0
