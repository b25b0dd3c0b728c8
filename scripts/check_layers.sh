#!/bin/sh
# Fails when a file of the core includes a folder of a higher layer (or one
# outside the core). Layers from the bottom: text (ground-floor helpers),
# host, platform, settings, scoring, timing, telemetry, publish, plugin.
# Below them all lies the reader kit's layout header, korvanel/shared_block.h,
# which defines the published records (standard headers only); the rest of
# the kit stays outside the core.
# Unit tests and their helpers beside the code may include anything, as may
# tools, tests, bench and fuzz.
set -eu
cd "$(dirname "$0")/.."
layers="text host platform settings scoring timing telemetry publish plugin"

found=$(
  for dir in $layers; do
    [ -d "$dir" ] || continue
    find "$dir" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) \
      ! -name '*_test.cpp' ! -name '*_test_support.h' |
      while read -r file; do
        grep -Hn '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true
      done
  done |
    awk -v layers="$layers" '
      BEGIN { n = split(layers, l, " "); for (i = 1; i <= n; ++i) rank[l[i]] = i }
      {
        split($0, part, ":"); file = part[1]
        split(file, f, "/"); from = f[1]
        match($0, /"[^"]*"/); target = substr($0, RSTART + 1, RLENGTH - 2)
        if (index(target, "/") == 0) next  # beside the file itself
        if (target == "korvanel/shared_block.h") next  # the published layout
        split(target, t, "/"); to = t[1]
        if (!(to in rank) || rank[to] > rank[from]) print file ": includes " target
      }'
)
if [ -n "$found" ]; then
  echo "$found" >&2
  echo "check_layers: includes must run downward ($layers)" >&2
  exit 1
fi
echo "check_layers: every include runs downward"
