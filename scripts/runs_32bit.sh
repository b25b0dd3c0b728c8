#!/bin/sh
# Says whether this machine can execute 32-bit x86 programs, which the
# 32-bit Wine that runs the product DLL needs. Exit 0: it can. Exit 1: it
# cannot, and the reason is printed on standard output.
#
# The check runs a 91-byte static i386 program written here with printf, so it
# needs nothing installed. KORVANEL_32BIT=yes or =no forces the answer, so
# that both paths of the test command can be tried on either kind of machine.
set -u
case "${KORVANEL_32BIT:-}" in
  yes | 1) exit 0 ;;
  no | 0)
    echo "KORVANEL_32BIT=no says so"
    exit 1
    ;;
esac
case "$(uname -m)" in
  x86_64 | i?86) ;;
  *)
    echo "this is a $(uname -m) machine, not x86"
    exit 1
    ;;
esac

# A temporary folder can be mounted noexec; try the next one then.
for dir in "${TMPDIR:-/tmp}" /dev/shm "$(dirname "$0")/../build"; do
  mkdir -p "$dir" 2>/dev/null || continue
  probe=$(mktemp "$dir/korvanel-i386.XXXXXX" 2>/dev/null) || continue
  # ELF header, one loadable segment, then: xor ebx,ebx; mov bl,42;
  # xor eax,eax; inc eax (exit); int 0x80. Exit code 42 proves it ran.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\133\000\000\000\133\000\000\000\005\000\000\000\000\020\000\000\061\333\263\052\061\300\100\315\200' >"$probe"
  chmod 700 "$probe"
  error=$("$probe" 2>&1)
  status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ] && exit 0
  case "$error" in
    *"Permission denied"*) continue ;;
  esac
  # The shell's own message is no guide here: some shells run a file the
  # kernel refuses as a script. Say what the kernel tells of itself.
  if grep -q 'ia32_emulation=0' /proc/cmdline 2>/dev/null; then
    echo "the kernel was started with ia32_emulation=0: it runs no 32-bit x86 programs"
  else
    echo "the kernel refused a 32-bit x86 test program (exit $status): 32-bit emulation is off or missing"
  fi
  exit 1
done
echo "no folder allows running a program to test it"
exit 1
