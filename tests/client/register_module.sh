#!/bin/sh
# Registers the built module in the test prefix as an installer does, after
# removing what an earlier build registered, so that no stale entry can stand
# in for one that registration fails to write:
#   register_module.sh <wine-run wrapper> <Unix path of VornRegistry.dll>
set -e
module="Z:$(printf '%s' "$2" | tr '/' '\\')"
timeout 120 "$1" regsvr32 /u /s "$module"
timeout 120 "$1" regsvr32 /s "$module"
