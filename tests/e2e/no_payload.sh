#!/usr/bin/env bash
# A stub without payload ends at once with exit code 2 and shows nothing.
. "$(dirname "$0")/lib.sh"

image=bare.exe
cp "$stub" "$work/$image"
driver absent "ZAR-OZA" $((4000 * factor)) >"$work/driver.out" 2>&1 &
driver_pid=$!
start_stub C.UTF-8 "$work/$image"
finish_stub 2
wait "$driver_pid" || fail "a message box appeared: $(cat "$work/driver.out")"
echo "PASS: no payload, no window, exit code 2"
