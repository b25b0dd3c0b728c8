#!/bin/sh
# Installs what the build and the tests need, when it is missing. Safe to run
# again; does nothing on a machine that has everything.
set -eu

packages="cmake ninja-build g++ clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev googletest
libbenchmark-dev g++-mingw-w64-i686 libcli11-dev nlohmann-json3-dev libboost-dev chromium curl valgrind
wine wine32:i386 python3"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "installing:$missing"
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
fi

# Wine makes its prefix on first use; do it once, quietly, up front.
if [ ! -d "${WINEPREFIX:-$HOME/.wine}" ]; then
  WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
fi
