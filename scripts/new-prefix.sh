#!/bin/sh
# Makes a fresh Wine prefix for the build and its tests, with the null
# graphics driver (the hidden windows of single-threaded apartments need no
# display). Given a pristine prefix of the same architecture in
# VORN_PRISTINE_PREFIX, one that no program ever runs in, the new prefix is a
# copy of it whose Windows binaries are hard links: a few megabytes and a
# second instead of a gigabyte and half a minute of wineboot. Wine writes its
# registry, its .ini and its other text files, which are copied, and never
# writes a binary it installed in place.
#   new-prefix.sh <prefix> <loader>    (WINEARCH as the caller set it)
set -eu
prefix=$1 loader=$2
pristine=${VORN_PRISTINE_PREFIX:-}
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
rm -rf "$prefix"
if [ -n "$pristine" ] && [ -f "$pristine/system.reg" ] && cp -al "$pristine" "$prefix" 2>/dev/null; then
  find "$prefix" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.nls' -o -iname '*.drv' \
      -o -iname '*.sys' -o -iname '*.vxd' -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' \
      -o -iname '*.tlb' -o -iname '*.ds' -o -iname '*.com' -o -iname '*.ax' -o -iname '*.msstyles' \
      -o -iname '*.mod' -o -iname '*.icm' \) |
    while IFS= read -r file; do
      rm -f "$file"
      cp -p "$pristine/${file#"$prefix"/}" "$file"
    done
  exit 0
fi
rm -rf "$prefix"
timeout -k 10 300 "$loader" wineboot --init >/dev/null 2>&1 || true
wineserver -w || true
# Straight after wineboot this setting was once seen to fail: try it a few times.
for attempt in 1 2 3; do
  timeout -k 10 60 "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 && break
  [ "$attempt" = 3 ] && { echo "new-prefix.sh: cannot set the null graphics driver in $prefix" >&2; exit 1; }
  sleep 1
done
# Everything on disk before anyone copies the prefix.
wineserver -w || true
