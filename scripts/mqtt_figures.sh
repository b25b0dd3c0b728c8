#!/usr/bin/env bash
# Publisher-to-follower figures through a real mosquitto on loopback: one
# host races CARS cars in real time, one korvanel-live publishes it at the
# default rate (10 a second) and one follows it for SECONDS. Prints the
# follower's latency (p50, p99: the frame's time stamp to its arrival,
# which includes the wait for the rate cap) and the bytes a second it got
# for the car, the messages and bytes a second of each topic, and the
# publisher's share of one core. Uses the native build.
# --compress publishes deflated parts. With --screenshot FILE, headless
# Chromium also takes the follower's page.
#   scripts/mqtt_figures.sh [CARS [SECONDS]] [--compress] [--screenshot FILE]   (default 20 cars, 30 s)
set -eu
shot=
compress=()
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) shot=$(realpath -m "$2"); shift 2 ;;
    --compress) compress=(--publish-compress); shift ;;
    *) args+=("$1"); shift ;;
  esac
done
cars=${args[0]:-20} seconds=${args[1]:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
b=$root/build/native
cmake --build --preset native -j2 --target Korvanel korvanel-host korvanel-live >/dev/null
export KORVANEL_NAME_SUFFIX=".mqttfig$$"
work=$(mktemp -d); mkdir -p "$work/Plugins/KORVANEL"
cp "$root/docs/korvanelconf.txt" "$work/Plugins/KORVANEL/"
cd "$work"
pids=()
trap 'for p in "${pids[@]}"; do kill $p 2>/dev/null; done; wait; rm -rf "$work"' EXIT
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nuser %s\n' "$port" "$(id -un)" \
  >broker.conf
mosquitto -c broker.conf >broker.out 2>&1 &
pids+=($!)
"$b/tools/korvanel-host" "$b/libKorvanel.so" --cars "$cars" --classes 3 --session-length 86400 \
  --quiet >host.out 2>&1 &
pids+=($!)
sleep 1
"$b/tools/live/korvanel-live" --port 0 --car figures --publish "mqtt://127.0.0.1:$port/fig" "${compress[@]}" \
  >publisher.out 2>&1 &
publisher=$!
pids+=($publisher)
"$b/tools/live/korvanel-live" --port 0 --follow "mqtt://127.0.0.1:$port/fig/#" >follower.out 2>&1 &
pids+=($!)
until grep -q "page at" follower.out 2>/dev/null; do sleep 0.1; done
follow=$(sed -n 's#.*page at http://127.0.0.1:\([0-9]*\)/.*#\1#p' follower.out)
sleep 2
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
before=$(cpu $publisher)
# Every message's topic and payload length, for the bytes of each part.
mosquitto_sub -p "$port" -t 'fig/figures/+' -F '%t %l' -W "$seconds" >topics.txt 2>/dev/null || true
ticks=$(( $(cpu $publisher) - before ))
curl -s "http://127.0.0.1:$follow/api/v1/cars" >cars.json
python3 - "$cars" <<'PY'
import json, sys
c = json.load(open("cars.json"))["cars"][0]
l = c["latencyMs"]
print("%s cars: latency p50 %.1f ms, p99 %.1f ms over %d messages; %.1f kB a second for the car"
      % (sys.argv[1], l["p50"], l["p99"], l["samples"], c["bytesPerSecond"] / 1000))
PY
awk -v s="$seconds" '{ bytes[$1] += $2 + length($1); n[$1]++ }
  END { for (t in bytes) printf "  %-22s %5.1f messages, %7.1f kB a second\n", t, n[t] / s, bytes[t] / s / 1000 }' \
  topics.txt | sort
echo "publisher: $(awk -v t=$ticks -v s=$seconds -v hz=$(getconf CLK_TCK) 'BEGIN { printf "%.1f", 100 * t / hz / s }') % of one core"
if [ -n "$shot" ]; then
  timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/c" \
    --virtual-time-budget=4000 --window-size=1280,900 --screenshot="$shot" \
    "http://127.0.0.1:$follow/?car=figures" >/dev/null 2>&1
  echo "screenshot: $shot"
fi
