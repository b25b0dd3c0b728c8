#!/usr/bin/env bash
# Watch Korvanel work without the simulator: builds the plugin, the
# substitute host, the monitor and korvanel-live if needed, starts a 20-car,
# three-class race at a speed factor and shows the monitor's timing screen
# beside it for about a minute, with the live timing page served for a
# browser, then stops them all.
#
#   tools/demo.sh [--seconds N] [--speed F] [--seed S] [--wine] [--keep]
#
# --wine runs the Windows build (the real 32-bit DLL) under Wine.
set -euo pipefail

seconds=60
speed=8
seed=2024
wine=0
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --speed) speed=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --wine) wine=1; shift ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
  esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
say() { printf '\033[1mdemo:\033[0m %s\n' "$*"; }

if [ $wine -eq 1 ] && ! reason=$("$root/scripts/runs_32bit.sh"); then
  echo "demo.sh: --wine runs the 32-bit DLL, which this machine cannot: $reason." >&2
  echo "demo.sh: run it without --wine for the native plugin." >&2
  exit 1
fi

# ---- Set-up: what a fresh Debian machine lacks -----------------------------
job=demo
[ $wine -eq 1 ] && job=demo-wine
"$root/scripts/setup.sh" $job
packages=(cmake ninja-build g++ libcli11-dev nlohmann-json3-dev libboost-dev)
[ $wine -eq 1 ] && packages+=(g++-mingw-w64-i686 wine)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "demo.sh: cannot go on without: ${missing[*]} (sudo apt-get install ${missing[*]})" >&2
  exit 1
fi

# ---- Build ------------------------------------------------------------------
if [ $wine -eq 1 ]; then
  build=$root/build/demo-win32
  configure=(-DCMAKE_BUILD_TYPE=Release --toolchain "$root/cmake/mingw-i686.cmake")
else
  build=$root/build/demo
  configure=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
if [ ! -f "$build/build.ninja" ]; then
  say "configuring $build"
  cmake -S "$root" -B "$build" -G Ninja "${configure[@]}" -DKORVANEL_TOOLS=ON \
    -DKORVANEL_TESTS=OFF -DKORVANEL_BENCH=OFF >/dev/null
fi
say "building the plugin, korvanel-host, korvanel-monitor and korvanel-live (first time takes a few minutes)"
cmake --build "$build" --target Korvanel korvanel-host korvanel-monitor korvanel-live -j2 >/dev/null

if [ $wine -eq 1 ]; then
  export WINEDEBUG=-all
  run=(wine)
  host=$build/tools/korvanel-host.exe
  monitor=$build/tools/korvanel-monitor.exe
  live=$build/tools/live/korvanel-live.exe
  plugin="Z:${root//\//\\}\\dist\\Plugins\\Korvanel.dll"
else
  run=()
  host=$build/tools/korvanel-host
  monitor=$build/tools/korvanel-monitor
  live=$build/tools/live/korvanel-live
  plugin=$build/libKorvanel.so
fi

# ---- Race -------------------------------------------------------------------
# The plugin keeps its files in Plugins/KORVANEL under the host's working
# directory: a scratch folder with the sample configuration.
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-demo.XXXXXX")
mkdir -p "$work/Plugins/KORVANEL"
cp "$root/docs/korvanelconf.txt" "$work/Plugins/KORVANEL/korvanelconf.txt"
export KORVANEL_NAME_SUFFIX=".demo$$"

host_pid=
monitor_pid=
live_pid=
finish() {
  [ -n "$live_pid" ] && kill -INT "$live_pid" 2>/dev/null || true
  [ -n "$monitor_pid" ] && kill -INT "$monitor_pid" 2>/dev/null || true
  [ -n "$host_pid" ] && kill -INT "$host_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ $keep -eq 1 ]; then
    say "the race's folder is kept: $work"
  else
    rm -rf "$work"
  fi
}
trap finish EXIT
trap 'exit 130' INT TERM

# The race's time is up after about the demo's length; the cars finish their lap.
session=$(awk -v s="$seconds" -v f="$speed" 'BEGIN { printf "%d", s * f }')
say "race: 20 cars in three classes, speed x$speed, seed $seed"
(cd "$work" && exec "${run[@]}" "$host" "$plugin" --cars 20 --classes 3 --speed "$speed" \
  --seed "$seed" --session-length "$session" --record race.krec) >"$work/host.log" 2>&1 &
host_pid=$!

# Wait for the plugin's shared block to appear.
for _ in $(seq 1 120); do
  if (cd "$work" && "${run[@]}" "$monitor" --json >/dev/null 2>&1); then break; fi
  if ! kill -0 "$host_pid" 2>/dev/null; then
    cat "$work/host.log" >&2
    echo "demo.sh: the host stopped before the race began" >&2
    exit 1
  fi
  sleep 0.5
done

# The live timing page, on the first free port from 8765.
for port in $(seq 8765 8785); do
  (cd "$work" && exec "${run[@]}" "$live" --port "$port") >"$work/live.log" 2>&1 &
  live_pid=$!
  for _ in $(seq 1 40); do
    grep -q "page at" "$work/live.log" 2>/dev/null && break
    kill -0 "$live_pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q "page at" "$work/live.log" && break
  wait "$live_pid" 2>/dev/null || true
  live_pid=
done
if [ -n "$live_pid" ]; then
  say "live timing page: http://127.0.0.1:$port/  (overlay: http://127.0.0.1:$port/?transparent=1&compact=1)"
  sleep 2
else
  say "korvanel-live could not start: $(cat "$work/live.log")"
fi

(cd "$work" && exec "${run[@]}" "$monitor" --seconds "$seconds" --interval 250) &
monitor_pid=$!
wait "$monitor_pid" || true
monitor_pid=
wait "$host_pid" || true
host_pid=
echo
say "the host's log:"
sed 's/^/  /' "$work/host.log"
say "the plugin's odometer file:"
sed 's/^/  /' "$work/Plugins/KORVANEL/KM.txt" 2>/dev/null || echo "  (none)"
say "done. Replay this race with: korvanel-host PLUGIN --replay race.krec (use --keep to keep it)"
