#!/usr/bin/env bash
# korvanel-live through a real mosquitto broker that this script starts on
# loopback and stops: two substitute hosts (cars alpha and bravo, each its
# own block), each with a publishing korvanel-live, and one following
# korvanel-live (one car's parts plain, the other's deflated). Checked: each car's snapshot on the follower keeps up with
# its publisher and equals it once the race holds, the race engineer's
# parts included (their race length set from the pit wall); the broker restarted
# mid-race, both sides reconnect and the follower records the gap (they
# all started before the broker, too); wrong
# credentials give one error line and retries, not an exit; commands pass
# the broker only where both ends allow them, with the driver's token; a
# follower started late (over TLS) has the retained picture at once, and one
# that does not trust the broker's certificate says so; a publisher
# killed with -9 is marked stale within the keep-alive.
#   mqtt_e2e.sh HOST LIVE PLUGIN CONFIG
set -u
host=$1 live=$2 plugin=$3 config=$4
broker=$(command -v mosquitto || ls /usr/sbin/mosquitto 2>/dev/null)
passwd=$(command -v mosquitto_passwd)
if [ -z "$broker" ] || [ -z "$passwd" ] || ! command -v mosquitto_pub >/dev/null; then
  echo "FAIL: the mosquitto broker and clients are not installed (apt-get install mosquitto mosquitto-clients)"
  exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-mqtt.XXXXXX")
