#!/bin/sh
# The main job: a seeded race from the substitute host drives the plugin,
# and the monitor shows its shared block live for about a minute, with
# korvanel-live serving the live timing page (its address is printed).
# Options go to tools/demo.sh (--wine runs the real 32-bit DLL under Wine,
# where this machine can run 32-bit programs). The native demo needs no Wine;
# tools/demo.sh installs what is missing.
set -eu
cd "$(dirname "$0")/.."
exec bash tools/demo.sh "$@"
