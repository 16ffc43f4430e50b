#!/usr/bin/env bash
# A stub without payload ends at once with exit code 0 and shows nothing.
. "$(dirname "$0")/lib.sh"

cp "$stub" "$work/bare.exe"
driver absent "ZAR-OZA" 4000 >"$work/driver.out" 2>&1 &
driver_pid=$!
start_stub C.UTF-8 "$work/bare.exe"
finish_stub
wait "$driver_pid" || fail "a message box appeared: $(cat "$work/driver.out")"
echo "PASS: no payload, no window, exit code 0"
