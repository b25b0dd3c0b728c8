#!/bin/sh
# Fails when a C or C++ file of the tree is not as clang-format (with the
# tree's .clang-format) would write it, and names the files. With --fix,
# formats them in place instead.
set -eu
cd "$(dirname "$0")/.."
tool=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$tool" ]; then
  echo "check_format: clang-format is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
files=$(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null || find . -path ./build -prune -o \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print)
if [ "${1:-}" = "--fix" ]; then
  echo "$files" | xargs "$tool" -i
  exit 0
fi
bad=""
for f in $files; do
  "$tool" --dry-run --Werror "$f" >/dev/null 2>&1 || bad="$bad $f"
done
if [ -n "$bad" ]; then
  echo "not formatted (run scripts/check_format.sh --fix):"
  for f in $bad; do echo "  $f"; done
  exit 1
fi
echo "all $(echo "$files" | wc -w) files formatted"
