#!/usr/bin/env bash
# The Windows DLL under Wine puts its block in /dev/shm, where a NATIVE
# program maps the same memory that a Windows reader in the prefix opens by
# name; everything unusual there keeps the paging-file block, with one log
# line, and leaves what it found untouched.
#   wine_dev_shm.sh HOST MONITOR PLUGIN CHECKER CONFIG NATIVE_MONITOR
# HOST, MONITOR and CHECKER are Windows programs, run under Wine.
set -u
host=$1 monitor=$2 plugin=$3 checker=$4 config=$5 native_monitor=$6
export WINEDEBUG=-all
# The Wine of the build under test (64-bit Wine for the 64-bit twin).
wine=${WINE:-wine}
base=".wineshm$$x$RANDOM"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-wineshm.XXXXXX")
failed=0
pids=()
line="Shared block not visible to Linux programs: "

if [ ! -x "$native_monitor" ]; then
  echo "FAIL: no native monitor at $native_monitor (build the native preset first)"
  exit 1
fi

cleanup() {
  rm -f "$work"/*/hold
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$work" /dev/shm/*"$base"*
}
trap cleanup EXIT

note() { printf '%s\n' "$*"; }
problem() {
  note "FAIL: $*"
  failed=1
}
winpath() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }

# case NAME: a fresh folder for one host and its own block name.
case_() {
  dir="$work/$1"
  export KORVANEL_NAME_SUFFIX="$base.$1"
  shm="/dev/shm/\$Quorvex2KORVANEL\$$KORVANEL_NAME_SUFFIX"
  mkdir -p "$dir/Plugins/KORVANEL"
  cp "$config" "$dir/Plugins/KORVANEL/korvanelconf.txt"
  note "== $1"
}
log() { cat "$dir/Plugins/KORVANEL/KORVANEL.log.txt" 2>/dev/null; }

# Starts a host in $dir; it holds after a short race until "hold" goes.
start_host() {
  touch "$dir/hold"
  (cd "$dir" && exec $wine "$host" "$(winpath "$plugin")" --hold-file hold --fast --cars 6 \
     --classes 2 --track-length 600 --laps 1 --summary model.json "$@") \
    >"$dir/host.out" 2>&1 &
  host_pid=$!
  pids+=("$host_pid")
  for _ in $(seq 1 240); do
    grep -q "holding while" "$dir/host.out" 2>/dev/null && return 0
    kill -0 "$host_pid" 2>/dev/null || break
    sleep 0.25
  done
  problem "the host did not reach its hold:"
  cat "$dir/host.out"
  return 1
}
stop_host() {
  rm -f "$dir/hold"
  wait "$host_pid" || problem "the host ended with exit code $?: $(cat "$dir/host.out")"
}

native_json() { (cd "$dir" && "$native_monitor" --json) >"$dir/$1" 2>&1; }
windows_json() { (cd "$dir" && $wine "$monitor" --json) >"$dir/$1" 2>&1; }
field() { grep -o "\"$1\": [-0-9.e]*" "$dir/$2" | head -1 | awk '{print $2}'; }

# The plugin publishes to Windows readers and its log says once why the
# block is not in /dev/shm, with the reason given.
expect_fallback() {
  local reason=$1
  windows_json win.json || problem "no Windows reader sees the block: $(cat "$dir/win.json")"
  [ "$(field scoringPublished win.json)" = 1 ] || problem "the block holds no scoring"
  local lines
  lines=$(log | grep -c "^$line")
  if [ "$lines" -ne 1 ] || ! log | grep -q "^$line.*$reason"; then
    problem "wanted one log line with \"$reason\", the log has:"
    log
  else
    note "ok: $(log | grep "^$line")"
  fi
}

# What a foreign path is: type, mode, owner, size, contents, time.
fingerprint() {
  stat -c '%F %a %U %s %Y' "$1" 2>&1
  if [ -f "$1" ]; then sha1sum <"$1"; fi
}

case_ one-memory
start_host --seed 5 || exit 1
# Made by the plugin for this user only: nothing for others, whatever the
# file creation mask; the group gets what the mask leaves of the user's bits.
mode=$(stat -c '%a' "$shm" 2>/dev/null)
if [ ! -f "$shm" ] || [ -L "$shm" ] || [ "$(stat -c '%s %u' "$shm")" != "151832 $(id -u)" ] ||
   [ "${mode:0:1}" != 6 ] || [ "${mode:2:1}" != 0 ]; then
  problem "the block's file is not a regular file of this user, 151832 bytes, rw for the user \
only: $(stat -c '%F %a %u %s' "$shm" 2>&1)"
else
  note "ok: $shm is a regular file of $(id -un), mode $mode, 151832 bytes"
fi
native_json first.json || problem "the native monitor does not find the block: $(cat "$dir/first.json")"
windows_json win.json || problem "the Windows monitor failed: $(cat "$dir/win.json")"
native_json second.json || problem "the native monitor failed again"
(cd "$dir" && $wine "$checker" same first.json win.json && $wine "$checker" same win.json second.json) ||
  problem "the native and the Windows readers see different blocks"
[ "$(field updateCount second.json)" -gt "$(field updateCount first.json)" ] ||
  problem "updateCount does not move for the native reader"
before=$(field vehicleDistance second.json)
(cd "$dir" && "$native_monitor" --reset-odometer vehicle --class-row 2) >/dev/null ||
  problem "the native monitor cannot write commands"
for _ in $(seq 1 40); do
  windows_json now.json
  [ "$(field distanceResetCommand now.json)" = 0 ] && break
  sleep 0.25
done
if [ "$(field distanceResetCommand now.json)" != 0 ] || [ "$(field vehicleDistance now.json)" != 0.0 ] ||
   [ "$before" = 0.0 ]; then
  problem "a reset from the native side was not carried out: $before before, then \
$(field vehicleDistance now.json), command byte $(field distanceResetCommand now.json)"
else
  note "ok: the native reset took effect once ($before to 0.0, command byte cleared)"
fi
for _ in $(seq 1 40); do
  (cd "$dir" && $wine "$checker" --quiet class-row 2 model.json now.json) >/dev/null && break
  sleep 0.25
  windows_json now.json
done
(cd "$dir" && $wine "$checker" class-row 2 model.json now.json) || failed=1
# A Windows reader that still has the block open when the host ends keeps
# its memory; the file goes with the host that made it, once that reader
# lets go (Wine removes a mapped file when its last mapping closes).
(cd "$dir" && exec $wine "$monitor" --plain --interval 100 --seconds 5) >"$dir/watch.txt" 2>&1 &
watcher=$!
pids+=("$watcher")
for _ in $(seq 1 40); do [ -s "$dir/watch.txt" ] && break; sleep 0.25; done
stop_host
wait "$watcher" || problem "the Windows reader failed when the host ended: $(cat "$dir/watch.txt")"
[ -e "$shm" ] && problem "the plugin left its file behind"
log | grep -q "^$line" && problem "the plugin logged a fallback: $(log)"

case_ directory
mkdir "$shm"
touch "$shm/inside"
was=$(fingerprint "$shm")
start_host --seed 5 || exit 1
expect_fallback "is not a regular file"
stop_host
[ "$(fingerprint "$shm")" = "$was" ] && [ -e "$shm/inside" ] || problem "the folder was changed"

case_ symlink
foreign="$work/foreign.bin"
head -c 151832 /dev/zero | tr '\0' 'f' >"$foreign"
ln -s "$foreign" "$shm"
was=$(fingerprint "$foreign")
start_host --seed 5 || exit 1
# Wine shows a link to a file as the file itself; the plugin sees where the
# open handle leads.
expect_fallback "is a symbolic link"
stop_host
[ "$(fingerprint "$foreign")" = "$was" ] && [ "$(readlink "$shm")" = "$foreign" ] ||
  problem "the link or its target was changed"

case_ read-only
printf 'someone else\n' >"$shm"
chmod 0444 "$shm"
was=$(fingerprint "$shm")
start_host --seed 5 || exit 1
expect_fallback "is read-only"
stop_host
[ "$(fingerprint "$shm")" = "$was" ] || problem "the read-only file was changed"

if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
  case_ foreign-owner
  printf 'not yours\n' >"$shm"
  chown nobody "$shm"
  was=$(fingerprint "$shm")
  start_host || exit 1
  expect_fallback "belongs to another user"
  stop_host
  [ "$(fingerprint "$shm")" = "$was" ] || problem "the other user's file was changed"
else
  note "SKIP: a file of another user needs root to make"
fi

case_ no-dev-shm
export KORVANEL_TEST_SHM_DIRECTORY='Q:\no\such\folder'
start_host --seed 5 || exit 1
expect_fallback "is not reachable"
stop_host
unset KORVANEL_TEST_SHM_DIRECTORY

case_ two-hosts
first_dir=$dir
start_host --seed 5 || exit 1
first_pid=$host_pid
dir="$work/two-hosts-b"
mkdir -p "$dir/Plugins/KORVANEL"
cp "$config" "$dir/Plugins/KORVANEL/korvanelconf.txt"
start_host --seed 9 || exit 1
log | grep -q "^$line" && problem "the second host fell back: $(log)"
dir=$first_dir host_pid=$first_pid
stop_host
# The second host still writes the same file.
native_json a.json && sleep 0.3 && native_json b.json ||
  problem "the native monitor lost the block when the first host ended"
[ "$(field updateCount b.json)" -gt "$(field updateCount a.json)" ] ||
  problem "nobody publishes after the first host ended"
dir="$work/two-hosts-b" host_pid=${pids[-1]}
stop_host

case_ killed
start_host --seed 5 || exit 1
# The Windows process is a child of the wine command that started it.
# The wine command becomes the Windows process, or starts it as its child.
victims="$host_pid $(cat /proc/"$host_pid"/task/*/children 2>/dev/null)"
kill -KILL $victims
wait "$host_pid" 2>/dev/null
sleep 0.5
for v in $victims; do kill -0 "$v" 2>/dev/null && problem "the killed host still runs"; done
[ -f "$shm" ] || problem "a killed host left no file to reuse"
start_host --seed 11 || exit 1
log | grep -q "^$line" && problem "the restarted host fell back: $(log)"
native_json after.json || problem "the native monitor does not find the restarted host's block"
# Scoring comes five times a second; a loaded machine can starve the host for
# a while, so give it a few seconds to count on.
published=0
for _ in $(seq 1 20); do
  sleep 0.3
  native_json again.json || continue
  [ "$(field updateCount again.json)" -gt "$(field updateCount after.json)" ] && published=1 && break
done
[ $published -eq 1 ] || problem "the restarted host does not publish into the reused file"
stop_host

[ $failed -eq 0 ] && note "Wine /dev/shm run passed"
exit $failed
