#!/bin/bash
# Whole snapshots: the plugin under a host running flat out with 150 cars
# while several display programs copy the whole block in a loop, one try per
# copy. Over all copies (KORVANEL_SNAPSHOT_COPIES, default one million), no
# copy that the read protocol calls whole may be torn, and some copies must
# be torn (what a reader without the protocol takes), or the test proves
# nothing.
#
# usage: concurrency_snapshot_test.sh HOST PLUGIN READER CONFIG [RUNNER]
# RUNNER is "wine" for the Windows build.
# KORVANEL_SNAPSHOT_NEED_TORN=0: a run too short to be sure of a torn copy.
set -u
host=$1 plugin=$2 reader=$3 config=$4 runner=${5:-}
total=${KORVANEL_SNAPSHOT_COPIES:-1000000}
need_torn=${KORVANEL_SNAPSHOT_NEED_TORN:-1}
readers=3
limit=150  # seconds a reader copies at most

work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-snapshot.XXXXXX")
suffix=".snapshot.$$"
host_pid=""
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  rm -rf "$work"
  # The host is killed, not shut down, so its block stays in /dev/shm (as a
  # crashed host's does, for the next one to take over).
  rm -f "/dev/shm/\$Quorvex2KORVANEL\$$suffix"
}
trap cleanup EXIT
cd "$work" || exit 1
mkdir -p Plugins/KORVANEL
cp "$config" Plugins/KORVANEL/korvanelconf.txt
export KORVANEL_NAME_SUFFIX=$suffix
export WINEDEBUG=-all
plugin_path=$plugin
[ -n "$runner" ] && plugin_path="Z:${plugin//\//\\}"

$runner "$host" "$plugin_path" --fast --quiet --seed 77 --cars 150 --session-length 86400 \
  >host.out 2>&1 &
host_pid=$!
# The readers start once the host publishes: Wine processes that all start
# together race for the Wine server as it comes up, and one may lose.
for _ in $(seq 1 120); do [ -e "/dev/shm/\$Quorvex2KORVANEL\$$suffix" ] && break; sleep 0.25; done
pids=""
for i in $(seq 1 $readers); do
  $runner "$reader" $((total / readers + 1)) $limit >reader$i.out 2>&1 &
  pids="$pids $!"
done
failed=0
for p in $pids; do wait "$p" || failed=1; done
kill "$host_pid" 2>/dev/null
wait "$host_pid" 2>/dev/null
host_pid=""

sum() { cat reader*.out | tr -d '\r' | sed -n "s/^$1=//p" | awk '{ s += $1 } END { print s + 0 }'; }
copies=$(sum copies) judged=$(sum judged) whole=$(sum whole) torn=$(sum torn)
accepted=$(sum accepted_torn)
cat reader*.out | tr -d '\r' | grep -v '=' | sort | uniq -c
echo "copies $copies (judged $judged), whole $whole, torn $torn, torn but called whole $accepted"
[ $failed -eq 0 ] || { echo "FAIL: a reader failed"; cat reader*.out host.out; }
if [ "$copies" -lt "$total" ]; then echo "FAIL: only $copies copies"; failed=1; fi
if [ "$accepted" -ne 0 ]; then echo "FAIL: the protocol called torn copies whole"; failed=1; fi
if [ "$torn" -eq 0 ] && [ "$need_torn" = 1 ]; then echo "FAIL: no torn copy at all: the test cannot tell"; failed=1; fi
if [ "$whole" -lt $((copies / 100)) ]; then echo "FAIL: fewer than 1% of copies whole"; failed=1; fi
if [ $failed -eq 0 ]; then
  echo "1 passed, 0 failed"
  exit 0
fi
echo "0 passed, 1 failed"
exit 1
