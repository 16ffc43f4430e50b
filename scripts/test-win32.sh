#!/usr/bin/env bash
# The Windows tests: the unit tests of the cross tree and the end-to-end tests of the stub,
# all under Wine in one fresh prefix with a private virtual display.
# Arguments go to ctest (e.g. -R e2e). ZAROZA_REQUIRE_WIN32=1 turns "this machine cannot run Wine's 32-bit side" into a failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh

if [ ! -f build/win32/CTestTestfile.cmake ]; then
  echo "test-win32: build/win32 is not built; run make win32 first" >&2
  exit 1
fi

# A kernel without 32-bit emulation cannot start Wine's 32-bit loader. With qemu's i386
# user emulator installed, run the whole test session in a private user and mount
# namespace whose own binfmt_misc hands 32-bit programs to qemu; the rest of the machine
# is not touched. Slower, but the same tests run.
if [ -z "${ZAROZA_I386_EMULATION:-}" ] && ! zaroza_wine32_possible && [ -x /usr/bin/qemu-i386-static ]; then
  echo "test-win32: 32-bit programs run through qemu-i386 in a private namespace"
  exec unshare --user --map-root-user --mount env ZAROZA_I386_EMULATION=1 ZAROZA_TIME_FACTOR=10 \
    bash "$0" "$@"
fi
if [ -n "${ZAROZA_I386_EMULATION:-}" ]; then
  zaroza_register_i386_emulation || exit 1
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

# The Windows tests carry no time limit of their own; this one stretches with emulation.
# The unit-test programs run side by side (most of their time is Wine starting up, which
# matters under emulation); the end-to-end tests run alone.
ctest --test-dir build/win32 --output-on-failure --timeout $((300 * ZAROZA_TIME_FACTOR)) -j "$(nproc)" "$@"
status=$?
# CTest keeps a passing test's output to itself: say here what emulation left out.
if [ "${ZAROZA_TIME_FACTOR:-1}" != 1 ]; then
  grep -h '^note: .*emulation' build/win32/Testing/Temporary/LastTest.log 2>/dev/null | sort -u |
    sed 's/^/test-win32: /'
  echo "test-win32: every row, slowly: ZAROZA_TIME_FACTOR=1 bash scripts/test-win32.sh -R 'run_extractor|run_from_folder|run_names|ui_windows'"
fi
echo "test-win32: whole Windows run $(zaroza_since "$t0") s"
exit $status
