#!/bin/sh
# Builds the benchmarks natively in Release and runs them: prints the table of
# the update cycles against the copy of the bytes they publish, with targets.
# Exits non-zero when a target is missed.
#
#   scripts/bench.sh              the timed benchmarks and the table
#   scripts/bench.sh --callgrind  instructions per call of both updates at
#                                 150 cars, counted by valgrind's callgrind
#   other arguments go to the benchmark program (Google Benchmark flags)
set -eu
cd "$(dirname "$0")/.."
build=build/bench

./scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANEL_BENCH=ON \
  -DKORVANEL_TOOLS=OFF -DKORVANEL_SANITIZE=OFF >/dev/null
cmake --build "$build" --target korvanel_bench -j2
bench="$build/bench/korvanel_bench"

if [ "${1:-}" != "--callgrind" ]; then
  exec "$bench" "$@"
fi

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
