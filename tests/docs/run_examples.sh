#!/bin/bash
# Runs every script example of the README and the guide as a reader pastes it
# after the main job: each ```vb and ```js block (```vbscript and
# ```javascript too) becomes a file with a last line of its own,
#   WScript.Echo "docs example FILE:LINE ran to its end"
# run by the build tree's cscript against the registered module, with the
# demo tree as scripts/demo-tree.sh writes it. A block passes when that line
# is in its output (Wine's cscript prints nothing for an uncaught error and
# exits 0) and the demo tree is as it was before it ran; a block that changed
# the tree fails, and the tree is written again for the next one.
#   run_examples.sh WINE_RUN SOURCE_DIR WORK_DIR
# Last line: "docs examples: N run, M failed".
set -uo pipefail
run=$1 source=$2 work=$3
docs=(README.md docs/guide.md)
demo='HKCU\Software\VornRegistryDemo'
rm -rf "$work" && mkdir -p "$work"
bad=0  # set by fail; each block, and the set-up before them, counts once
fail() { echo "FAILED: $*"; bad=1; }

tree() {  # tree FILE: the demo tree as reg query lists it
  timeout -k 10 120 "$run" reg query "$demo" /s </dev/null 2>&1 | tr -d '\r' >"$1"
}
write_tree() {
  bash "$source/scripts/demo-tree.sh" "$run" "$work/demo-tree.log" || fail "writing the demo tree"
}
write_tree
tree "$work/demo.expected"
grep -q 'Users\\bob' "$work/demo.expected" || fail "no demo tree to run the examples against"

# Each block to WORK/<doc>-<line>.vbs|.js, its fence's indentation taken off.
: >"$work/blocks.list"
for doc in "${docs[@]}"; do
  [ -f "$source/$doc" ] || { fail "$doc is missing"; continue; }
  awk -v work="$work" -v doc="$doc" '
    function flat(s) { gsub(/[\/.]/, "-", s); return s }
    !file && match($0, /^ *```(vb|vbscript|js|javascript) *$/) {
      indent = index($0, "`") - 1
      ext = ($0 ~ /```(vb|vbscript) *$/) ? "vbs" : "js"
      at = doc ":" NR
      file = work "/" flat(doc) "-" NR "." ext
      printf "" >file
      next
    }
    file && $0 ~ /^ *``` *$/ {
      marker = "docs example " at " ran to its end"
      print (ext == "vbs" ? "WScript.Echo \"" marker "\"" : "WScript.Echo(\"" marker "\");") >file
      close(file)
      print file "\t" marker >>(work "/blocks.list")
      file = ""
      next
    }
    file { print substr($0, 1, indent) ~ /^ *$/ ? substr($0, indent + 1) : $0 >file }
    END { if (file) print at }
  ' "$source/$doc" >"$work/unclosed"
  [ -s "$work/unclosed" ] && fail "the block at $(cat "$work/unclosed") has no closing fence"
done

ran=0 failed=$bad
while IFS=$'\t' read -r script marker; do
  bad=0
  out="${script%.*}.out" where="${marker% ran to its end}"
  timeout -k 10 120 "$run" cscript //nologo "Z:$(printf '%s' "$script" | tr / '\\')" >"$out" 2>&1 </dev/null
  status=$?
  if ! tr -d '\r' <"$out" | grep -qxF "$marker"; then
    fail "$where stopped early (status $status); its output:"
    tr -d '\r' <"$out" | sed 's/^/    /'
  fi
  tree "$work/demo.now"
  if ! cmp -s "$work/demo.expected" "$work/demo.now"; then
    fail "$where left the demo tree changed:"
    diff "$work/demo.expected" "$work/demo.now" | sed 's/^/    /'
    write_tree
  fi
  ran=$((ran + 1)) failed=$((failed + bad))
done <"$work/blocks.list"
echo "docs examples: $ran run, $failed failed"
