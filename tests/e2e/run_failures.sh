#!/usr/bin/env bash
# Runs that go wrong: a member with a wrong CRC-16 over an existing file, a package whose
# CRC-32 does not match (with and without a setup command), a damaged header behind a
# member, Cancel in the progress window, and a write that falls short (a file-size limit on
# the Wine process).
# Extra arguments: LANG
. "$(dirname "$0")/lib.sh"
use_language "$4"
english_only_under_emulation

# only_files DIR NAME...: DIR holds exactly these files (no temporary file stayed).
only_files() {
  local dir=$1 found
  shift
  found=$(cd "$dir" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
  want=""
  [ $# -eq 0 ] || want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  [ "$found" = "$want" ] || fail "files in $dir: '$found', expected '$want'"
}

# --- CRC-16 error over an existing file -------------------------------------------------
# The other members are extracted; the setup program among them is not started.
stage "$work/crc" a.txt="$(printf 'member a %.0s' {1..50})" b.txt="member b" setup.exe=@recorder
lha_archive "$work/crc.lzh" "$work/crc" a2zq   # stored, so one changed byte is a CRC error
offset=$(grep -abo 'member a member' "$work/crc.lzh" | head -n1 | cut -d: -f1)
printf 'X' | dd of="$work/crc.lzh" bs=1 seek=$((offset + 3)) conv=notrunc status=none
pack "$work/package.exe" "$work/crc.lzh" --dest 'C:\crc\' --command setup.exe --no-confirm --skip-dialog --no-crc \
  --no-check  # the damaged member is the point
rm -rf "$drive_c/crc" "$drive_c/record-crc.txt"
mkdir -p "$drive_c/crc"
printf 'the user file' >"$drive_c/crc/a.txt"
chmod a-w "$drive_c/crc/a.txt"
touch -d '2015-05-05 10:00:00' "$drive_c/crc/a.txt"
before=$(mtime "$drive_c/crc/a.txt")
ZAROZA_SETUP_RECORD='C:\record-crc.txt' start_stub "$lang" "$work/package.exe"
listing=$(driver wait "ZAR-OZA" "$wait_ms") || fail "no CRC error box"
[ "$(control_text "$listing" 65535)" = "CRC Error!" ] || fail "box text: $listing"
[ "$(printf '%s\n' "$listing" | tr -d '\r' | awk -F'\t' '$1 == "window" { print $4 }')" = "$cap_progress" ] ||
  fail "the CRC error box is not owned by the progress window"
driver click "ZAR-OZA" 1
finish_stub 1603
[ ! -e "$drive_c/record-crc.txt" ] || fail "the setup command ran after a member failed"
[ "$(cat "$drive_c/crc/a.txt")" = "the user file" ] || fail "the existing file changed"
[ "$(mtime "$drive_c/crc/a.txt")" = "$before" ] || fail "the existing file's time changed"
[ "$(stat -c %A "$drive_c/crc/a.txt" | cut -c3)" = - ] || fail "the existing file lost its read-only attribute"
[ "$(cat "$drive_c/crc/b.txt" 2>/dev/null)" = "member b" ] || fail "the next member was not extracted"
only_files "$drive_c/crc" a.txt b.txt setup.exe
chmod -R u+w "$drive_c/crc"
echo "ok: CRC-16 error over an existing file, nothing started"

# --- CRC-32 mismatch ----------------------------------------------------------------------
stage "$work/c32" setup.exe=@recorder readme.txt="read me"
lha_archive "$work/c32.lzh" "$work/c32"
# COMMAND | files extracted afterwards
for command in "setup.exe" ""; do
  rm -rf "$drive_c/c32" "$drive_c/record-c32.txt"
  if [ -n "$command" ]; then
    pack "$work/package.exe" "$work/c32.lzh" --dest 'C:\c32\' --command "$command" --no-confirm --skip-dialog
  else
    pack "$work/package.exe" "$work/c32.lzh" --dest 'C:\c32\' --no-confirm --skip-dialog --no-open-folder
  fi
  size=$(stat -c %s "$work/package.exe")
  printf '\001' | dd of="$work/package.exe" bs=1 seek=$((size - 1)) conv=notrunc status=none   # the end mark
  ZAROZA_SETUP_RECORD='C:\record-c32.txt' start_stub "$lang" "$work/package.exe"
  listing=$(driver wait "Warning" "$wait_ms") || fail "no CRC-32 warning"
  [[ "$(control_text "$listing" 65535)" == "$text_crc_warning_start"* ]] || fail "warning text: $listing"
  driver click "Warning" 1
  finish_stub "$([ -n "$command" ] && echo 1603 || echo 0)"
  if [ -n "$command" ]; then
    [ ! -e "$drive_c/c32" ] || fail "a package with a setup command extracted after the warning"
  else
    [ "$(cat "$drive_c/c32/readme.txt" 2>/dev/null)" = "read me" ] || fail "plain extraction did not go on"
  fi
  [ ! -e "$drive_c/record-c32.txt" ] || fail "the setup command ran after the warning"
  echo "ok: CRC-32 mismatch (command '$command')"
done

# --- a damaged header behind a member -------------------------------------------------------
# The members before it are written, "invalid header." shows once, and the setup program
# that was extracted does not run: the archive was not read whole.
stage "$work/hdr" a.txt="member a" setup.exe=@recorder z.txt="member z"
lha_archive "$work/hdr.lzh" "$work/hdr" a2zq
third=$(grep -abo -- '-lh0-' "$work/hdr.lzh" | sed -n 3p | cut -d: -f1)
printf '\007' | dd of="$work/hdr.lzh" bs=1 seek=$((third - 2 + 20)) conv=notrunc status=none   # level 7
pack "$work/package.exe" "$work/hdr.lzh" --dest 'C:\hdr\' --command setup.exe --delete-after --no-confirm \
  --skip-dialog --no-check
rm -rf "$drive_c/hdr" "$drive_c/record-hdr.txt"
ZAROZA_SETUP_RECORD='C:\record-hdr.txt' start_stub "$lang" "$work/package.exe"
listing=$(driver wait "ZAR-OZA" "$wait_ms") || fail "no box for the damaged header"
[ "$(control_text "$listing" 65535)" = "invalid header." ] || fail "box text: $listing"
driver click "ZAR-OZA" 1
driver absent "ZAR-OZA" 300 || fail "a second box after the damaged header"
finish_stub 1603
[ ! -e "$drive_c/record-hdr.txt" ] || fail "the setup command ran after a damaged header"
only_files "$drive_c/hdr" a.txt setup.exe
echo "ok: damaged header behind a member"

# --- Cancel in the progress window --------------------------------------------------------
# The replace dialog holds the worker while the progress window's Cancel is pressed, so
# the cancel always lands before the member is written.
stage "$work/cancel" a.txt="member a" b.txt="member b" setup.exe=@recorder
lha_archive "$work/cancel.lzh" "$work/cancel"
pack "$work/package.exe" "$work/cancel.lzh" --dest 'C:\cancel\' --command setup.exe --skip-dialog
rm -rf "$drive_c/cancel" "$drive_c/record-cancel.txt"
mkdir -p "$drive_c/cancel"
printf 'old a' >"$drive_c/cancel/a.txt"
ZAROZA_SETUP_RECORD='C:\record-cancel.txt' start_stub "$lang" "$work/package.exe"
driver wait "$cap_replace" "$wait_ms" >/dev/null || fail "no replace dialog"
driver click "$cap_progress" 2 || fail "cannot press Cancel in the progress window"
driver click "$cap_replace" 6
finish_stub 1602
[ "$(cat "$drive_c/cancel/a.txt")" = "old a" ] || fail "a.txt changed after Cancel"
only_files "$drive_c/cancel" a.txt
[ ! -e "$drive_c/record-cancel.txt" ] || fail "the setup command ran after Cancel"
echo "ok: Cancel in the progress window"

# --- a short write ------------------------------------------------------------------------
head -c 3000000 /dev/zero | tr '\0' 'z' >"$work/big.bin"
stage "$work/short" small.txt="after the big one"
cp "$work/big.bin" "$work/short/big.bin"
lha_archive "$work/short.lzh" "$work/short"
pack "$work/package.exe" "$work/short.lzh" --dest 'C:\short\' --no-confirm --skip-dialog --no-open-folder
for existing in no yes; do
  rm -rf "$drive_c/short"
  mkdir -p "$drive_c/short"
  [ $existing = yes ] && printf 'old big' >"$drive_c/short/big.bin"
  # 1 MiB per file: the 3 MB member cannot be written whole
  (trap '' XFSZ; ulimit -f 1024; LANG=$lang LC_ALL=$lang ZAROZA_WINE_TIMEOUT=30 "$wine_run" "$work/package.exe")
  rc=$?
  [ $rc -eq $((1603 & 255)) ] || fail "the stub ended with $rc after a short write, expected 1603 (low 8 bits)"
  if [ $existing = yes ]; then
    [ "$(cat "$drive_c/short/big.bin")" = "old big" ] || fail "the existing file changed after a short write"
    only_files "$drive_c/short" big.bin
  else
    only_files "$drive_c/short"
  fi
  echo "ok: short write (existing file: $existing)"
done
echo "PASS: failing runs ($lang)"
