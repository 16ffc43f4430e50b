#!/usr/bin/env bash
# Runs one Windows program under Wine in the test run's prefix: the CTest emulator of the
# cross tree, and the launcher of the end-to-end scripts. Never hangs: the program runs
# under `timeout` (ZAROZA_WINE_TIMEOUT seconds, 120 by default, times ZAROZA_TIME_FACTOR) and its exit code is passed
# through (124 after a time-out).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)

# Outside scripts/test-win32.sh (a ctest run by hand during a session), pick up the
# session that test-win32.sh or `source scripts/wine-env.sh; zaroza_wine_start` left.
if [ -z "${WINEPREFIX:-}" ] && [ -f "$root/build/win32/wine-session.env" ]; then
  # shellcheck disable=SC1091
  . "$root/build/win32/wine-session.env"
fi
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run: no Wine session; run scripts/test-win32.sh (make test-win32)" >&2
  exit 2
fi
# ZAROZA_DLL_OVERRIDES adds load orders a test needs (name=n,b;...).
export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree=;mshtml=${ZAROZA_DLL_OVERRIDES:+;$ZAROZA_DLL_OVERRIDES}"

if [ $# -lt 1 ]; then
  echo "usage: wine-run.sh PROGRAM.exe [ARG...]" >&2
  exit 2
fi
program=$1
shift
# Arguments that name existing native files or folders by absolute path reach the program
# as Z: paths; everything else (switches such as /E:cmd, Windows paths) passes unchanged.
args=()
for a in "$@"; do
  if [[ "$a" == /* && -e "$a" ]]; then
    a="Z:${a//\//\\}"
  fi
  args+=("$a")
done

limit=$(( ${ZAROZA_WINE_TIMEOUT:-120} * ${ZAROZA_TIME_FACTOR:-1} ))
timeout -k 5 "$limit" wine "$program" "${args[@]}"
exit $?
