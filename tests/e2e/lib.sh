# Helpers of the end-to-end tests: package assembly and running the stub and the UI driver
# under Wine. Sourced by each test script with the arguments STUB UIDRIVER CORPUS.
# shellcheck shell=bash
set -uo pipefail

stub=$1
uidriver=$2
corpus=$3
e2e_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run="$e2e_root/scripts/wine-run.sh"
work=$(mktemp -d "$(cd "$(dirname "$stub")" && pwd)/e2e.XXXXXX")
stub_pid=""
# Milliseconds the UI driver waits for a window, stretched like every other time limit.
factor=${ZAROZA_TIME_FACTOR:-1}
wait_ms=$((20000 * factor))
# File name of the package under test; the driver looks at its windows only.
image=package.exe

cleanup() {
  # The stub runs in a process group of its own: end all of it, Wine's process included.
  if [ -n "$stub_pid" ]; then kill -- "-$stub_pid" 2>/dev/null; wait "$stub_pid" 2>/dev/null; fi
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
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

# finish_stub [CODE]: waits for the stub and checks that it ended with exit code CODE (0
# when not given). Wine hands its Unix parent the low 8 bits of a Windows exit code (1602
# arrives as 66); the native run-driver tests hold the whole values.
finish_stub() {
  local rc want=${1:-0}
  wait "$stub_pid"
  rc=$?
  stub_pid=""
  [ "$rc" -ne 124 ] || fail "the stub did not end (killed after the time-out)"
  [ "$rc" -eq $((want & 255)) ] || fail "the stub ended with exit code $rc, expected $want (low 8 bits $((want & 255)))"
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

# --- Whole runs of packages -------------------------------------------------------------
zaroza_tool="$e2e_root/build/host/zaroza"
recorder="$(dirname "$stub")/recorder.exe"
drive_c="$WINEPREFIX/drive_c"

# The window captions and texts of the locale a script runs under (LANG in $1).
use_language() {
  lang=$1
  if [ "$lang" = ja_JP.UTF-8 ]; then
    cap_destination="展開先の指定" cap_replace="ファイル上書きの確認" cap_progress="進捗状況"
    text_crc_warning_start="CRC チェックエラー"
  else
    cap_destination="Confirm Extracting" cap_replace="Confirm File Replace" cap_progress="Decompressing..."
    text_crc_warning_start="CRC check error!"
  fi
}

# winpath NATIVE: the path as Wine names it (Z: drive, backslashes).
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# pack OUT ARCHIVE [zaroza pack options]: a package of the stub under test.
pack() {
  local out=$1 archive=$2
  shift 2
  "$zaroza_tool" pack --stub "$stub" -o "$out" "$@" "$archive" >/dev/null || fail "zaroza pack $* $archive"
}

# stage DIR FILE=CONTENT...: files (with folders) below DIR; a content of @recorder is the
# stand-in setup program.
stage() {
  local dir=$1 pair
  shift
  for pair in "$@"; do
    mkdir -p "$dir/$(dirname "${pair%%=*}")"
    if [ "${pair#*=}" = @recorder ]; then cp "$recorder" "$dir/${pair%%=*}"; else printf '%s' "${pair#*=}" >"$dir/${pair%%=*}"; fi
  done
}

# lha_archive OUT DIR [lha options, default a2q]: every file below DIR, paths relative to it.
lha_archive() {
  local out=$1 dir=$2 options=${3:-a2q}
  rm -f "$out"
  (cd "$dir" && lha "$options" "$out" $(ls -A)) >/dev/null || fail "lha $options $out"
}

mtime() { stat -c %Y "$1"; }

# attributes WINDOWSPATH: the attribute letters cmd's attrib prints (R, H, A ...).
attributes() {
  LANG=C.UTF-8 LC_ALL=C.UTF-8 "$wine_run" cmd /c attrib "$1" 2>/dev/null | tr -d '\r' | awk '{ print substr($0, 1, 11) }' | tr -d ' '
}

# read_record NAME: the stand-in setup program's record C:\NAME (empty when it never ran).
read_record() { [ -f "$drive_c/$1" ] && tr -d '\r' <"$drive_c/$1"; }

# Under qemu's emulation every Wine start costs seconds: scripts run only the rows marked
# representative there, and say which they left out.
emulated() { [ "$factor" -gt 1 ]; }
skip_row() {  # skip_row NAME REPRESENTATIVE(0/1): true when the row is left out
  if emulated && [ "$2" != 1 ]; then
    echo "note: left out under emulation: $1"
    return 0
  fi
  return 1
}

# start_line LANG COMMANDLINE: starts a Windows command line exactly as written (the stub's
# own parser sees every quote), in the background like start_stub.
start_line() { start_stub "$1" "$uidriver" run "$2"; }

# Under emulation the whole runs go through once, in English; the Japanese windows are
# proven there by the UI probe's tests.
english_only_under_emulation() {
  if emulated && [ "$lang" != C.UTF-8 ]; then
    echo "note: left out under emulation: $(basename "$0") in $lang"
    exit 0
  fi
}
