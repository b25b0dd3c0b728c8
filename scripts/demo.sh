#!/bin/sh
# The main job: the plugin driven by the substitute host, shown by the
# monitor.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
if [ -x tools/demo.sh ]; then
  exec tools/demo.sh "$@"
fi
# Until the substitute host exists: build the DLL and drive it as the host does.
export WINEDEBUG=-all
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target host_abi_test
ctest --preset win32 -R host_abi_test