chmod 755 "$work"
failed=0 broker_pid= pids=()
problem() { echo "FAIL: $*"; failed=1; }
cleanup() {
  rm -f "$work"/*/hold
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; kill -CONT "$p" 2>/dev/null; done
  [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
keep_alive=5
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port) tls_port=$(free_port)
# A certificate authority of the test's own and the broker's certificate for 127.0.0.1.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Korvanel test CA" -keyout ca.key \
  -out ca.pem >/dev/null 2>&1 &&
  openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout broker.key -out broker.csr \
    >/dev/null 2>&1 &&
  openssl x509 -req -in broker.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile <(echo "subjectAltName=IP:127.0.0.1") -out broker.pem >/dev/null 2>&1 ||
  { echo "FAIL: openssl could not make the test's certificates"; exit 1; }
chmod 644 ca.pem broker.pem broker.key
"$passwd" -c -b passwords team s3cret-pass >/dev/null 2>&1 || { echo "FAIL: mosquitto_passwd"; exit 1; }
chmod 644 passwords
cat >broker.conf <<CONF
listener $port 127.0.0.1
listener $tls_port 127.0.0.1
certfile $work/broker.pem
keyfile $work/broker.key
allow_anonymous false
password_file $work/passwords
persistence false
user $(id -un)
log_dest file $work/broker.log
log_type error
log_type warning
log_type notice
log_type information
CONF
start_broker() {
  "$broker" -c broker.conf >>broker.out 2>&1 &
  broker_pid=$!
  for _ in $(seq 1 50); do (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && return 0; sleep 0.1; done
  cat broker.out; problem "mosquitto did not start on port $port"; exit 1
}

started() {  # LOG: the port korvanel-live printed, once it printed it
  for _ in $(seq 1 100); do grep -q "page at" "$1" 2>/dev/null && break; sleep 0.1; done
  sed -n 's#.*page at http://127.0.0.1:\([0-9]*\)/.*#\1#p' "$1"
}

# ---- two cars: a host, its block and a publisher each
declare -A pub_port
for car in alpha bravo; do
  mkdir -p $car/Plugins/KORVANEL
  cp "$config" $car/Plugins/KORVANEL/korvanelconf.txt
  touch $car/hold
  (cd $car && KORVANEL_NAME_SUFFIX=".mqtt$$$car" exec "$host" "$plugin" --hold-file hold --speed 4 \
    --cars 20 --classes 3 --track-length 1500 --laps 4 --seed 11 >host.out 2>&1) &
  pids+=($!)
  # The password from the config file: nothing secret on the command line.
  printf 'publish = "mqtt://127.0.0.1:%s/team"\nmqtt-user = "team"\nmqtt-password = "s3cret-pass"\ncar = "%s"\nkeep-alive = %s\n' \
    "$port" "$car" "$keep_alive" >$car/publish.conf
  # alpha's driver allows commands through the broker; bravo's does not,
  # and publishes deflated parts.
  extra=(--publish-compress)
  [ $car = alpha ] && extra=(--mqtt-commands)
  (cd $car && KORVANEL_NAME_SUFFIX=".mqtt$$$car" exec "$live" --port 0 --token-file token \
    --config publish.conf "${extra[@]}" >live.out 2>&1) &
  pids+=($!)
  pub_port[$car]=$(started $car/live.out)
  [ -n "${pub_port[$car]}" ] || { cat $car/live.out; problem "publisher $car did not start"; exit 1; }
done
alpha_host=${pids[0]} alpha_pid=${pids[1]} bravo_host=${pids[2]} bravo_pid=${pids[3]}

# ---- the pit wall: one follower for both, allowed to send alpha's driver's commands
cp alpha/token wall-token
KORVANEL_MQTT_PASSWORD=s3cret-pass "$live" --port 0 --token-file wall-token --mqtt-commands \
  --keep-alive $keep_alive --follow "mqtt://team@127.0.0.1:$port/team/#" >follower.out 2>&1 &
pids+=($!)
follower=$(started follower.out)
[ -n "$follower" ] || { cat follower.out; problem "the follower did not start"; exit 1; }

# ---- the broker comes up after them all: their first attempts were refused
sleep 1.5
start_broker

# ---- wrong credentials: a third publisher that is refused
KORVANEL_NAME_SUFFIX=".mqtt$$alpha" KORVANEL_MQTT_PASSWORD=wrong "$live" --port 0 --car intruder \
  --publish "mqtt://team@127.0.0.1:$port/team" >intruder.out 2>&1 &
intruder_pid=$!
pids+=($intruder_pid)

cars() { curl -s "http://127.0.0.1:$1/api/v1/cars"; }
snapshot() { curl -s "http://127.0.0.1:$1/api/v1/snapshot${2:+?car=$2}"; }
# CHECK NAME ARG... on the follower's cars document read from stdin (python).
check_cars() {
  python3 -c '
import json, sys
d = json.load(sys.stdin); cars = {c["car"]: c for c in d["cars"]}
what = sys.argv[1]
if what == "publishing":
    sys.exit(0 if all(cars.get(c, {}).get("status") == "publishing" for c in ("alpha", "bravo")) else 1)
if what == "gap":
    ok = d["connected"] and d["brokerLosses"] >= 1 and all(
        cars[c]["status"] == "publishing" and cars[c]["gaps"] >= 1 and cars[c]["lastGapSeconds"] >= 2.5
        for c in ("alpha", "bravo"))
    sys.exit(0 if ok else 1)
if what == "stale":
    sys.exit(0 if cars.get(sys.argv[2], {}).get("status") == "stale" else 1)
if what == "absent":
    sys.exit(0 if sys.argv[2] not in cars else 1)
' "$@" 2>/dev/null
}
wait_for() {  # SECONDS PORT CHECK...: true once the check holds
  local limit=$1 at=$2; shift 2
  for _ in $(seq 1 $((limit * 10))); do cars "$at" | check_cars "$@" && return 0; sleep 0.1; done
  return 1
}
wait_for 20 "$follower" publishing || { cars "$follower"; problem "the follower does not see both cars publishing"; }

# ---- mid-race: the follower is never more than a published frame behind.
# Updates of the host per published frame (10 a second): measured, not assumed.
lag_check() {  # CAR
  python3 - "$1" "${pub_port[$1]}" "$follower" <<'PY'
import json, sys, time, urllib.request
car, pub, fol = sys.argv[1], sys.argv[2], sys.argv[3]
get = lambda url: json.load(urllib.request.urlopen(url))
a = get(f"http://127.0.0.1:{pub}/api/v1/snapshot")["updateCount"]; t = time.time()
time.sleep(1.0)
b = get(f"http://127.0.0.1:{pub}/api/v1/snapshot")["updateCount"]
per_frame = (b - a) / (time.time() - t) / 10
worst = 0
for _ in range(20):
    before = get(f"http://127.0.0.1:{pub}/api/v1/snapshot")["updateCount"]
    seen = get(f"http://127.0.0.1:{fol}/api/v1/snapshot?car={car}")
    after = get(f"http://127.0.0.1:{pub}/api/v1/snapshot")["updateCount"]
    if seen["updateCount"] > after:
        print(f"FAIL: {car}: the follower is ahead of its publisher"); sys.exit(1)
    worst = max(worst, before - seen["updateCount"])
    time.sleep(0.05)
# One published frame, plus the frame the reader may have made meanwhile.
print(f"{car}: follower at most {worst} updates behind, {per_frame:.1f} updates a published frame")
sys.exit(0 if per_frame > 0 and worst <= 1.5 * per_frame + 2 else 1)
PY
}
lag_check alpha || problem "alpha's follower snapshot lags more than a frame"
lag_check bravo || problem "bravo's follower snapshot lags more than a frame"

# ---- mid-race, the race engineer's figures: worked out by each publisher,
# served by the follower with the parts an overlay asks for (the fuel
# overlay's here), equal to its publisher's or a published frame behind
engineer_check() {  # CAR
  python3 - "$1" "${pub_port[$1]}" "$follower" <<'PY'
import json, sys, time, urllib.request
car, pub, fol = sys.argv[1], sys.argv[2], sys.argv[3]
get = lambda url: json.load(urllib.request.urlopen(url))
parts = "parts=session,player,classes,fuel,delta"
figures = lambda d: ([s["index"] for s in d["classStandings"]], d["fuel"]["perLap"])
matched = 0
for _ in range(20):
    before = figures(get(f"http://127.0.0.1:{pub}/api/v1/snapshot?{parts}"))
    seen = get(f"http://127.0.0.1:{fol}/api/v1/snapshot?{parts}&car={car}")
    after = figures(get(f"http://127.0.0.1:{pub}/api/v1/snapshot?{parts}"))
    if "delta" not in seen or len(seen.get("classStandings", [])) != 20:
        print(f"FAIL: {car}: the follower serves no engineer parts: {sorted(seen)}"); sys.exit(1)
    matched += figures(seen) in (before, after)
    time.sleep(0.05)
# An overtake between the published frame and the publisher's copy may
# differ once or twice.
print(f"{car}: follower's class standings and fuel per lap as the publisher's in {matched} of 20")
sys.exit(0 if matched >= 16 else 1)
PY
}
engineer_check alpha || problem "alpha's engineer parts on the follower differ from its publisher's"
engineer_check bravo || problem "bravo's engineer parts on the follower differ from its publisher's"

# ---- the broker restarts mid-race
kill "$broker_pid"; wait "$broker_pid" 2>/dev/null
sleep 3
start_broker
wait_for 40 "$follower" gap || { cars "$follower"; problem "after the broker's restart the follower shows no gap or not both cars"; }
for car in alpha bravo; do
  [ "$(grep -c "connected to the broker" $car/live.out)" -ge 2 ] || problem "publisher $car did not reconnect"
  kill -0 "$([ $car = alpha ] && echo $alpha_pid || echo $bravo_pid)" 2>/dev/null || problem "publisher $car exited"
done

# ---- commands: through the broker only where both ends allow, only with the token
class_row() { snapshot "${pub_port[$1]}" | python3 -c 'import json,sys; print(json.load(sys.stdin)["state"]["selectedClassRow"])'; }
command_status() {  # TOKEN CAR BODY
  curl -s -o /dev/null -w '%{http_code}' -X POST -H "Authorization: Bearer $1" -d "$3" \
    "http://127.0.0.1:$follower/api/v1/command?car=$2"
}
[ "$(command_status wrong alpha '{"classRow":1}')" = 403 ] || problem "the follower took a wrong token"
[ "$(command_status "$(cat alpha/token)" alpha '{"classRow":2}')" = 202 ] || problem "a command to alpha was not sent"
[ "$(command_status "$(cat alpha/token)" bravo '{"classRow":2}')" = 202 ] || problem "a command to bravo was not sent"
mosquitto_pub -p "$port" -u team -P s3cret-pass -t team/alpha/command -m '{"token":"guessed","command":{"classRow":3}}'
# The pit wall gives the race's length to the driver's engineer.
[ "$(command_status "$(cat alpha/token)" alpha '{"raceLength":{"laps":4}}')" = 202 ] || problem "a race length to alpha was not sent"
# A page's race= carries no token, so it cannot change the driver's figures.
[ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$follower/api/v1/snapshot?car=alpha&race=7L")" = 401 ] ||
  problem "the follower passed a page's race length on to the driver without the token"
sleep 1.5
[ "$(class_row alpha)" = 2 ] || problem "alpha did not carry out the command with its token (or took the guessed one)"
[ "$(class_row bravo)" = 0 ] || problem "bravo took a command through the broker without allowing them"
snapshot "${pub_port[alpha]}" | grep -q '"raceLength":{"laps":4,' || problem "alpha's engineer did not take the race length sent through the broker"

# ---- the race ends and the hosts freeze (their blocks stay as they are and
# the publishers go idle): the follower's picture equals each publisher's
for car in alpha bravo; do
  for _ in $(seq 1 600); do grep -q "holding while" $car/host.out && break; sleep 0.1; done
  grep -q "holding while" $car/host.out || { cat $car/host.out; problem "car $car's race did not finish"; }
done
kill -STOP "$alpha_host" "$bravo_host"
same() {  # FOLLOWER-PORT CAR: the follower's document, less its follow block, is the publisher's
  python3 - "$1" "$2" "${pub_port[$2]}" <<'PY'
import json, sys, urllib.request
fol, car, pub = sys.argv[1], sys.argv[2], sys.argv[3]
get = lambda url: json.load(urllib.request.urlopen(url))
seen = get(f"http://127.0.0.1:{fol}/api/v1/snapshot?car={car}")
follow = seen.pop("follow")
# Every part, the race engineer's included, with figures worth comparing.
truth = get(f"http://127.0.0.1:{pub}/api/v1/snapshot")
if (seen == truth and follow["car"] == car and len(truth.get("vehicles", [])) == 20
        and len(truth["history"]) == 20 and truth["fuel"]["perLap"] is not None):
    sys.exit(0)
diff = sorted(k for k in set(seen) | set(truth) if seen.get(k) != truth.get(k))
print(f"{car}: differs in {diff}", file=sys.stderr)
sys.exit(1)
PY
}
settled() {  # FOLLOWER-PORT: both cars idle and equal to their publishers
  for car in alpha bravo; do
    snapshot "${pub_port[$car]}" | grep -q '"status":"idle"' && same "$1" $car 2>/dev/null || return 1
  done
}
for _ in $(seq 1 60); do settled "$follower" && break; sleep 0.1; done
for car in alpha bravo; do same "$follower" $car || problem "the follower's $car differs from its publisher"; done

# ---- TLS: a follower that does not trust the broker's certificate says so
# and stays; one late over TLS with the test's CA has the retained state at once
KORVANEL_MQTT_PASSWORD=s3cret-pass "$live" --port 0 \
  --follow "mqtts://team@127.0.0.1:$tls_port/team/#" >untrusting.out 2>&1 &
untrusting=$!
pids+=($untrusting)
KORVANEL_MQTT_PASSWORD=s3cret-pass "$live" --port 0 --mqtt-ca-file ca.pem \
  --follow "mqtts://team@127.0.0.1:$tls_port/team/#" >late.out 2>&1 &
pids+=($!)
late=$(started late.out)
# Timed from the moment it serves: both cars' pictures must be there within a second.
python3 - "$late" <<'PY' || problem "the late follower did not get the retained state within a second"
import json, sys, time, urllib.request
start = time.time()
while time.time() - start < 1.0:
    d = json.load(urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/api/v1/cars"))
    if {c["car"] for c in d["cars"] if c["messages"] >= 9} >= {"alpha", "bravo"}:
        print(f"late follower: both cars' retained state {time.time() - start:.3f} s after it began serving")
        sys.exit(0)
    time.sleep(0.01)
sys.exit(1)
PY
for car in alpha bravo; do same "$late" $car || problem "the late follower's $car differs from its publisher"; done
# Without --mqtt-commands a follower takes the race length a page asks for
# only when it is the driver's already.
race_status() { curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$late/api/v1/snapshot?car=alpha&race=$1"; }
[ "$(race_status 4L)" = 200 ] && [ "$(race_status 5L)" = 403 ] ||
  problem "the late follower took a race length unlike the driver's, or refused the driver's own"

grep -q "connected to the broker at 127.0.0.1:$tls_port (TLS)" late.out || problem "the late follower is not on TLS"
grep -q "certificate verify failed" untrusting.out && kill -0 "$untrusting" 2>/dev/null ||
  { cat untrusting.out; problem "an untrusted certificate is not reported, or ended the follower"; }
cars "$(started untrusting.out)" | check_cars absent alpha || problem "a follower took data over an untrusted TLS link"

# ---- the intruder: refused, one error line, retried, still running
cars "$follower" | check_cars absent intruder || problem "the refused publisher's car reached the follower"
kill -0 "$intruder_pid" 2>/dev/null || problem "korvanel-live exited on wrong credentials"
errors=$(grep -c "refused the connection" intruder.out)
[ "$errors" = 1 ] || { cat intruder.out; problem "wrong credentials printed $errors error lines, not one"; }
grep -q "not authorised: check the user name and password" intruder.out || problem "the error line does not say why"
# The intruder is the only client the broker turns away.
tries=$(grep -c "disconnected, not authori[sz]ed" broker.log)
[ "$tries" -ge 3 ] || { grep intruder broker.log; problem "wrong credentials tried $tries times, not again and again"; }
echo "wrong credentials: 1 error line, $tries attempts seen by the broker"

# ---- kill -9 a publisher: stale on both followers within the keep-alive
start=$(date +%s.%N)
kill -9 "$bravo_pid"; wait "$bravo_pid" 2>/dev/null
if wait_for $keep_alive "$follower" stale bravo; then
  echo "killed publisher marked stale after $(python3 -c "import time; print(round(time.time() - $start, 2))") s (keep-alive $keep_alive s)"
else
  problem "the killed publisher is not marked stale within the keep-alive"
fi
wait_for 2 "$late" stale bravo || problem "the late follower does not mark the killed publisher stale"
snapshot "$follower" bravo | grep -q '"status":"stale"' || problem "bravo's snapshot does not say stale"
snapshot "$follower" alpha | grep -q '"status":"idle"' || problem "alpha suffers from bravo's end"

[ $failed -eq 0 ] || { echo "--- follower"; cat follower.out; exit 1; }
echo "mqtt end to end: all passed"
