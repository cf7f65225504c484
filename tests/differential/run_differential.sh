#!/bin/bash
# Differential test: builds a tree of keys and values with Wine's reg.exe,
# lists it with Wine's `reg query` (the peer) and with clients of the
# component (regtree.vbs, regtree.js, and walk.exe when built), and compares
# the listings.
#
#   run_differential.sh WINE_RUN SOURCE_DIR WORK_DIR PYTHON [WALK_EXE]
#
# The last line is "differential: N comparisons, M failed".
set -uo pipefail

wine_run=$1
source_dir=$2
work=$3
python=$4
walk_exe=${5:-}

mkdir -p "$work"
log="$work/reg.log"
: >"$log"
base="Software\\VornRegistryTests\\diff-$$-$RANDOM"
top="HKCU\\$base"

# wine_call SECONDS OUTFILE program args...: output to a file, never a pipe.
wine_call() {
  local seconds=$1 out=$2
  shift 2
  timeout -k 10 "$seconds" "$wine_run" "$@" </dev/null >"$out" 2>&1
}
windows_path() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }

cleanup() { wine_call 120 "$work/cleanup.log" reg delete "$top" /f; }
trap cleanup EXIT

# ---- the tree ---------------------------------------------------------------
declare -A keys=()
values=0
setup_failures=0

# value KEY NAME TYPE DATA   (NAME "" is the key's default value)
value() {
  local key=$1 name=$2 type=$3 data=$4 where="$top${1:+\\$1}"
  local -a which=(/v "$name")
  [ -z "$name" ] && which=(/ve)
  if wine_call 120 "$work/last.log" reg add "$where" "${which[@]}" /t "$type" /d "$data" /f; then
    values=$((values + 1))
    keys["$where"]=1
    # every key along the way exists now
    local k=$where
    while [ "$k" != "$top" ] && [ "${#k}" -gt "${#top}" ]; do
      k=${k%\\*}
      keys["$k"]=1
    done
  else
    echo "setup: reg add $where ${which[*]} /t $type failed: $(tr -d '\r' <"$work/last.log")"
    setup_failures=$((setup_failures + 1))
  fi
  cat "$work/last.log" >>"$log"
}

# empty_key KEY: a key without values or sub-keys
empty_key() {
  local where="$top\\$1"
  wine_call 120 "$work/last.log" reg add "$where" /f &&
    wine_call 120 "$work/last2.log" reg delete "$where" /va /f ||
    { echo "setup: empty key $where failed"; setup_failures=$((setup_failures + 1)); }
  keys["$where"]=1
}

repeat() { local out="" i; for ((i = 0; i < $2; i++)); do out+=$1; done; printf '%s' "$out"; }
text_of_length() { local t; t=$(repeat "0123456789abcdef" $(($1 / 16 + 1))); printf '%s' "${t:0:$1}"; }

