#!/usr/bin/env bash
# The stub imports system libraries only: a library that Windows finds beside the package
# first would be loaded before any of the stub's own code runs.
# Arguments: STUB
stub=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
names=$("$objdump" -p "$stub" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
[ -n "$names" ] || { echo "FAIL: no imports read from $stub"; exit 1; }
status=0
for name in $names; do
  case "$name" in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | shell32.dll | ole32.dll | advapi32.dll | msvcrt.dll) ;;
    *) echo "FAIL: the stub imports $name"; status=1 ;;
  esac
done
echo "imports: $(echo $names)"
[ $status -eq 0 ] && echo "PASS: system libraries only"
exit $status
