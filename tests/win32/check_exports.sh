#!/bin/sh
# The DLL is built for the machine it claims (i386 for the product), exports
# exactly the host's five functions and the eight getters under their plain
# names, and imports nothing but system DLLs. Needs no Wine: it reads the file.
#   check_exports.sh DLL [OBJDUMP] [FORMAT]   (defaults: i686's, pei-i386)
set -eu
dll="$1"
objdump=${2:-i686-w64-mingw32-objdump}
format=${3:-pei-i386}
header=$("$objdump" -f "$dll")
case "$header" in
  *"file format $format"*) echo "machine type as expected: $format" ;;
  *) echo "not a $format file:"; printf '%s\n' "$header"; exit 1 ;;
esac
dump=$("$objdump" -p "$dll")
expected="CreatePluginObject DestroyPluginObject GetABSOLUTESectorTimes GetCriticalSection
GetPluginName GetPluginType GetPluginVersion GetQuorvexState GetScoringInfoV2
GetTelemetryInfoV2 GetTime GetTimeTable TrackLoaded"
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ' | sed 's/ $//')
want=$(printf '%s\n' $expected | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$want" ]; then
  echo "exports differ:"; echo " got:  $exports"; echo " want: $want"; exit 1
fi
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dllname in $imports; do
  case "$dllname" in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ntdll.dll|api-ms-win-*) ;;
    *) echo "imports a non-system DLL: $dllname"; exit 1 ;;
  esac
done
echo "exports and imports as expected"
# The version resource lets users and installers tell which build they have.
if ! strings -el "$dll" | grep -q "Korvanel telemetry plugin"; then
  echo "no version resource with the file description"; exit 1
fi
echo "version resource present"
