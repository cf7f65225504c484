#!/bin/sh
# Registers the built module in the test prefix, the way an installer does,
# after removing whatever an earlier build registered, so that no stale entry
# can stand in for one that registration fails to write:
#   register_module.sh <wine-run wrapper> <Unix path of VornRegistry.dll>
set -e
wine_run="$1"
module="Z:$(printf '%s' "$2" | tr '/' '\\')"
timeout 120 "$wine_run" regsvr32 /u /s "$module"
timeout 120 "$wine_run" regsvr32 /s "$module"
