#!/usr/bin/env bash
# The overlays of korvanel-live in headless Chromium against a seeded race
# of 20 cars in three classes: while it runs, the live delta moves with
# every frame of a 30-a-second stream; held at its end so that what the
# browser shows and what the snapshot says are the same moment: every overlay's
# screenshot at 900x500 (transparent, over the browser's white: a bright
# scene), 768x1024 (a tablet in portrait) and 1920x1080, kept in the
# artefacts folder; the standings' order and class places, the relative's
# order and gaps, the delta and the fuel figures as the page shows them
# against the snapshot; 20 cars fitting 900x500 in readable text; the page
# at 768 px without sideways scrolling; the race length given by the server
# option, by the page's URL and by a command with the token (and refused
# without). Skips (77) without chromium.
#   live_overlays.sh HOST LIVE PLUGIN PROBE CONFIG ARTEFACTS
set -u
host=$1 live=$2 plugin=$3 probe=$4 config=$5 artefacts=$6
command -v chromium >/dev/null 2>&1 || { echo "SKIP: chromium is not installed"; exit 77; }
. "$(dirname "$0")/live_race.sh"
export KORVANEL_NAME_SUFFIX=".liveovl$$x$RANDOM"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-overlays.XXXXXX")
mkdir -p "$work/Plugins/KORVANEL" "$artefacts"
cp "$config" "$work/Plugins/KORVANEL/korvanelconf.txt"
failed=0 host_pid= live_pid=
problem() { echo "FAIL: $*"; failed=1; }
cleanup() {
  rm -f "$work/hold"
  [ -n "$live_pid" ] && kill -INT "$live_pid" 2>/dev/null
  [ -n "$host_pid" ] && wait "$host_pid" 2>/dev/null
  [ -n "$live_pid" ] && wait "$live_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

start_live --race-minutes 30

# At ten times real time the engineer samples every lap many times over.
touch hold
"$host" "$plugin" --hold-file hold --speed 10 --cars 20 --classes 3 --track-length 1500 --laps 5 \
  --seed 11 --summary model.json >host.out 2>&1 &
host_pid=$!
# While the cars run, the delta is sampled at the rate a stream asks for.
for _ in $(seq 1 400); do grep -q "has done 1 lap" host.out && break; sleep 0.25; done
"$probe" stream "$port" 30 2 session,delta || failed=1
for _ in $(seq 1 1200); do grep -q "holding while" host.out && break; sleep 0.25; done
grep -q "holding while" host.out || { cat host.out; echo "FAIL: the race did not finish"; exit 1; }
sleep 1

snapshot() { curl -s "$url/api/v1/snapshot"; }
snapshot >before.json
python3 - before.json <<'PY' || problem "the server option's race length or the engineer's parts"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["schemaVersion"] == 1 and d["schemaRevision"] >= 2, d.get("schemaRevision")
assert d["engineer"]["raceLength"] == {"laps": 0, "minutes": 30.0} or \
    d["engineer"]["raceLength"].get("minutes") == 30, d["engineer"]
assert len(d["classStandings"]) == 20 and len(d["classes"]) == 3
PY

# ---- the race length by command: refused without the token, set with it
code=$(curl -s -o reply.json -w '%{http_code}' -X POST -d '{"raceLength":{"laps":7}}' "$url/api/v1/command")
[ "$code" = 401 ] || problem "a race length without the token: $code"
code=$(curl -s -o reply.json -w '%{http_code}' -X POST -H "Authorization: Bearer $token" \
  -d '{"raceLength":{"laps":7}}' "$url/api/v1/command")
[ "$code" = 200 ] || { cat reply.json; problem "a race length with the token: $code"; }
sleep 0.5
snapshot | grep -q '"raceLength":{"laps":7' || problem "the command's race length is not served"

shoot() {  # NAME QUERY WIDTH HEIGHT [DOM-OUTPUT]
  local flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
    --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars
    --user-data-dir="$(mktemp -d "$work/chromium.XXXXXX")" --virtual-time-budget=3000
    --window-size="$3,$4")
  timeout 60 chromium "${flags[@]}" --screenshot="$artefacts/overlay-$1-$3x$4.png" "$url/?$2" \
    >/dev/null 2>&1
  [ -s "$artefacts/overlay-$1-$3x$4.png" ] || problem "no screenshot of $1 at $3x$4"
  [ -n "${5:-}" ] || return 0
  # Without a screenshot Chromium's window keeps room for its own bars: the
  # page says the size it got (data-window), and the window grows by the
  # difference once.
  local height=$4 got
  for _ in 1 2; do
    flags[${#flags[@]} - 1]="--window-size=$3,$height"
    timeout 60 chromium "${flags[@]}" --dump-dom "$url/?$2" >"$5" 2>/dev/null
    got=$(sed -n 's/.*<body[^>]*data-window="[0-9]*x\([0-9]*\)".*/\1/p' "$5")
    [ -n "$got" ] && [ "$got" != "$4" ] || break
    height=$((height + $4 - got))
  done
  [ "$got" = "$4" ] || problem "the page of $1 got a window $got high instead of $4"
}
for v in standings relative delta fuel; do
  # The fuel overlay gives the race length in its URL: 6 laps from then on.
  extra=; [ $v = fuel ] && extra="&race=6L"
  shoot $v "view=$v&transparent=1$extra" 900 500 "$v.html"
  shoot $v "view=$v$extra" 768 1024
  shoot $v "view=$v$extra" 1920 1080
done
shoot around "view=standings&rows=8&transparent=1" 900 500 around.html
# The stream address of earlier releases.
shoot compact "transparent=1&compact=1" 900 500 compact.html
shoot page "" 768 1024 page.html
shoot page "" 1920 1080
snapshot >after.json

python3 - before.json after.json standings.html around.html relative.html delta.html fuel.html \
  page.html compact.html <<'PY' || failed=1
import json, re, sys
before, now = (json.load(open(p)) for p in sys.argv[1:3])
dom = {n: open(p).read() for n, p in zip(
    ["standings", "around", "relative", "delta", "fuel", "page", "compact"], sys.argv[3:])}
bad = []
def check(ok, what):
    if not ok: bad.append(what)

def rows(html, body_id):  # each row's data- attributes, and its cells' text as "cells"
    part = re.search(r'<tbody id="%s">(.*?)</tbody>' % body_id, html, re.S)
    out = []
    for attrs, inner in re.findall(r'<tr ([^>]*)>(.*?)</tr>', part.group(1) if part else "", re.S):
        row = dict(re.findall(r'data-([a-z-]+)="([^"]*)"', attrs))
        row["cells"] = [re.sub(r"<[^>]*>", "", c) for c in re.findall(r"<td[^>]*>(.*?)</td>", inner, re.S)]
        out.append(row)
    return out
def body_attr(html, name):
    m = re.search(r'<body[^>]*data-%s="([^"]*)"' % name, html)
    return m.group(1) if m else None

check(before["classStandings"] == now["classStandings"], "the held race moved between snapshots")
order = [v["driverName"] for v in sorted(now["vehicles"], key=lambda v: v["place"])]
places = {c["index"]: c["classPlace"] for c in now["classStandings"]}

shown = rows(dom["standings"], "cars")
check([r["driver"] for r in shown] == order, "standings order %s, snapshot %s"
      % ([r["driver"] for r in shown], order))
check(all(int(r["class-place"]) == places[int(r["index"])] for r in shown),
      "class places on screen differ from the snapshot")
check(any(int(r["class-place"]) != int(r["place"]) for r in shown),
      "every class place equals the overall place")
check(len(set(re.findall(r'class="chip" style="background: ([^;"]*)', dom["standings"]))) == 3,
      "the standings do not show three class colours")
stops = {h["index"]: h["pit"]["stops"] for h in now["history"]}
pits = [(int(r["index"]), r["cells"][10]) for r in shown]
check(len(pits) == 20 and all(c == "PIT" or int(c or 0) == stops[i] for i, c in pits),
      "pit stops on screen differ from the snapshot: %s" % pits)
check(sum(stops.values()) > 0, "nobody stopped in the race")
check(body_attr(dom["standings"], "overflow") == "0", "20 cars do not fit 900x500")
check(float(body_attr(dom["standings"], "font") or 0) >= 15, "text under 15 px at 900x500: %s"
      % body_attr(dom["standings"], "font"))

around = rows(dom["around"], "cars")
player = now["scoring"]["playerIndex"]
check(len(around) == 8 and [r["driver"] for r in around[:3]] == order[:3] and
      any(int(r["index"]) == player for r in around), "rows=8: %s" % [r["driver"] for r in around])

rel = rows(dom["relative"], "relative-cars")
want = now["relative"]["cars"]
check([int(r["index"]) for r in rel] == [c["index"] for c in want], "relative order differs")
check(all(abs(float(r["gap"]) - c["gap"]) < 1e-6 for r, c in zip(rel, want)), "relative gaps differ")

m = re.search(r'id="delta-value"[^>]*data-value="([^"]*)"', dom["delta"]) or \
    re.search(r'data-value="([^"]*)"[^>]*id="delta-value"', dom["delta"])
d = now["delta"]["toBest"]
check(m and (m.group(1) == ("%.3f" % d if d is not None else "")), "delta on screen %s, snapshot %s"
      % (m and m.group(1), d))

def text(html, id_):
    m = re.search(r'id="%s"[^>]*>([^<]*)<' % id_, html)
    return m.group(1) if m else None
f = now["fuel"]
check(now["engineer"]["raceLength"]["laps"] == 6, "the page's race=6L did not set the race length")
for id_, key in [("fuel-level", "level"), ("fuel-to-finish", "toFinish"), ("fuel-to-add", "toAdd")]:
    want = "%.1f" % f[key] if f[key] is not None else "--"
    check(text(dom["fuel"], id_) == want, "%s on screen %s, snapshot %s" % (key, text(dom["fuel"], id_), want))

check(len(rows(dom["compact"], "cars")) == 20 and body_attr(dom["compact"], "overflow") == "0",
      "?transparent=1&compact=1 does not show 20 cars in 900x500")
check(body_attr(dom["page"], "overflow-x") == "0", "the page scrolls sideways at 768 px")
check(len(rows(dom["page"], "cars")) == 20, "the page does not list 20 cars")
print("standings at 900x500: 20 cars in %s px text" % body_attr(dom["standings"], "font"))
for b in bad: print("FAIL:", b)
sys.exit(1 if bad else 0)
PY

for f in standings around compact relative delta fuel page; do cp "$f.html" "$artefacts/overlay-$f.html"; done
cp after.json "$artefacts/overlay-snapshot.json"
[ $failed -eq 0 ] || { tail -5 live.out; exit 1; }
echo "overlays: all passed; screenshots in $artefacts"
