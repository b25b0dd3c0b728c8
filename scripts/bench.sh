#!/bin/sh
# Builds the benchmarks and runs them: the tables of the update cycles
# against the copy of the bytes they publish, with targets, for the native
# build (Release) and for the shipped 32-bit DLL under Wine (or, where this
# machine cannot run 32-bit programs, the 64-bit Windows twin under 64-bit
# Wine). Exits non-zero when a target is missed.
#
#   scripts/bench.sh              both tables
#   scripts/bench.sh --native     the native table; further arguments go to
#                                 the program (Google Benchmark flags)
#   scripts/bench.sh --wine       the DLL's table; further arguments go to
#                                 the program (--repetitions=N, --quick,
#                                 --against=OTHER.dll: two DLLs call by call)
#   scripts/bench.sh --callgrind  instructions per call of both updates at
#                                 150 cars, counted by valgrind's callgrind
#   scripts/bench.sh --against REV
#                                 both updates at 150 cars, this tree against
#                                 the commit REV (built aside), in turns in one
#                                 run: the ratio of their fastest times
set -eu
cd "$(dirname "$0")/.."
build=build/bench

mode=both
case "${1:-}" in
  --native | --wine | --callgrind | --against) mode=${1#--}; shift ;;
esac
[ "$mode" = both ] && [ $# -gt 0 ] && { echo "arguments need --native or --wine" >&2; exit 2; }

./scripts/setup.sh bench

native() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANEL_BENCH=ON \
    -DKORVANEL_TOOLS=OFF -DKORVANEL_SANITIZE=OFF >/dev/null
  cmake --build "$build" --target korvanel_bench -j2
}

wine_bench() {
  # The product as shipped: the win32 preset builds dist/Plugins/Korvanel.dll.
  # Where 32-bit programs cannot run, its 64-bit twin under 64-bit Wine is
  # the Windows code that can be measured; the table is the same.
  if reason=$(./scripts/runs_32bit.sh); then
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 --target korvanel_dll_bench -j2
    WINEDEBUG=-all wine build/win32/bench/korvanel_dll_bench.exe "$@"
  else
    echo "the 32-bit DLL cannot run on this machine: $reason"
    echo "measuring the 64-bit Windows DLL under 64-bit Wine instead"
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 --target korvanel_dll_bench -j2
    WINEDEBUG=-all ./scripts/wine64.sh build/win64/bench/korvanel_dll_bench.exe "$@"
  fi
}

against() {
  rev=${1:?"--against needs a commit"}
  base=build/bench-base
  rm -rf "$base.src"
  git worktree add --detach --force "$base.src" "$rev" >/dev/null 2>&1
  trap 'git worktree remove --force "$base.src" 2>/dev/null || true' EXIT
  cmake -S "$base.src" -B "$base" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANEL_BENCH=ON \
    -DKORVANEL_TOOLS=OFF -DKORVANEL_SANITIZE=OFF -DKORVANEL_TESTS=OFF >/dev/null
  cmake --build "$base" --target korvanel_bench -j2 >/dev/null
  out=$(mktemp -d)
  for round in 1 2 3 4; do
    for which in before after; do
      program="$build/bench/korvanel_bench"
      [ $which = before ] && program="$base/bench/korvanel_bench"
      "$program" --benchmark_filter='^(telemetry_update|scoring_update)/150$' \
        --benchmark_repetitions=5 --benchmark_out="$out/$which.$round.json" \
        --benchmark_out_format=json >/dev/null
    done
  done
  echo "fastest of 4 rounds x 5 repetitions, in turns; before = $rev"
  python3 - "$out" <<'PY'
import glob, json, sys
best = {}
for path in glob.glob(sys.argv[1] + "/*.json"):
    which = path.rsplit("/", 1)[1].split(".")[0]
    for b in json.load(open(path))["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        key = (b["run_name"], which)
        best[key] = min(best.get(key, 1e30), b["real_time"] * {"ns": 1e-3, "us": 1, "ms": 1e3}[b["time_unit"]])
for name in sorted({k[0] for k in best}):
    before, after = best[(name, "before")], best[(name, "after")]
    print("  %-22s before %8.2f us  after %8.2f us  after/before %.3f" % (name, before, after, after / before))
PY
  rm -rf "$out"
}


case $mode in
  native) native; exec "$build/bench/korvanel_bench" "$@" ;;
  wine) wine_bench "$@"; exit $? ;;
  against) native; against "$@"; exit 0 ;;
  both)
    status=0
    echo "== native build"
    native
    "$build/bench/korvanel_bench" || status=1
    echo
    echo "== the Windows DLL under Wine"
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
    telemetry | fresh) fn='korvanel::RenderPlugin::updateTelemetry(*)' ;;
    scoring) fn='korvanel::RenderPlugin::updateScoring(*)' ;;
  esac
  # The closing ")" keeps out the lambdas inside the update: a nested match
  # would toggle the count off for the work they do.
  valgrind --tool=callgrind --callgrind-out-file="$out/$kind.out" --toggle-collect="$fn" \
    "$bench" --profile="$kind:150:$calls" >/dev/null 2>"$out/$kind.log"
  total=$(sed -n 's/^totals: *\([0-9]*\).*/\1/p; s/^summary: *\([0-9]*\).*/\1/p' "$out/$kind.out" | tail -n 1)
  printf '  %-9s update: %s instructions per call\n' "$kind" "$((total / calls))"
  if [ -n "${KORVANEL_CALLGRIND_DETAIL:-}" ]; then
    callgrind_annotate --inclusive=yes "$out/$kind.out" | sed -n '/file:function/,$p' | head -n 25
  fi
done