value "" "" REG_SZ "root default"
value "" "plain" REG_SZ "plain text"
value "" "empty" REG_SZ ""
value "" "padded" REG_SZ "  spaces at both ends  "
value "" "punctuation" REG_SZ '100% %PATH% "quoted" back\slash ; , = [x]'
value "" "name with spaces" REG_SZ "x"
value "" "back\\slash\\name" REG_SZ "value name with backslashes"
value "" "UPPER lower" REG_SZ "Case"
value "" "len1998" REG_SZ "$(text_of_length 1998)"
value "" "len1999" REG_SZ "$(text_of_length 1999)"
value "" "len2000" REG_SZ "$(text_of_length 2000)"
value "" "len2001" REG_SZ "$(text_of_length 2001)"
value "" "len3000" REG_SZ "$(text_of_length 3000)"
value "" "len8000" REG_SZ "$(text_of_length 8000)"
value "" "$(repeat n 2100)" REG_SZ "a value name of 2100 characters"
value "" "dw0" REG_DWORD 0
value "" "dw1" REG_DWORD 1
value "" "dwmax" REG_DWORD 0xFFFFFFFF
value "" "dwmin" REG_DWORD 0x80000000
value "" "dw7f" REG_DWORD 0x7FFFFFFF
value "" "dwdec" REG_DWORD 123456789
value "" "expand" REG_EXPAND_SZ "%SystemRoot%\\system32"
value "" "binary" REG_BINARY "00FF10AB"
value "" "binary empty" REG_BINARY ""
value "" "multi" REG_MULTI_SZ 'one\0two'
value "" "none" REG_NONE ""
value "" "latin $(printf '\xc3\xa9')" REG_SZ "caf$(printf '\xc3\xa9') $(printf '\xc3\xbc')ber"
value "level1" "" REG_SZ ""
value "level1" "v1" REG_SZ "one"
value "level1\\level2" "dw" REG_DWORD 2
value "level1\\level2\\level3" "s" REG_SZ "three"
value "level1\\level2\\level3\\level4" "" REG_SZ "deepest"
value "level1\\level2\\level3\\level4" "bin" REG_BINARY "01"
value "Mixed Case Key" "Value" REG_SZ "x"
value "caf$(printf '\xc3\xa9') key" "v" REG_SZ "latin key name"
empty_key "empty key"
empty_key "level1\\empty leaf"
for i in $(seq -w 1 15); do
  value "wide\\k$i" "n" REG_DWORD "$((10#$i))"
  [ $((10#$i % 4)) -eq 0 ] && value "wide\\k$i\\inner" "s" REG_SZ "inner $i"
done
for i in $(seq -w 1 40); do
  if [ $((10#$i % 2)) -eq 0 ]; then value "many" "v$i" REG_SZ "text $i"; else value "many" "v$i" REG_DWORD "$((10#$i * 1000))"; fi
done
key_count=${#keys[@]}
echo "built $key_count keys and $values values below $top ($setup_failures setup failures)"

# ---- listings ------------------------------------------------------------------
failed=0
comparisons=0

compare() {  # compare LABEL PEER WALKER [options]
  local label=$1 peer=$2 walker=$3
  shift 3
  comparisons=$((comparisons + 1))
  if ! "$python" "$source_dir/tests/differential/compare_listings.py" --label "$label" "$@" "$peer" "$walker"; then
    failed=$((failed + 1))
  fi
}

# list LABEL OUTFILE program args...: one listing, its status checked.
list() {
  local label=$1 out=$2
  shift 2
  local status=0
  wine_call 300 "$out" "$@" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "$label: listing ended with status $status; its output:"
    tr -d '\r' <"$out" | head -20
    failed=$((failed + 1))
  fi
}

list "reg query /s" "$work/peer.txt" reg query "$top" /s
list "regtree.vbs" "$work/regtree_vbs.txt" cscript //nologo "$(windows_path "$source_dir/examples/regtree.vbs")" HKCU "$base"
list "regtree.js" "$work/regtree_js.txt" cscript //nologo "$(windows_path "$source_dir/examples/regtree.js")" HKCU "$base"
compare regtree.vbs "$work/peer.txt" "$work/regtree_vbs.txt" --min-keys "$key_count" --min-values "$values"
compare regtree.js "$work/peer.txt" "$work/regtree_js.txt" --min-keys "$key_count" --min-values "$values"

if [ -n "$walk_exe" ]; then
  for sub in "" "\\wide" "\\many" "\\level1"; do
    list "reg query${sub}" "$work/peer1.txt" reg query "$top$sub"
    list "walk.exe${sub}" "$work/walk.txt" "$walk_exe" HKCU "$base$sub"
    compare "walk.exe${sub:- (top)}" "$work/peer1.txt" "$work/walk.txt" \
      --one-level "HKEY_CURRENT_USER\\$base$sub"
  done
fi

[ "$setup_failures" -eq 0 ] || failed=$((failed + 1))
echo "differential: $comparisons comparisons, $failed failed"
[ "$failed" -eq 0 ]
