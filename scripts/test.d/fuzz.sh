#!/bin/sh
# Builds the libFuzzer targets with clang (build/fuzz) and runs each from its
# seed corpus and past findings for a bounded time, two at a time. Any crash,
# leak, undefined behaviour or failed check fails the stage; the input that
# caused it is kept under build/fuzz/findings/<target>/.
# KORVANEL_FUZZ_SECONDS sets the time per target (default 60).
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
seconds=${KORVANEL_FUZZ_SECONDS:-60}
build=$root/build/fuzz
targets="scoring_update telemetry_update config_reader odometer_file"

cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "fuzz: clang++ is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

# The targets write their scratch files under TMPDIR; memory-backed where
# the machine has it, so that the odometer's flushed saves cost nothing.
scratch=/dev/shm
[ -d "$scratch" ] && [ -w "$scratch" ] || scratch=${TMPDIR:-/tmp}
work=$(mktemp -d "$scratch/korvanel-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

start_target() {
  t=$1
  mkdir -p "$work/$t/corpus" "$work/$t/tmp"
  cp "$root/fuzz/corpus/$t/"* "$work/$t/corpus/"
  mkdir -p "$root/fuzz/regressions/$t"
  (
    TMPDIR="$work/$t/tmp" "$build/${t}_fuzzer" -max_total_time="$seconds" -max_len=20000 \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$t/" \
      "$work/$t/corpus" "$root/fuzz/regressions/$t" >"$work/$t/log" 2>&1
    echo $? >"$work/$t/status"
  ) &
}

finish_target() {
  t=$1
  status=$(cat "$work/$t/status")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t/log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$t/log")
  if [ "$status" -eq 0 ]; then
    echo "fuzz: $t: ${runs:-?} runs in ${seconds} s (${rate:-?}/s), no finding"
    return 0
  fi
  echo "fuzz: $t FAILED (exit $status)"
  grep -a -v '^#[0-9]' "$work/$t/log" | tail -60
  mkdir -p "$build/findings/$t"
  for f in "$work/$t"/crash-* "$work/$t"/leak-* "$work/$t"/timeout-* "$work/$t"/oom-*; do
    [ -e "$f" ] && cp "$f" "$build/findings/$t/" && echo "fuzz: kept $build/findings/$t/$(basename "$f")"
  done
  return 1
}

failed=0
passed=0
set -- $targets
while [ $# -gt 0 ]; do
  first=$1
  shift
  second=${1:-}
  [ $# -gt 0 ] && shift
  start_target "$first"
  [ -n "$second" ] && start_target "$second"
  wait
  for t in $first $second; do
    if finish_target "$t"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  done
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
