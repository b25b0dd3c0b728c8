#!/bin/sh
# Installs what a job needs, when it is missing. Safe to run again; does
# nothing on a machine that has everything.
#
#   scripts/setup.sh [test|demo|demo-wine|bench]   (default: test)
#
# A package index that fails to load is retried, then left out: the install
# goes on with the indexes that loaded. Where a 32-bit package cannot match
# the version of its installed 64-bit twin (its update came from an index
# that did not load), the release's own suite is used for both. Whatever
# still cannot be installed gets one line saying what that costs; the job
# itself then reports what it could not run. 32-bit Wine is installed only
# where this machine can execute 32-bit programs.
set -u
cd "$(dirname "$0")/.."
job=${1:-test}

base="cmake ninja-build g++ libcli11-dev nlohmann-json3-dev libboost-dev python3 curl"
checks="clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev googletest valgrind
chromium mosquitto mosquitto-clients libmosquitto-dev zlib1g-dev openssl"
windows="g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64"
wine32=""
if reason=$(./scripts/runs_32bit.sh); then
  wine32="wine32:i386"
fi
case "$job" in
  test) wanted="$base $checks libbenchmark-dev $windows $wine32" ;;
  demo) wanted="$base" ;;
  demo-wine) wanted="$base g++-mingw-w64-i686 wine $wine32" ;;
  bench) wanted="$base libbenchmark-dev valgrind $windows $wine32" ;;
  *)
    echo "setup.sh: unknown job $job (test, demo, demo-wine or bench)" >&2
    exit 2
    ;;
esac

# What going without a package costs, in one line.
cost() {
  case "$1" in
    wine32:i386) echo "the 32-bit DLL cannot run here: its Windows suite is not run" ;;
    wine | wine64) echo "no Windows program can run here: the Windows suites are not run" ;;
    g++-mingw-w64-*) echo "the Windows builds cannot be made" ;;
    chromium) echo "the tests in a real browser cannot run" ;;
    mosquitto | mosquitto-clients | libmosquitto-dev | zlib1g-dev) echo "korvanel-live is built without MQTT and its broker tests cannot run" ;;
    clang | libclang-rt-14-dev) echo "the fuzzers cannot be built" ;;
    clang-format) echo "the source format cannot be checked" ;;
    valgrind) echo "instructions per call cannot be counted" ;;
    openssl) echo "the MQTT test cannot make its TLS certificates" ;;
    libbenchmark-dev) echo "the benchmarks cannot be built" ;;
    libgtest-dev | libgmock-dev | googletest) echo "the unit tests cannot be built" ;;
    *) echo "the build needs it" ;;
  esac
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing_of() {
  for p in $1; do installed "$p" || printf '%s ' "$p"; done
}

if [ -z "$wine32" ] && [ "$job" != demo ]; then
  echo "setup: wine32:i386 is not installed: $reason"
fi
missing=$(missing_of "$wanted")
[ -n "$missing" ] || exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo=sudo
  else
    for p in $missing; do echo "setup: cannot install $p (not root, no sudo): $(cost "$p")"; done
    exit 0
  fi
fi
if ! command -v apt-get >/dev/null 2>&1; then
  for p in $missing; do echo "setup: cannot install $p (no apt-get here): $(cost "$p")"; done
  exit 0
fi

echo "setup: installing $missing"
case " $missing " in
  *:i386*)
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    ;;
esac

# Three tries; an index that still fails is named and left out.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for try in 1 2 3; do
  $sudo apt-get update -q >"$log" 2>&1 && break
  if [ "$try" -eq 3 ]; then
    sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' "$log" | sort -u | while read -r index; do
      echo "setup: package index $index did not load in 3 tries; going on without it"
    done
    grep -q '^E: Failed to fetch' "$log" || sed -n 's/^E: /setup: apt-get update: /p' "$log"
  else
    sleep $((try * 2))
  fi
done

apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$@" >"$log" 2>&1
}
release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")

# One package at a time where the whole set fails, so that one does not cost
# the rest. The fallback takes the release's suite for a 32-bit package and
# brings its installed 64-bit twins back to the release's version with it.
if ! apt_install $missing; then
  for p in $(missing_of "$missing"); do
    apt_install "$p" && continue
    [ -n "$release" ] || continue
    extra=""
    for round in 1 2 3 4; do
      $sudo apt-get install -s -t "$release" --allow-downgrades "$p" $extra >"$log" 2>&1 && break
      more=$(sed -n 's/.*Depends: \([^ :]*\):i386.*/\1/p' "$log" | sort -u | while read -r twin; do
        installed "$twin" && printf '%s/%s ' "$twin" "$release"
      done)
      [ -n "$more" ] || break
      extra="$extra $more"
    done
    apt_install -t "$release" --allow-downgrades "$p" $extra
  done
fi

for p in $(missing_of "$missing"); do
  echo "setup: could not install $p: $(cost "$p")"
done

# Wine makes its prefix on first use; do it once, quietly, up front, with the
# Wine this machine can run.
if [ ! -d "${WINEPREFIX:-$HOME/.wine}" ]; then
  if [ -n "$wine32" ] && command -v wine >/dev/null 2>&1; then
    WINEDEBUG=-all wine wineboot -i >/dev/null 2>&1 || true
  elif installed wine64; then
    WINEDEBUG=-all ./scripts/wine64.sh wineboot -i >/dev/null 2>&1 || true
  fi
fi
exit 0
