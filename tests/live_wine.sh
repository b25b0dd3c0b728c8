#!/usr/bin/env bash
# The Windows build's korvanel-live.exe under Wine beside its DLL in the
# Windows substitute host: the snapshot says "no plugin" before the race,
# then agrees with the race; a command is refused without the token and
# carried out with it; the embedded page is served; a stopped plugin is
# reported. (Streams, the browser and load run natively: same code.)
#   live_wine.sh HOST MONITOR LIVE PLUGIN CHECKER CONFIG
set -u
host=$1 monitor=$2 live=$3 plugin=$4 checker=$5 config=$6
export WINEDEBUG=-all
# The Wine of the build under test (64-bit Wine for the 64-bit twin).
wine=${WINE:-wine}
. "$(dirname "$0")/live_race.sh"
export KORVANEL_NAME_SUFFIX=".livewine$$x$RANDOM"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-livewine.XXXXXX")
mkdir -p "$work/Plugins/KORVANEL"
cp "$config" "$work/Plugins/KORVANEL/korvanelconf.txt"
failed=0 host_pid= live_pid=
problem() { echo "FAIL: $*"; failed=1; }
cleanup() {
  rm -f "$work/hold"
  [ -n "$host_pid" ] && wait "$host_pid" 2>/dev/null
  [ -n "$live_pid" ] && kill "$live_pid" 2>/dev/null && wait "$live_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
dll=$(realpath "$plugin"); dll="Z:${dll//\//\\}"

$wine "$live" --port 0 --token-file token.txt >live.out 2>&1 &
live_pid=$!
for _ in $(seq 1 300); do grep -q "page at" live.out && break; sleep 0.1; done
port=$(sed -n 's#.*page at http://127.0.0.1:\([0-9]*\)/.*#\1#p' live.out | tr -d '\r')
token=$(tr -d '\r\n' <token.txt 2>/dev/null)
[ -n "$port" ] && [ -n "$token" ] || { cat live.out; problem "korvanel-live.exe did not start"; exit 1; }
url=http://127.0.0.1:$port
status() { curl -s -o /dev/null -w '%{http_code}' "$@"; }

[ "$(status "$url/api/v1/snapshot")" = 503 ] || problem "snapshot without a plugin is not 503"
curl -s "$url/" | grep -q "<html" || problem "the page is not served"

run_held_race $wine "$host" "$dll" || exit 1
$wine "$checker" race model.json served.json >check.out || { cat check.out; problem "snapshot against the race"; }
head -3 check.out

[ "$(status -X POST -d '{"classRow":2}' "$url/api/v1/command")" = 401 ] || problem "POST without a token"
[ "$(status -X POST -H "Authorization: Bearer $token" -d '{"classRow":2}' "$url/api/v1/command")" = 200 ] ||
  problem "class row command with the token"
sleep 1
$wine "$monitor" --json | grep -q '"selectedClassRow": 2' || problem "class row 2 not selected"
curl -s "$url/api/v1/snapshot" >row.json
$wine "$checker" class-row 2 model.json row.json >check.out ||
  { cat check.out; problem "class row 2 in the snapshot"; }

end_held_race

[ $failed -eq 0 ] && echo "korvanel-live.exe under Wine: all passed"
exit $failed
