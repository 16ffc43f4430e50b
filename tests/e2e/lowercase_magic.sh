#!/usr/bin/env bash
# A block whose magic is in lower case is no block: even with variant 6 and a setup
# command there is no 64-bit test (no string-12 box): the destination dialog shows, and
# its Cancel ends the stub with exit code 1602.
. "$(dirname "$0")/lib.sh"

make_block "$work/block" "torvex" "6" "%temp%" "setup.exe"
make_package "$work/package.exe" "$work/block" "$corpus/lha_unix114i/h2_lh5.lzh"
driver absent "ZAR-OZA" $((5000 * factor)) >"$work/driver.out" 2>&1 &
driver_pid=$!
start_stub C.UTF-8 "$work/package.exe"
wait "$driver_pid" || fail "a ZAR-OZA box appeared: $(cat "$work/driver.out")"
# With the command-line settings the run may go on to the destination dialog: cancel it.
driver click "Confirm Extracting" 2 $((3000 * factor)) >/dev/null 2>&1
finish_stub 1602   # the destination dialog's Cancel
echo "PASS: lower-case magic ignored, no string-12 box, cancelled in the destination dialog"
