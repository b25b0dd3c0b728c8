#!/bin/sh
# Builds everything and runs every test this machine can run: the source
# format, the native suite, the 64-bit Windows twin under 64-bit Wine, the
# product (the 32-bit DLL) under 32-bit Wine where 32-bit programs can run,
# the native suite under the sanitizers, and the fuzzers. Every stage runs
# even when one before it failed; the closing summary names each stage as
# passed, failed or not run, with the reason. Exit 0 only when none failed.
#
# KORVANEL_32BIT=yes|no forces whether the 32-bit suite runs (see
# scripts/runs_32bit.sh).
set -u
cd "$(dirname "$0")/.."
./scripts/setup.sh test
export WINEDEBUG=-all

passed=""
failed=""
not_run=""
stage() {
  name=$1
  shift
  echo "== $name"
  if "$@"; then
    passed="$passed $name"
  else
    failed="$failed $name"
    echo "== $name: FAILED"
  fi
}
preset() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j2 && ctest --preset "$1" -j2
}

stage "format" ./scripts/check_format.sh
# First: the Windows suites compare against the native tools.
stage "native" preset native
stage "win64" preset win64

# The product: always built, so that the compiler proves its layouts and
# its export table is read; its tests run only where 32-bit Wine can start.
win32_static() {
  cmake --preset win32 >/dev/null && cmake --build --preset win32 -j2 &&
    ctest --preset win32 -R '^dll_exports_test$'
}
if ! reason=$(./scripts/runs_32bit.sh); then
  stage "win32-static" win32_static
  not_run="$not_run
  win32: the 32-bit DLL's suite under Wine, because $reason"
elif ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" &&
  [ ! -x /usr/lib/wine/wine ]; then
  stage "win32-static" win32_static
  not_run="$not_run
  win32: the 32-bit DLL's suite under Wine, because 32-bit Wine (wine32:i386) is not installed"
else
  stage "win32" preset win32
fi

stage "sanitize" preset sanitize

for extra in scripts/test.d/*.sh; do
  [ -e "$extra" ] || continue
  stage "$(basename "$extra" .sh)" sh "$extra"
done

echo "== summary"
echo "passed:${passed:- none}"
[ -z "$not_run" ] || echo "not run:$not_run"
if [ -n "$failed" ]; then
  echo "FAILED:$failed"
  exit 1
fi
echo "all tests that ran passed"
