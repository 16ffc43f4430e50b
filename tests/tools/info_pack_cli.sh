#!/usr/bin/env bash
# zaroza info / pack from the command line, on packages made with the real stub.
set -u
zaroza=$1 corpus=$2 stub=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() {  # expected-status description command...
  local want=$1 what=$2; shift 2
  "$@" >"$work/out" 2>&1
  local got=$?
  [ "$got" -eq "$want" ] || { fail "$what: exit $got, expected $want"; cat "$work/out"; }
}
expect_text() {  # description text
  grep -qF -- "$2" "$work/out" || { fail "$1: no '$2' in output"; cat "$work/out"; }
}

expect_status 0 "--help" "$zaroza" --help
expect_text "--help" "info"
expect_status 0 "info --help" "$zaroza" info --help
expect_text "info --help" "usage: zaroza info"
expect_status 2 "info without file" "$zaroza" info
expect_status 2 "unknown command" "$zaroza" frobnicate
expect_status 1 "info on a missing file" "$zaroza" info "$work/missing.exe"
expect_status 1 "info on a plain archive" "$zaroza" info "$corpus/lha_unix114i/h2_lh5.lzh"
expect_text "info on a plain archive" "not a self-extracting file"

if [ ! -f "$stub" ]; then
  echo "stub not built ($stub); package checks skipped"
  exit 77
fi
archive="$corpus/lha_unix114i/h2_lh5.lzh"

expect_status 1 "info on the bare stub" "$zaroza" info "$stub"
expect_text "bare stub" "no payload"

expect_status 0 "pack" "$zaroza" pack --stub "$stub" -o "$work/pkg.exe" --dest '%temp%' --command setup.exe \
  --delete-after --no-confirm --skip-dialog --no-open-folder --title "Demo" --prompt "$(printf '\xe5\xb1\x95\xe9\x96\x8b\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x99\xe3\x81\x8b')" "$archive"
expect_status 0 "info on a package" "$zaroza" info "$work/pkg.exe"
expect_text "package" "configuration block: valid"
expect_text "package" "payload offset:    $(stat -c %s "$stub")"
expect_text "package" 'destinationPath:       "%temp%"'
expect_text "package" 'setupCommand:          "setup.exe"'
expect_text "package" "deleteAfterSetup:      1"
expect_text "package" "openFolderAfter:       0"
expect_text "package" "$(printf 'promptText:            "\xe5\xb1\x95\xe9\x96\x8b\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x99\xe3\x81\x8b" (UTF-8)')"
expect_text "package" "matches archiveCrc32"

# texts no single code page holds ("×" and Japanese) go in as UTF-8 behind the mark
expect_status 0 "pack mixed texts" "$zaroza" pack --stub "$stub" -o "$work/mixed.exe" \
  --dest "$(printf 'C:\\Tools\xc3\x97')" --prompt "$(printf '\xe5\xb1\x95\xe9\x96\x8b')" "$archive"
expect_status 0 "info on mixed texts" "$zaroza" info "$work/mixed.exe"
expect_text "mixed texts" "$(printf 'destinationPath:       "C:\\Tools\xc3\x97" (UTF-8)')"
expect_text "mixed texts" "$(printf 'promptText:            "\xe5\xb1\x95\xe9\x96\x8b" (UTF-8)')"
# --codepage writes the texts unmarked, for the stubs of old; what it cannot hold is refused
expect_status 0 "pack --codepage 932" "$zaroza" pack --stub "$stub" -o "$work/cp932.exe" --codepage 932 \
  --prompt "$(printf '\xe5\xb1\x95\xe9\x96\x8b')" "$archive"
expect_status 0 "info on --codepage 932" "$zaroza" info "$work/cp932.exe"
expect_text "--codepage 932" "text code page:        932"
grep -qxF "$(printf '  promptText:            "\xe5\xb1\x95\xe9\x96\x8b"')" "$work/out" ||
  fail "--codepage 932: the prompt is not shown as an unmarked text"
