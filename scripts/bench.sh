#!/bin/sh
# Builds the benchmarks and runs them: the tables of the update cycles
# against the copy of the bytes they publish, with targets, for the native
# build (Release) and for the shipped 32-bit DLL under Wine. Exits non-zero
# when a target is missed.
#
#   scripts/bench.sh              both tables
#   scripts/bench.sh --native     the native table; further arguments go to
#                                 the program (Google Benchmark flags)
#   scripts/bench.sh --wine       the DLL's table; further arguments go to
#                                 the program (--repetitions=N, --quick)
#   scripts/bench.sh --callgrind  instructions per call of both updates at
#                                 150 cars, counted by valgrind's callgrind
set -eu
cd "$(dirname "$0")/.."
build=build/bench

mode=both
case "${1:-}" in
  --native | --wine | --callgrind) mode=${1#--}; shift ;;
esac
[ "$mode" = both ] && [ $# -gt 0 ] && { echo "arguments need --native or --wine" >&2; exit 2; }

./scripts/setup.sh

native() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANEL_BENCH=ON \
    -DKORVANEL_TOOLS=OFF -DKORVANEL_SANITIZE=OFF >/dev/null
  cmake --build "$build" --target korvanel_bench -j2
}

wine_bench() {
  # The product as shipped: the win32 preset builds dist/Plugins/Korvanel.dll.
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target korvanel_dll_bench -j2
  WINEDEBUG=-all wine build/win32/bench/korvanel_dll_bench.exe "$@"
}

case $mode in
  native) native; exec "$build/bench/korvanel_bench" "$@" ;;
  wine) wine_bench "$@"; exit $? ;;
  both)
    status=0
    echo "== native build"
    native
    "$build/bench/korvanel_bench" || status=1
    echo
    echo "== the 32-bit DLL under Wine"
    wine_bench || status=1
    exit $status
    ;;
esac

bench="$build/bench/korvanel_bench"
native
command -v valgrind >/dev/null || { echo "valgrind is needed for --callgrind" >&2; exit 2; }
calls=500
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "instructions per call (callgrind, $calls calls after warm-up, 150 cars):"
# fresh: the telemetry update right after a scoring update (the scoring
# update between is run but not counted).
for kind in telemetry fresh scoring; do
  case $kind in
    telemetry | fresh) fn='korvanel::RenderPlugin::updateTelemetry*' ;;
    scoring) fn='korvanel::RenderPlugin::updateScoring*' ;;
  esac
  valgrind --tool=callgrind --callgrind-out-file="$out/$kind.out" --toggle-collect="$fn" \
    "$bench" --profile="$kind:150:$calls" >/dev/null 2>"$out/$kind.log"
  total=$(sed -n 's/^totals: *\([0-9]*\).*/\1/p; s/^summary: *\([0-9]*\).*/\1/p' "$out/$kind.out" | tail -n 1)
  printf '  %-9s update: %s instructions per call\n' "$kind" "$((total / calls))"
  if [ -n "${KORVANEL_CALLGRIND_DETAIL:-}" ]; then
    callgrind_annotate --inclusive=yes "$out/$kind.out" | sed -n '/file:function/,$p' | head -n 25
  fi
done
