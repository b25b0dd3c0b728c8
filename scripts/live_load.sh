#!/usr/bin/env bash
# Load run of korvanel-live against a host running flat out: the host's
# update rate without the server, then with CLIENTS WebSocket clients at 30
# frames a second (and one that never reads) for SECONDS, the frames each
# client got, the server's memory and its share of one core. Uses the
# native build (cmake --preset native && cmake --build --preset native).
#   scripts/live_load.sh [SECONDS [CLIENTS]]    (default 60 s, 50 clients)
set -eu
seconds=${1:-60} clients=${2:-50}
root=$(cd "$(dirname "$0")/.." && pwd)
b=$root/build/native
cmake --build --preset native -j2 --target Korvanel korvanel-host korvanel-monitor korvanel-live \
  live_probe >/dev/null
export KORVANEL_NAME_SUFFIX=".liveload$$"
work=$(mktemp -d); mkdir -p "$work/Plugins/KORVANEL"
cp "$root/docs/korvanelconf.txt" "$work/Plugins/KORVANEL/"
cd "$work"
host_pid= live_pid=
trap '[ -n "$live_pid" ] && kill -INT $live_pid; [ -n "$host_pid" ] && kill -INT $host_pid; wait; rm -rf "$work"' EXIT

"$b/tools/korvanel-host" "$b/libKorvanel.so" --fast --cars 60 --classes 3 --session-length 86400 \
  --quiet >host.out 2>&1 &
host_pid=$!
until "$b/tools/korvanel-monitor" --json >/dev/null 2>&1; do
  kill -0 $host_pid 2>/dev/null || { cat host.out; exit 1; }
  sleep 0.2
done
count() { "$b/tools/korvanel-monitor" --json | sed -n 's/.*"updateCount": \([0-9]*\).*/\1/p' | head -1; }
rate() {  # updates a second over $1 seconds
  local first last; first=$(count); sleep "$1"; last=$(count); echo $(( (last - first) / $1 ))
}
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
alone=$(rate 10)
echo "host alone: $alone updates a second"

"$b/tools/live/korvanel-live" --port 0 >live.out 2>&1 &
live_pid=$!
until grep -q "page at" live.out 2>/dev/null; do sleep 0.1; done
port=$(sed -n 's#.*page at http://127.0.0.1:\([0-9]*\)/.*#\1#p' live.out)
served=$(rate 10)
echo "host with korvanel-live reading, no clients: $served updates a second"
mem0=$(awk '/VmRSS/ { print $2 }' /proc/$live_pid/status)
tick=$(getconf CLK_TCK)

c0=$(cpu $live_pid); t0=$(date +%s.%N)
"$b/tests/live_probe" load "$port" 20 30 20
c1=$(cpu $live_pid); t1=$(date +%s.%N)
echo "server at 20 clients x 30/s: $(awk -v c=$((c1 - c0)) -v k=$tick -v a=$t0 -v b=$t1 \
  'BEGIN { printf "%.1f", 100 * c / k / (b - a) }') % of one core"

a=$(count); s0=$(date +%s.%N); c0=$(cpu $live_pid)
"$b/tests/live_probe" load "$port" "$clients" 30 "$seconds" || true
z=$(count); s1=$(date +%s.%N); c1=$(cpu $live_pid)
echo "server at $clients clients x 30/s: $(awk -v c=$((c1 - c0)) -v k=$tick -v a=$s0 -v b=$s1 \
  'BEGIN { printf "%.1f", 100 * c / k / (b - a) }') % of one core"
loaded=$(awk -v a=$a -v z=$z -v s=$s0 -v e=$s1 'BEGIN { printf "%d", (z - a) / (e - s) }')
mem1=$(awk '/VmRSS/ { print $2 }' /proc/$live_pid/status)
echo "host under load: $loaded updates a second ($(awk -v l=$loaded -v a=$alone \
  'BEGIN { printf "%.2f", l / a }') of alone)"
echo "server memory: $mem0 KiB before, $mem1 KiB after"