expect_status 2 "pack --codepage 932 with an e-acute" "$zaroza" pack --stub "$stub" -o "$work/z.exe" --codepage 932 \
  --dest "$(printf 'C:\\Caf\xc3\xa9')" --prompt "$(printf '\xe5\xb1\x95\xe9\x96\x8b')" "$archive"
# a text that is not UTF-8 would reach the stub as an empty one (a setup command that never runs)
expect_status 2 "pack a command that is not UTF-8" "$zaroza" pack --stub "$stub" -o "$work/z.exe" \
  --command "$(printf 'inst\xe9.exe')" "$archive"
expect_text "command that is not UTF-8" "not valid UTF-8"

# one flipped byte in the archive part
cp "$work/pkg.exe" "$work/bad.exe"
size=$(stat -c %s "$work/bad.exe")
printf '\x55' | dd of="$work/bad.exe" bs=1 seek=$((size - 20)) conv=notrunc status=none
expect_status 1 "info on a damaged package" "$zaroza" info "$work/bad.exe"
expect_text "damaged package" "DIFFERS"

expect_status 0 "pack lower-case magic" "$zaroza" pack --stub "$stub" -o "$work/lower.exe" --magic torvex "$archive"
expect_status 1 "info on lower-case magic" "$zaroza" info "$work/lower.exe"
expect_text "lower-case magic" "not valid"

expect_status 2 "pack with a command too long" "$zaroza" pack --stub "$stub" -o "$work/x.exe" \
  --command "$(printf 'x%.0s' $(seq 1 200))" "$archive"
expect_status 1 "pack onto a packed stub" "$zaroza" pack --stub "$work/pkg.exe" -o "$work/y.exe" "$archive"

# what the stub could not extract is never packed
head -c 1000 /dev/urandom >"$work/random.bin"
expect_status 1 "pack random bytes" "$zaroza" pack --stub "$stub" -o "$work/r.exe" "$work/random.bin"
expect_text "pack random bytes" "not an LHA archive"
[ ! -e "$work/r.exe" ] || fail "pack random bytes: a package was written"
cp "$corpus/lha_unix114i/h0_lh0.lzh" "$work/damaged.lzh"
printf 'X' | dd of="$work/damaged.lzh" bs=1 seek=100 conv=notrunc status=none
expect_status 1 "pack a damaged archive" "$zaroza" pack --stub "$stub" -o "$work/d.exe" "$work/damaged.lzh"
expect_text "pack a damaged archive" "does not extract (CRC-16"
{ head -c -1 "$corpus/lha_unix114i/h0_lh0.lzh"; printf 'more than 24 bytes of no header at all'; } >"$work/badheader.lzh"
expect_status 1 "pack an archive with a damaged header" "$zaroza" pack --stub "$stub" -o "$work/d.exe" "$work/badheader.lzh"
expect_text "pack an archive with a damaged header" "damaged header at offset"
# the stub seeks with 32-bit offsets: a package of 2 GiB or more is refused before anything is read
truncate -s 2147483000 "$work/huge.lzh"
expect_status 1 "pack 2 GiB" "$zaroza" pack --no-check --stub "$stub" -o "$work/huge.exe" "$work/huge.lzh"
expect_text "pack 2 GiB" "up to 2 GiB"
[ ! -e "$work/huge.exe" ] || fail "pack 2 GiB: a package was written"
rm -f "$work/huge.lzh"
# a stored member whose header claims a byte more than it holds: the stub counts it damaged
python3 - "$corpus/lha_unix114i/h0_lh0.lzh" "$work/long.lzh" <<'PY'
import struct, sys
a = bytearray(open(sys.argv[1], 'rb').read())
size = struct.unpack_from('<I', a, 11)[0]
struct.pack_into('<I', a, 11, size + 1)
a[1] = sum(a[2:2 + a[0]]) & 0xFF
open(sys.argv[2], 'wb').write(a)
PY
expect_status 1 "pack a stored member of the wrong length" "$zaroza" pack --stub "$stub" -o "$work/l.exe" "$work/long.lzh"
expect_text "pack a stored member of the wrong length" "bytes, expected"
[ ! -e "$work/d.exe" ] || fail "pack a damaged archive: a package was written"
# files and folders: the archive is written here; a folder stands for what it holds
mkdir -p "$work/dist/docs"
printf 'guide' >"$work/dist/docs/guide.txt"
printf 'setup' >"$work/dist/setup.exe"
# names in code page 932 and in UTF-8, each with its code page in the header
mkdir -p "$work/dist/ソフト"
for name in 表.txt ソフト/ソ.txt café.txt 한국어.txt; do printf '%s' "$name" >"$work/dist/$name"; done
expect_status 0 "pack a folder" "$zaroza" pack --stub "$stub" -o "$work/f.exe" --command setup.exe \
  --prompt "日本語の名前" "$work/dist"
