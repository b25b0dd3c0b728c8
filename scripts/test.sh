#!/bin/sh
# Builds everything and runs every test: the native suite, the Windows suite
# under Wine, and the native suite again under the sanitizers.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
export WINEDEBUG=-all

echo "== source format"
./scripts/check_format.sh

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j2
ctest --preset native -j2

echo "== Windows build (the product) and tests under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2
ctest --preset win32 -j2

echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j2
ctest --preset sanitize -j2

for extra in scripts/test.d/*.sh; do
  [ -e "$extra" ] || continue
  echo "== $extra"
  sh "$extra"
done
echo "all tests passed"
