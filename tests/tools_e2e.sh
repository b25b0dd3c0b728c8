#!/usr/bin/env bash
# End to end: the substitute host runs a seeded race as fast as possible
# with the real plugin; the monitor's snapshot must agree with the race;
# commands written by the monitor must take effect; a replay of the
# recorded race must give the same snapshot; a monitor left running
# follows the host through its restarts.
#   tools_e2e.sh HOST MONITOR PLUGIN CHECKER CONFIG [RUNNER]
# RUNNER is "wine" for the Windows build.
set -u
host=$1 monitor=$2 plugin=$3 checker=$4 config=$5 runner=${6:-}
export WINEDEBUG=-all
export KORVANEL_NAME_SUFFIX=".e2e$$x$RANDOM"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-e2e.XXXXXX")
failed=0
host_pid=
watch_pid=

# A path as the programs under test take it.
native() {
  local p
  p=$(realpath "$1")
  if [ -n "$runner" ]; then p="Z:${p//\//\\}"; fi
  printf '%s' "$p"
}

cleanup() {
  [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null && wait "$watch_pid"
  if [ -n "$host_pid" ]; then
    rm -f "$dir/hold"
    wait "$host_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

note() { printf '%s\n' "$*"; }
problem() {
  note "FAIL: $*"
  failed=1
}

# A fresh folder with Plugins/KORVANEL and the sample configuration.
scratch() {
  dir="$work/$1"
  mkdir -p "$dir/Plugins/KORVANEL"
  cp "$config" "$dir/Plugins/KORVANEL/korvanelconf.txt"
}

in_dir() { (cd "$dir" && $runner "$@"); }

# Starts the host in $dir with a hold file and waits until the race is over.
start_host() {
  touch "$dir/hold"
  (cd "$dir" && exec $runner "$host" "$(native "$plugin")" --hold-file hold "$@") \
    >"$dir/host.out" 2>&1 &
  host_pid=$!
  for _ in $(seq 1 1200); do
    grep -q "holding while" "$dir/host.out" 2>/dev/null && return 0
    if ! kill -0 "$host_pid" 2>/dev/null; then break; fi
    sleep 0.25
  done
  problem "the host did not reach the end of the race:"
  cat "$dir/host.out"
  return 1
}

stop_host() {
  rm -f "$dir/hold"
  wait "$host_pid"
  local rc=$?
  host_pid=
  if [ $rc -ne 0 ]; then
    problem "the host ended with exit code $rc:"
    cat "$dir/host.out"
  fi
}

snapshot() {
  in_dir "$monitor" --json >"$dir/$1" || problem "monitor --json failed"
  grep -q '"whole": true' "$dir/$1" || problem "the monitor's snapshot $1 is not whole"
}

check() { in_dir "$checker" "$@" || failed=1; }

# Runs a check until it passes (updates take effect at the next scoring
# update), then once more for its report.
check_soon() {
  for _ in $(seq 1 60); do
    snapshot now.json
    in_dir "$checker" --quiet "$@" >/dev/null && break
    sleep 0.25
  done
  check "$@"
}

note "== live race"
scratch live
start_host --fast --cars 20 --classes 3 --track-length 1500 --laps 4 --seed 7 \
  --record ../race.krec --summary model.json || exit 1
snapshot live.json
check race model.json live.json

note "== monitor commands"
in_dir "$monitor" --class-row 2 >/dev/null || problem "monitor --class-row failed"
check_soon class-row 2 model.json now.json
in_dir "$monitor" --reset-odometer vehicle >/dev/null || problem "monitor --reset-odometer failed"
check_soon odometer-reset model.json now.json
in_dir "$monitor" --kers on >/dev/null || problem "monitor --kers failed"
snapshot kers.json
grep -q '"kersTimerOn": 1' "$dir/kers.json" || problem "the KERS switch did not stay on"
in_dir "$monitor" --plain --seconds 0.5 >"$dir/screen.txt" || problem "the monitor's screen failed"
grep -q "Player One" "$dir/screen.txt" && grep -q "Sector records" "$dir/screen.txt" ||
  problem "the monitor's screen lacks the player or the sector records"
# wc -L counts characters where the locale is UTF-8 (awk may count bytes).
[ "$(LC_ALL=C.UTF-8 wc -L <"$dir/screen.txt")" -le 80 ] ||
  problem "the monitor's screen is wider than 80 columns"
# Kept on screen through the end of this host, the replay and the next race.
(cd "$dir" && exec $runner "$monitor" --plain --interval 500) >"$work/watch.txt" 2>&1 &
watch_pid=$!
# Under Wine the monitor takes a while to start: it must see this host first.
for _ in $(seq 1 80); do grep -q "Player One" "$work/watch.txt" && break; sleep 0.25; done
stop_host
check km model.json Plugins/KORVANEL/KM.txt live.json
# On Windows the watching monitor's handle keeps the block, which the
# host marked closed; elsewhere the block goes with the host.
if in_dir "$monitor" --json >"$dir/after.json" 2>&1; then
  [ -n "$runner" ] && grep -q '"status": "stopped"' "$dir/after.json" ||
    problem "the monitor still finds the block after the host ended"
fi
for _ in $(seq 1 40); do grep -qE "is gone|host shut down" "$work/watch.txt" && break; sleep 0.25; done
grep -qE "is gone|host shut down" "$work/watch.txt" ||
  problem "the monitor left running did not see the host end"

note "== replay at the recorded pace"
scratch replay
start_host --replay "$(native "$work/race.krec")" || exit 1
snapshot replay.json
stop_host
(cd "$work" && $runner "$checker" same live/live.json replay/replay.json) || failed=1

note "== more cars than the block holds, destroyed through the table"
scratch many
start_host --fast --cars 160 --track-length 600 --laps 1 --seed 3 --summary model.json \
  --destroy-through-table || exit 1
snapshot many.json
check many model.json many.json
# The next race's track is 0.6 km long; the first was 1.5 km.
for _ in $(seq 1 40); do grep -q " 0.6 km " "$work/watch.txt" && break; sleep 0.25; done
kill "$watch_pid" && wait "$watch_pid"
watch_pid=
grep -q " 0.6 km " "$work/watch.txt" || {
  tail -5 "$work/watch.txt"
  problem "the monitor did not follow the restarted host"
}
stop_host
grep -q "Korvanel Shutdown" "$dir/Plugins/KORVANEL/KORVANEL.log.txt" ||
  problem "the plugin logged no shutdown"

[ $failed -eq 0 ] && note "end-to-end run passed"
exit $failed
