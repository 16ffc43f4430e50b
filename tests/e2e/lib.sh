# Helpers of the end-to-end tests: package assembly and running the stub and the UI driver
# under Wine. Sourced by each test script with the arguments STUB UIDRIVER CORPUS.
# shellcheck shell=bash
set -uo pipefail

stub=$1
uidriver=$2
corpus=$3
e2e_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run="$e2e_root/scripts/wine-run.sh"
work=$(mktemp -d "$(dirname "$stub")/e2e.XXXXXX")
stub_pid=""
# Milliseconds the UI driver waits for a window, stretched like every other time limit.
factor=${ZAROZA_TIME_FACTOR:-1}
wait_ms=$((20000 * factor))
# File name of the package under test; the driver looks at its windows only.
image=package.exe

cleanup() {
  # The stub runs in a process group of its own: end all of it, Wine's process included.
  if [ -n "$stub_pid" ]; then kill -- "-$stub_pid" 2>/dev/null; wait "$stub_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# put_text FILE OFFSET TEXT: the text's bytes at OFFSET (the block is zero-filled, so the
# text ends with a NUL as long as it is shorter than its field).
put_text() {
  printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# put_u32 FILE OFFSET VALUE: little-endian 32-bit value.
put_u32() {
  local v=$3
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $(((v >> 8) & 255)) \
    $(((v >> 16) & 255)) $(((v >> 24) & 255)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# make_block FILE MAGIC VARIANT DESTINATION COMMAND: a 512-byte configuration block with
# openFolderAfter 1 and the other flags clear.
make_block() {
  local f=$1
  head -c 512 /dev/zero >"$f"
  put_text "$f" 0 "$2"
  put_text "$f" 6 "$3"
  put_text "$f" 8 "$4"
  put_text "$f" 268 "$5"
  put_u32 "$f" 400 1
  [ "$(stat -c %s "$f")" -eq 512 ] || fail "block is not 512 bytes"
}

# make_package OUT BLOCK ARCHIVE: stub, block and archive, back to back.
make_package() {
  cat "$stub" "$2" "$3" >"$1"
  chmod +x "$1"
}

# start_stub LANG PROGRAM [ARG...]: starts the stub in the background; the Wine run gives
# up after 30 s, so a hung stub ends the test with a failure.
start_stub() {
  local lang=$1
  shift
  LANG=$lang LC_ALL=$lang ZAROZA_WINE_TIMEOUT=30 setsid "$wine_run" "$@" &
  stub_pid=$!
}

# finish_stub: waits for the stub and checks that it ended with exit code 0.
finish_stub() {
  local rc
  wait "$stub_pid"
  rc=$?
  stub_pid=""
  [ "$rc" -ne 124 ] || fail "the stub did not end (killed after the time-out)"
  [ "$rc" -eq 0 ] || fail "the stub ended with exit code $rc"
}

# driver ARG...: the UI driver, looking only at windows of the package under test
# (its file name is the stub's program name in Windows).
driver() {
  LANG=C.UTF-8 LC_ALL=C.UTF-8 ZAROZA_WINE_TIMEOUT=40 "$wine_run" "$uidriver" -p "$image" "$@"
}

# control_text LISTING ID: the text of control ID in a `uidriver wait` listing.
control_text() {
  printf '%s\n' "$1" | tr -d '\r' | awk -F'\t' -v id="$2" '$1 == id { print $3; exit }'
}
