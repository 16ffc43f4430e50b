#!/usr/bin/env bash
# zaroza extract from the command line: agreement with lhasa, time stamps and modes,
# the overwrite policies (the question on a terminal too), hostile and damaged members,
# exit status, packages.
set -u
zaroza=$1 corpus=$(cd "$2" && pwd) stub=${3:-}
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
extract() {  # extract EXPECTED-STATUS DESCRIPTION ARGS...
  local want=$1 what=$2
  shift 2
  "$zaroza" extract "$@" >"$work/out" 2>&1 </dev/null
  local got=$?
  [ "$got" -eq "$want" ] || { fail "$what: exit $got, expected $want"; cat "$work/out"; }
}

# level-0 member: NAME DATA (stored, checksum and CRC-16 computed here)
crc16() {
  local crc=0 byte k
  for byte in $(printf '%s' "$1" | od -An -v -tu1); do
    crc=$((crc ^ byte))
    for k in 1 2 3 4 5 6 7 8; do
      if ((crc & 1)); then crc=$(((crc >> 1) ^ 0xA001)); else crc=$((crc >> 1)); fi
    done
  done
  echo "$crc"
}
le() { local v=$1 n=$2 k; for ((k = 0; k < n; k++)); do printf "\\x$(printf %02x $(((v >> (8 * k)) & 255)))"; done; }
member0() {
  local name=$1 data=$2 size=${#2} crc
  crc=$(crc16 "$data")
  {
    printf -- '-lh0-'; le "$size" 4; le "$size" 4; le $((0x3A244E65)) 4; printf '\x20\x00'
    le ${#name} 1; printf '%s' "$name"; le "$crc" 2
  } >"$work/hdr"
  local sum=0 byte
  for byte in $(od -An -v -tu1 "$work/hdr"); do sum=$((sum + byte)); done
  le $(($(stat -c %s "$work/hdr"))) 1
  le $((sum % 256)) 1
  cat "$work/hdr"
  printf '%s' "$data"
}

# --- the same files as lhasa, with their stamps and modes ------------------------------
for archive in lha_unix114i/h2_subdir.lzh lha_unix114i/h0_lh5.lzh lha_x68k_213/h1_lh5.lzh lha_unix_ac/padded_h2.lzh; do
  rm -rf "$work/ours" "$work/theirs"
  mkdir -p "$work/theirs"
  extract 0 "$archive" -q -d "$work/ours" "$corpus/$archive"
  (cd "$work/theirs" && lhasa xq "$corpus/$archive" >/dev/null 2>&1)
  diff -r "$work/ours" "$work/theirs" >/dev/null || fail "$archive: files differ from lhasa's"
done
rm -rf "$work/ours"
extract 0 "level 2 stamps" -q -d "$work/ours" "$corpus/lha_unix114i/h2_subdir.lzh"
[ "$(stat -c %Y "$work/ours/subdir/subdir2/hello.txt")" = "$(date -u -d '2010-01-01 00:00:00' +%s)" ] ||
  fail "level-2 file stamp"
[ "$(stat -c %Y "$work/ours/subdir")" = "$(date -u -d '2012-04-24 19:31:19' +%s)" ] || fail "level-2 folder stamp"
extract 0 "level 0 read-only" -q -d "$work/ro" "$corpus/lh2_222/readonly.lzh"
[ "$(stat -c %Y "$work/ro/readonly.txt")" = "$(date -d '2025-06-28 12:27:42' +%s)" ] || fail "level-0 stamp (local)"
[ "$(stat -c %A "$work/ro/readonly.txt" | cut -c3)" = - ] || fail "read-only attribute not a read-only mode"

# --- overwrite policies -------------------------------------------------------------------
# POLICY | existing stamp | a.txt afterwards
archive="$corpus/lha_unix114i/h2_lh5.lzh"   # gpl-2, stamped 2010-01-01
for row in "never|2005-01-01|old" "always|2030-01-01|new" "newer|2005-01-01|new" "newer|2030-01-01|old" \
           "ask|2005-01-01|old"; do
  IFS='|' read -r policy stamp expect <<<"$row"
  rm -rf "$work/ow"
  mkdir -p "$work/ow"
  printf 'old' >"$work/ow/gpl-2"
  touch -d "$stamp" "$work/ow/gpl-2"
  extract 0 "--overwrite=$policy" -q --overwrite="$policy" -d "$work/ow" "$archive"
  got=old
  [ "$(head -c 3 "$work/ow/gpl-2")" = old ] || got=new
  [ "$got" = "$expect" ] || fail "--overwrite=$policy over a file of $stamp: $got"
done
# the question on a terminal: yes, then no
for answer in y n; do
  rm -rf "$work/ow" && mkdir -p "$work/ow" && printf 'old' >"$work/ow/gpl-2"
  printf '%s\n' "$answer" | script -qec "'$zaroza' extract -q -d '$work/ow' '$archive'" /dev/null >"$work/out" 2>&1
  grep -q "replace" "$work/out" || fail "no question on a terminal"
  got=old
  [ "$(head -c 3 "$work/ow/gpl-2")" = old ] || got=new
  [ "$got" = "$([ $answer = y ] && echo new || echo old)" ] || fail "answer $answer gave $got"
done

# --- hostile and damaged members ------------------------------------------------------------
{ member0 "..\\..\\escape.txt" "climbed"; member0 "C:\\abs.txt" "absolute"; member0 "ok.txt" "fine"; printf '\0'; } \
  >"$work/hostile.lzh"
mkdir -p "$work/h/dest"
extract 1 "hostile members" -d "$work/h/dest" "$work/hostile.lzh"
[ "$(cat "$work/h/dest/escape.txt" 2>/dev/null)" = climbed ] || fail "a climbing member is not kept inside"
[ ! -e "$work/h/escape.txt" ] && [ ! -e "$work/escape.txt" ] || fail "a member left the destination"
[ "$(cat "$work/h/dest/ok.txt" 2>/dev/null)" = fine ] || fail "the good member was not extracted"
grep -q "invalid filename" "$work/out" || fail "no line for the refused member"
grep -q "1 refused" "$work/out" || fail "summary: $(cat "$work/out")"

{ member0 "a.txt" "member a"; member0 "b.txt" "member b"; printf '\0'; } >"$work/damaged.lzh"
printf 'X' | dd of="$work/damaged.lzh" bs=1 seek=$(($(grep -abo 'member a' "$work/damaged.lzh" | cut -d: -f1) + 2)) \
  conv=notrunc status=none
mkdir -p "$work/d" && printf 'keep me' >"$work/d/a.txt"
extract 1 "damaged member" --overwrite=always -d "$work/d" "$work/damaged.lzh"
grep -q "a.txt: CRC Error!" "$work/out" || fail "no CRC error line naming the member: $(cat "$work/out")"
[ "$(cat "$work/d/a.txt")" = "keep me" ] || fail "a damaged member replaced the existing file"
[ "$(cat "$work/d/b.txt" 2>/dev/null)" = "member b" ] || fail "the member after the damaged one is missing"
[ "$(ls "$work/d" | wc -l)" = 2 ] || fail "a temporary file stayed: $(ls "$work/d")"

# a header behind a member that is neither a member nor the end: each reading command names
# its offset and fails; the member before it is still extracted
{ member0 "a.txt" "member a"; printf 'no header but more than 24 bytes'; member0 "b.txt" "member b"; printf '\0'; } \
  >"$work/badheader.lzh"
offset=$(($(grep -abo 'member a' "$work/badheader.lzh" | cut -d: -f1) + 8))
for command in list test "extract -d $work/bh"; do
  # shellcheck disable=SC2086
  "$zaroza" $command "$work/badheader.lzh" >"$work/out" 2>&1 </dev/null
  rc=$?
  [ $rc -eq 1 ] || fail "$command on a damaged header: exit $rc, expected 1"
  grep -q "damaged header at offset $offset" "$work/out" || fail "$command names no offset: $(cat "$work/out")"
done
[ "$(cat "$work/bh/a.txt" 2>/dev/null)" = "member a" ] || fail "the member before a damaged header is missing"
[ ! -e "$work/bh/b.txt" ] || fail "a member behind a damaged header was extracted"

extract 2 "no archive" -d "$work/x" "$work/h"
head -c 1000 /dev/urandom >"$work/random.bin"
extract 2 "random bytes" -d "$work/x" "$work/random.bin"
extract 2 "bad policy" --overwrite=sometimes "$archive"
ln -s loop "$work/loop"  # a path the system cannot resolve: a message, not an abort
extract 2 "destination through a link loop" -d "$work/loop/x" "$archive"
grep -q "cannot create the folder" "$work/out" || fail "no word of the folder through a link loop"
"$zaroza" pack -o "$work/loop.exe" "$work/loop/x" >"$work/out" 2>&1
rc=$?
[ $rc -eq 1 ] || [ $rc -eq 2 ] || fail "pack through a link loop: exit $rc, expected an error status"

# --- packages: the archive behind the stub, and its CRC-32 ---------------------------------
if [ -f "$stub" ]; then
  "$zaroza" pack --stub "$stub" -o "$work/pkg.exe" "$corpus/lha_unix114i/h2_subdir.lzh" >/dev/null ||
    fail "cannot pack"
  extract 0 "package" -d "$work/p1" "$work/pkg.exe"
  [ -f "$work/p1/subdir/subdir2/hello.txt" ] || fail "package not extracted"
  # its first header damaged: the scan would find the second one, so it is named as damage
  cp "$work/pkg.exe" "$work/first.exe"
  first=$(($(stat -c %s "$stub") + 512))
  printf 'X' | dd of="$work/first.exe" bs=1 seek=$((first + 3)) conv=notrunc status=none
  "$zaroza" list "$work/first.exe" >"$work/out" 2>&1 && fail "a package with a damaged first header lists clean"
  grep -q "damaged header at offset $first" "$work/out" || fail "no offset for a damaged first header: $(cat "$work/out")"
  size=$(stat -c %s "$work/pkg.exe")
  printf '\001' | dd of="$work/pkg.exe" bs=1 seek=$((size - 1)) conv=notrunc status=none
  extract 1 "damaged package" -d "$work/p2" "$work/pkg.exe"
  grep -q "the package is damaged" "$work/out" || fail "no word of the package's CRC-32"
  [ -f "$work/p2/subdir/subdir2/hello.txt" ] || fail "a damaged package is still extracted"
  # signed: the CRC-32 stops where the certificate table begins, as in the stub
  if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
    "$zaroza" pack --stub "$stub" -o "$work/unsigned.exe" "$corpus/lha_unix114i/h2_subdir.lzh" >/dev/null
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
      -subj /CN=zaroza-test >/dev/null 2>&1
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/unsigned.exe" \
      -out "$work/signed.exe" >/dev/null || fail "osslsigncode could not sign"
    extract 0 "signed package" -d "$work/p3" "$work/signed.exe"
    [ -f "$work/p3/subdir/subdir2/hello.txt" ] || fail "signed package not extracted"
    # assembled by hand (stub, block, archive), then signed: the signing tool pads with
    # zeros, which the CRC-32 in the block never saw
    python3 - "$work/unsigned.exe" "$(stat -c %s "$stub")" "$corpus/lha_unix114i/h2_subdir.lzh" "$work/hand.exe" <<'PY'
import struct, sys, zlib
package, stub_size, archive = open(sys.argv[1], 'rb').read(), int(sys.argv[2]), open(sys.argv[3], 'rb').read()
block = bytearray(package[stub_size:stub_size + 512])
struct.pack_into('<I', block, 412, zlib.crc32(archive))
open(sys.argv[4], 'wb').write(package[:stub_size] + bytes(block) + archive)
PY
    [ $(($(stat -c %s "$work/hand.exe") % 8)) -ne 0 ] || fail "the hand-made package needs no padding: nothing tested"
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/hand.exe" \
      -out "$work/hand-signed.exe" >/dev/null || fail "osslsigncode could not sign the hand-made package"
    "$zaroza" info "$work/hand-signed.exe" >"$work/out" 2>&1 || fail "info: a hand-made signed package fails its CRC-32"
    grep -q "signing tool added before the table left out" "$work/out" || fail "info does not say which end matched"
    extract 0 "hand-made signed package" -d "$work/p4" "$work/hand-signed.exe"
  else
    echo "note: osslsigncode or openssl missing; the signed package is left out"
    left_out=1
  fi
else
  echo "note: stub not built; package checks left out"
  left_out=1
fi

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
# rows left out make a skip (77 to CTest), not a pass
[ "${left_out:-0}" -eq 0 ] || { echo "SKIPPED: zaroza extract, rows left out (above)"; exit 77; }
echo "PASS: zaroza extract"
