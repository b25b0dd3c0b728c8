#!/usr/bin/env bash
# scripts/setup.sh against a package system that misbehaves as mirrors do:
# one index never loads, a 32-bit package cannot match its 64-bit twin's
# version until both come from the release, and one package cannot be had.
# Setup must go on, install the rest, and say what each gap costs; where the
# machine runs no 32-bit programs it must not ask for 32-bit Wine at all.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-setup.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
problem() { echo "FAIL: $*"; failed=1; }

mkdir -p "$work/bin" "$work/prefix"
cat >"$work/bin/dpkg-query" <<'SH'
#!/bin/sh
for p; do :; done
grep -qx "$p" "$STATE/installed" 2>/dev/null && printf 'install ok installed'
exit 0
SH
cat >"$work/bin/dpkg" <<'SH'
#!/bin/sh
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
SH
cat >"$work/bin/id" <<'SH'
#!/bin/sh
echo 0
SH
cat >"$work/bin/sleep" <<'SH'
#!/bin/sh
exit 0
SH
cat >"$work/bin/apt-get" <<'SH'
#!/bin/sh
echo "apt-get $*" >>"$STATE/calls"
if [ "$1" = update ]; then
  echo "E: Failed to fetch http://mirror.test/debian-security/dists/x-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
  exit 100
fi
shift
simulate=0 release=0 twin=0 packages=""
while [ $# -gt 0 ]; do
  case "$1" in
    -s) simulate=1 ;;
    -t) release=1; shift ;;
    -y | -q | --allow-downgrades) ;;
    libgst/*) twin=1; packages="$packages libgst" ;;
    *) packages="$packages $1" ;;
  esac
  shift
done
case " $packages " in
  *" chromium "*) echo "E: Package 'chromium' has no installation candidate"; exit 100 ;;
esac
case " $packages " in
  *" wine32:i386 "*)
    if [ $release -eq 0 ] || [ $twin -eq 0 ]; then
      echo "The following packages have unmet dependencies:"
      echo " libwine:i386 : Depends: libgst:i386 (>= 1.0.0) but it is not going to be installed"
      echo "E: Unable to correct problems, you have held broken packages."
      exit 100
    fi ;;
esac
[ $simulate -eq 1 ] || for p in $packages; do echo "$p" >>"$STATE/installed"; done
exit 0
SH
chmod +x "$work/bin/"*
echo libgst >"$work/installed.template"

run_setup() { # NAME, then environment assignments
  local name=$1
  shift
  export STATE="$work/$name"
  mkdir -p "$STATE"
  cp "$work/installed.template" "$STATE/installed"
  env "$@" PATH="$work/bin:$PATH" HOME="$work" WINEPREFIX="$work/prefix" \
    sh "$root/scripts/setup.sh" test >"$STATE/out" 2>&1
  echo $? >"$STATE/status"
}
has_line() { grep -qF -- "$2" "$work/$1/out" || problem "$1: no line '$2' in: $(cat "$work/$1/out")"; }

run_setup can32 KORVANEL_32BIT=yes
[ "$(cat "$work/can32/status")" = 0 ] || problem "can32: setup exited $(cat "$work/can32/status")"
[ "$(grep -c '^apt-get update' "$work/can32/calls")" = 3 ] || problem "can32: the bad index was not tried three times"
has_line can32 "setup: package index http://mirror.test/debian-security/dists/x-security/main/binary-i386/Packages.xz did not load in 3 tries; going on without it"
has_line can32 "setup: could not install chromium: the tests in a real browser cannot run"
grep -qx 'wine32:i386' "$work/can32/installed" || problem "can32: wine32:i386 not installed through the release's suite"
grep -q '^apt-get install .*-t .*wine32:i386 libgst/' "$work/can32/calls" ||
  problem "can32: the 64-bit twin was not brought to the release's version with it"
for p in cmake g++ wine64 g++-mingw-w64-x86-64 mosquitto; do
  grep -qx "$p" "$work/can32/installed" || problem "can32: $p not installed after the bad index"
done
[ "$(grep -c '^setup: could not install' "$work/can32/out")" = 1 ] ||
  problem "can32: not exactly one package reported missing"

run_setup no32 KORVANEL_32BIT=no
[ "$(cat "$work/no32/status")" = 0 ] || problem "no32: setup exited $(cat "$work/no32/status")"
has_line no32 "setup: wine32:i386 is not installed: KORVANEL_32BIT=no says so"
grep -q 'wine32' "$work/no32/calls" && problem "no32: asked for 32-bit Wine on a machine that cannot run it"
grep -qx wine64 "$work/no32/installed" || problem "no32: 64-bit Wine not installed"

[ $failed -eq 0 ] && echo "setup survives a bad index, a version skew and a missing package"
exit $failed
