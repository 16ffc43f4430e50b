#!/usr/bin/env bash
# The Windows tests: the unit tests of the cross tree and the end-to-end tests of the stub,
# all under Wine in one fresh prefix with a private virtual display.
# ZAROZA_REQUIRE_WIN32=1 turns "this machine cannot run Wine's 32-bit side" into a failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh

if [ ! -f build/win32/CTestTestfile.cmake ]; then
  echo "test-win32: build/win32 is not built; run make win32 first" >&2
  exit 1
fi

trap zaroza_wine_stop EXIT
t0=$(zaroza_now)
zaroza_wine_start
status=$?
if [ $status -eq 3 ]; then
  if [ "${ZAROZA_REQUIRE_WIN32:-0}" = 1 ]; then
    echo "test-win32: FAILED: Windows tests cannot run on this machine" >&2
    exit 1
  fi
  echo "test-win32: SKIPPED: the Windows tests were not run on this machine (see above)" >&2
  exit 0
fi
[ $status -eq 0 ] || exit 1

ctest --test-dir build/win32 --output-on-failure
status=$?
echo "test-win32: whole Windows run $(zaroza_since "$t0") s"
exit $status
