#!/bin/sh
# Runs a 64-bit Windows program under 64-bit Wine without going through
# Debian's `wine` wrapper, which prefers the 32-bit loader when it is
# installed (and that loader cannot start on a kernel without 32-bit support).
for loader in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 /usr/bin/wine64; do
  if [ -x "$loader" ]; then
    WINELOADER=$loader exec "$loader" "$@"
  fi
done
echo "wine64.sh: 64-bit Wine is not installed (Debian package wine64)" >&2
exit 127
