#!/bin/bash
# The plugin under a host running as fast as it can while two display
# programs in other processes read the whole shared block without pause and
# write their command bytes: class rows 0 to 255 and the KERS switches, and
# odometer resets one at a time. Nothing may crash, no command byte may be
# lost or undone, every reset must be carried out exactly once, and the host
# must keep at least 1/FACTOR of the update rate it has without readers.
#
# usage: concurrency_test.sh HOST PLUGIN READER CONFIG
# KORVANEL_CONCURRENCY_SESSION: simulated seconds of the race (default 20000)
# KORVANEL_CONCURRENCY_FACTOR: the allowed slow-down (default 4)
# KORVANEL_READER_PAUSE_US: the readers' pause after each full pass over the
#   block (default 50, some 5000 passes a second each; 0 reads flat out,
#   where the cache lines the host writes bounce between three busy processes
#   on two cores and the host slows by 4 to 10 times)
set -u
host=$1
plugin=$2
reader=$3
config=$4
session=${KORVANEL_CONCURRENCY_SESSION:-20000}
factor=${KORVANEL_CONCURRENCY_FACTOR:-4}
limit=600  # seconds any reader may run at most

scratch=/dev/shm
[ -d "$scratch" ] && [ -w "$scratch" ] || scratch=${TMPDIR:-/tmp}
work=$(mktemp -d "$scratch/korvanel-concurrency.XXXXXX")
pids=""
cleanup() {
  for p in $pids; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
mkdir -p Plugins/KORVANEL
cp "$config" Plugins/KORVANEL/korvanelconf.txt
export KORVANEL_NAME_SUFFIX=".concurrency.$$"
export KORVANEL_READER_PAUSE_US=${KORVANEL_READER_PAUSE_US:-50}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Runs the race; prints its wall-clock seconds.
race() {
  local start end
  start=$(date +%s%N)
  "$host" "$plugin" --fast --quiet --seed 2024 --cars 40 --session-length "$session" \
    >host.out 2>&1
  local rc=$?
  end=$(date +%s%N)
  [ $rc -eq 0 ] || { fail "host exited with $rc"; cat host.out; }
  echo $(((end - start) / 1000000))
}

value() {  # value FILE NAME
  sed -n "s/^$2=//p" "$1"
}

# One race with the two readers; checks what they report. Prints nothing.
race_with_readers() {
  rm -f Plugins/KORVANEL/KM.txt stop resets.done
  "$reader" display stop resets.done $limit >display.out 2>&1 &
  local display_pid=$!
  "$reader" resetter stop resets.done $limit 200 >resetter.out 2>&1 &
  local resetter_pid=$!
  pids="$display_pid $resetter_pid"
  shared_ms=$(race)
  touch stop
  wait $display_pid || fail "display reader exited with $?"
  wait $resetter_pid || fail "resetter exited with $?"
  pids=""
  cat display.out resetter.out

  [ "$(value display.out invalid)" = 0 ] || fail "the display read impossible values"
  [ "$(value resetter.out invalid)" = 0 ] || fail "the resetter read impossible values"
  [ "$(value display.out rows_checked)" -ge 256 ] || fail "fewer than 256 class rows checked"
  [ "$(value display.out undone)" = 0 ] || fail "command bytes were lost or undone"
  [ "$(value display.out group_mismatches)" = 0 ] || fail "class grouping did not follow the row"
  [ "$(value resetter.out resets_lost)" = 0 ] || fail "reset commands cleared without a reset"
  [ "$(value resetter.out never_cleared)" = 0 ] || fail "reset commands never cleared"
  [ "$(value resetter.out wrong_total_reset)" = 0 ] || fail "a reset hit the other total"
  local kind sent seen observed
  for kind in vehicle track; do
    sent=$(value resetter.out ${kind}_resets_sent)
    seen=$(value resetter.out ${kind}_resets_seen)
    observed=$(value display.out ${kind}_resets_observed)
    [ "$sent" -ge 20 ] || fail "only $sent $kind resets sent"
    # Exactly once: the other reader saw one reset per command, no more. The
    # last one may have been cut short by the end of the race.
    [ "$observed" -ge "$seen" ] && [ "$observed" -le "$sent" ] ||
      fail "the display saw $observed $kind resets for $sent sent ($seen confirmed)"
  done
  grep -q '^\[KM\]' Plugins/KORVANEL/KM.txt && grep -q '^\[KM_TRACKS\]' Plugins/KORVANEL/KM.txt ||
    fail "KM.txt lost its sections"
  reader_seconds=$(awk -v a="$(value display.out seconds)" -v b="$(value resetter.out seconds)" \
    'BEGIN { printf "%.1f", a + b }')
}

# The rate is wall-clock time for the same race; a second try guards against
# a machine that was busy with something else during the first.
for attempt in 1 2; do
  alone_ms=$(race)
  race_with_readers
  echo "host alone: ${alone_ms} ms; with two readers: ${shared_ms} ms" \
    "(allowed: ${factor}x); reader time ${reader_seconds} s"
  [ "$shared_ms" -le $((alone_ms * factor)) ] && break
  [ $attempt -eq 2 ] && fail "the host slowed down more than ${factor}x with readers"
done

if [ $failures -eq 0 ]; then
  echo "1 passed, 0 failed"
  exit 0
fi
echo "0 passed, 1 failed"
exit 1
