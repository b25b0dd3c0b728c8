#!/usr/bin/env bash
# Bad input to the host and the monitor: usage errors exit 2, a plugin that
# does not load or lacks an export is named, a cut-off or foreign recording
# is refused, a monitor without the block says the host is not running, and
# one that finds something else under the block's name says what it found.
#   tools_bad_input.sh HOST MONITOR PLUGIN PARTIAL_PLUGIN [RUNNER]
set -u
host=$1 monitor=$2 plugin=$3 partial=$4 runner=${5:-}
export WINEDEBUG=-all
export KORVANEL_NAME_SUFFIX=".bad$$x$RANDOM"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-bad.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir -p Plugins/KORVANEL
failed=0

native() {
  local p
  p=$(realpath -m "$1")
  if [ -n "$runner" ]; then p="Z:${p//\//\\}"; fi
  printf '%s' "$p"
}

# expect CODE TEXT -- command...: exit code CODE and TEXT in its output.
expect() {
  local code=$1 text=$2
  shift 3
  local out rc
  out=$($runner "$@" 2>&1)
  rc=$?
  if [ $rc -ne "$code" ] || ! grep -qF -- "$text" <<<"$out"; then
    printf 'FAIL: %s\n  wanted exit %s and "%s", got exit %s:\n%s\n' "$*" "$code" "$text" "$rc" "$out"
    failed=1
  else
    printf 'ok: %s -> %s\n' "${*:2}" "$code"
  fi
}

p=$(native "$plugin")
expect 2 "--cars" -- "$host" "$p" --cars 0
expect 2 "--speed" -- "$host" "$p" --speed fast
expect 2 "--bogus" -- "$host" "$p" --bogus
expect 2 "--player" -- "$host" "$p" --cars 5 --player 5
expect 2 "excludes" -- "$host" "$p" --replay whole.krec --summary s.json
expect 2 "plugin is required" -- "$host"
expect 2 "excludes" -- "$host" "$p" --fast --speed 3
expect 1 "$(basename "$plugin").missing" -- "$host" "$(native "$plugin.missing")" --fast
expect 1 "does not export DestroyPluginObject" -- "$host" "$(native "$partial")" --fast

# A short recording to damage.
$runner "$host" "$p" --fast --quiet --cars 3 --track-length 500 --laps 1 --record whole.krec ||
  { echo "FAIL: could not record"; failed=1; }
size=$(stat -c %s whole.krec)
head -c $((size / 2)) whole.krec >cut.krec
head -c $((size - 1)) whole.krec >short.krec
printf 'no recording here\n' >foreign.krec
expect 4 "truncated" -- "$host" "$p" --replay cut.krec
expect 4 "truncated" -- "$host" "$p" --replay short.krec
expect 4 "not a Korvanel recording" -- "$host" "$p" --replay foreign.krec
expect 3 "cannot open" -- "$host" "$p" --replay nothing.krec
# A refused recording never reaches the plugin: no log was started.
[ -e Plugins/KORVANEL/KORVANEL.log.txt ] && rm Plugins/KORVANEL/KORVANEL.log.txt
expect 4 "truncated" -- "$host" "$p" --replay cut.krec
if [ -e Plugins/KORVANEL/KORVANEL.log.txt ]; then
  echo "FAIL: a refused recording still drove the plugin"
  failed=1
fi

expect 2 "host with the Korvanel plugin is not running" -- "$monitor" --json
# Something else under the block's name (Linux: a file in /dev/shm) is
# refused by name of what it is, and no command is written into it.
if [ -z "$runner" ] && [ -d /dev/shm ]; then
  spoof="/dev/shm/\$Quorvex2KORVANEL\$$KORVANEL_NAME_SUFFIX"
  mkfifo "$spoof"
  expect 2 "not a shared-memory file" -- timeout 10 "$monitor" --json
  rm -f "$spoof"
  head -c 4096 /dev/zero >"$spoof"
  expect 1 "smaller than the block" -- "$monitor" --check
  rm -f "$spoof"
  if [ "$(id -u)" = 0 ]; then
    head -c 151832 /dev/zero >"$spoof"
    chown 65534 "$spoof" && chmod 666 "$spoof"
    expect 2 "belongs to another user" -- "$monitor" --class-row 3
    if [ "$(od -An -tu1 -j $((127480 + 42)) -N1 "$spoof" | tr -d ' ')" != 0 ]; then
      echo "FAIL: the monitor wrote a command into another user's block"
      failed=1
    fi
    rm -f "$spoof"
  fi
fi
expect 2 "--kers" -- "$monitor" --kers maybe
expect 2 "--class-row" -- "$monitor" --class-row 300

exit $failed
