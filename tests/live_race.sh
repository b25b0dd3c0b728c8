# Sourced by the live server's end-to-end scripts: the race both run the
# server against, its end, and the server's start. Uses the caller's
# `problem`, `live` and `url`.

# Starts korvanel-live (the command `live`, with the arguments given) on a
# free port with token.txt in the working folder; sets live_pid, port,
# token and url. Exits the script when it does not start.
start_live() {
  "$live" --port 0 --token-file token.txt "$@" >live.out 2>&1 &
  live_pid=$!
  for _ in $(seq 1 100); do grep -q "page at" live.out && break; sleep 0.1; done
  port=$(sed -n 's#.*page at http://127.0.0.1:\([0-9]*\)/.*#\1#p' live.out)
  token=$(cat token.txt)
  [ -n "$port" ] && [ -n "$token" ] || { cat live.out; problem "korvanel-live did not start"; exit 1; }
  url=http://127.0.0.1:$port
}

# Runs the substitute host given as the arguments (its command and the
# plugin) on a 20-car race held at its end (hold, host.out, model.json in the
# working folder; the host's pid in host_pid), waits for the race to finish
# and for the server at $url to publish it, and keeps the snapshot it
# serves then in served.json. Returns 1 when the race did not finish.
run_held_race() {
  touch hold
  "$@" --hold-file hold --fast --cars 20 --classes 3 --track-length 1500 --laps 4 \
    --seed 7 --summary model.json >host.out 2>&1 &
  host_pid=$!
  for _ in $(seq 1 1200); do grep -q "holding while" host.out && break; sleep 0.25; done
  grep -q "holding while" host.out || { cat host.out; problem "the race did not finish"; return 1; }
  for _ in $(seq 1 50); do
    curl -s "$url/api/v1/snapshot" | grep -q '"status":"publishing"' && break
    sleep 0.1
  done
  curl -s "$url/api/v1/snapshot" >served.json
}

# Lets the held race end, waits for the host, and checks that the server at
# $url then reports the plugin stopped.
end_held_race() {
  rm -f hold
  wait "$host_pid"; host_pid=
  for _ in $(seq 1 50); do
    curl -s "$url/api/v1/snapshot" | grep -Eq '"status":"(stopped|no-plugin)"' && break
    sleep 0.2
  done
  curl -s "$url/api/v1/snapshot" | grep -Eq '"status":"(stopped|no-plugin)"' ||
    problem "a stopped plugin is not reported"
}