expect_status 0 "list the folder's package" "$zaroza" list "$work/f.exe"
expect_text "folder's package" " setup.exe"
expect_text "folder's package" "docs\guide.txt"
# other LHA readers open the package as an archive and check every member
expect_status 0 "lhasa t on a package" lhasa t "$work/f.exe"
expect_text "lhasa t on a package" "docs/guide.txt	- Tested"
expect_text "lhasa t on a package" "setup.exe	- Tested"
[ "$(grep -c -- '- Tested' "$work/out")" = 6 ] || fail "lhasa t on a package: not 6 members tested"
expect_status 0 "7z t on a package" 7z t "$work/f.exe"
expect_text "7z t on a package" "Files: 6"
# packed again into the folder itself: the package written before is not taken in
for run in 1 2; do
  expect_status 0 "pack into the folder, run $run" "$zaroza" pack --stub "$stub" -o "$work/dist/setup-pkg.exe" "$work/dist"
  expect_status 0 "list the package in the folder" "$zaroza" list "$work/dist/setup-pkg.exe"
  ! grep -q "setup-pkg.exe" "$work/out" || fail "the package took in the one written before"
done
expect_status 1 "one plain file is taken for an archive" "$zaroza" pack --stub "$stub" -o "$work/g.exe" "$work/dist/setup.exe"
expect_text "plain file" "add --files"
expect_status 0 "--files packs it" "$zaroza" pack --stub "$stub" -o "$work/g.exe" --files "$work/dist/setup.exe"
expect_status 2 "--method with an archive" "$zaroza" pack --stub "$stub" -o "$work/h.exe" --method lh7 "$archive"
expect_status 1 "a missing file among the paths" "$zaroza" pack --stub "$stub" -o "$work/i.exe" "$work/dist" "$work/nothing"
[ ! -e "$work/i.exe" ] || fail "a failed pack left a package behind"
[ -z "$(ls "$work" | grep partial)" ] || fail "a temporary file stayed"

# a package is a multiple of 8 bytes long, so signing adds no padding the CRC-32 would see
[ $(( $(stat -c %s "$work/pkg.exe") % 8 )) -eq 0 ] || fail "package length not a multiple of 8"

# ended by a signal while it writes, neither the writer nor pack leaves a file behind
mkdir -p "$work/slow" "$work/signalled"
seq 1 8000000 >"$work/slow/numbers.txt"   # --best takes seconds on it, not half of one
for tool in archive "pack --stub $stub"; do
  # shellcheck disable=SC2086
  "$zaroza" $tool --best -o "$work/signalled/out" "$work/slow" >/dev/null 2>&1 &
  sleep 0.5
  kill -TERM $! 2>/dev/null
  wait $! 2>/dev/null
  rc=$?
  [ $rc -eq 143 ] || fail "$tool ended ($rc) before the signal, so nothing was tried"
  [ -z "$(ls -A "$work/signalled")" ] || fail "$tool left a file behind when signalled: $(ls -A "$work/signalled")"
done
echo "$(( failures == 0 ? 1 : 0 )) passed, $failures failed"
[ "$failures" -eq 0 ]
