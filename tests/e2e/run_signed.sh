#!/usr/bin/env bash
# Signed packages: osslsigncode appends a certificate table and names it in the security
# directory. The CRC-32 check stops where the table begins, so a signed package installs;
# a package changed in one archive byte and signed again warns and installs nothing; a
# package assembled by hand and signed afterwards installs.
# Extra arguments: LANG
. "$(dirname "$0")/lib.sh"
use_language "$4"
english_only_under_emulation
command -v osslsigncode >/dev/null && command -v openssl >/dev/null || fail "osslsigncode or openssl missing (make deps)"

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj /CN=zaroza-test >/dev/null 2>&1 || fail "no throwaway certificate"
stage "$work/files" setup.exe=@recorder readme.txt="read me"
lha_archive "$work/files.lzh" "$work/files"
pack "$work/unsigned.exe" "$work/files.lzh" --dest 'C:\signed\' --command setup.exe --no-confirm --skip-dialog

# DAMAGED | installs
for damaged in no yes; do
  cp "$work/unsigned.exe" "$work/work.exe"
  if [ $damaged = yes ]; then
    offset=$(grep -abo "read me" "$work/work.exe" | tail -n1 | cut -d: -f1)
    [ -n "$offset" ] || offset=$(($(stat -c %s "$work/work.exe") - 8))
    printf 'X' | dd of="$work/work.exe" bs=1 seek="$offset" conv=notrunc status=none
  fi
  rm -f "$work/package.exe"
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/work.exe" -out "$work/package.exe" \
    >/dev/null || fail "osslsigncode could not sign"
  info=$("$zaroza_tool" info "$work/package.exe")  # exit 1 for the changed one: its CRC-32 differs
  grep -q "^signed: *yes" <<<"$info" || fail "zaroza info does not see the signature: $info"
  rm -rf "$drive_c/signed" "$drive_c/record-signed.txt"
  ZAROZA_SETUP_RECORD='C:\record-signed.txt' start_stub "$lang" "$work/package.exe"
  if [ $damaged = yes ]; then
    listing=$(driver wait "Warning" "$wait_ms") || fail "no warning for a changed, re-signed package"
    [[ "$(control_text "$listing" 65535)" == "$text_crc_warning_start"* ]] || fail "warning text: $listing"
    driver click "Warning" 1
    finish_stub 1603
    [ ! -e "$drive_c/signed" ] && [ ! -e "$drive_c/record-signed.txt" ] || fail "a changed package installed"
  else
    driver absent "Warning" $((1000 * factor)) || fail "a signed package failed its check"
    finish_stub
    read_record record-signed.txt >/dev/null || fail "the signed package did not install"
  fi
  echo "ok: signed package (changed: $damaged)"
done

# Assembled by hand (cat stub block archive), then signed: the signing tool pads the file
# to 8 bytes before its table, zeros the block's CRC-32 never saw. It still installs.
for size in 1 2 3 4 5 6 7 8; do   # an archive that leaves the package short of 8 bytes
  stage "$work/hand" setup.exe=@recorder pad.txt="$(head -c "$size" /dev/zero | tr '\0' x)"
  lha_archive "$work/hand.lzh" "$work/hand"
  [ $(( ($(stat -c %s "$stub") + 512 + $(stat -c %s "$work/hand.lzh")) % 8 )) -ne 0 ] && break
done
make_block "$work/block" TORVEX 3 'C:\handmade\' setup.exe
put_u32 "$work/block" 396 1   # noConfirm
put_u32 "$work/block" 408 1   # skipDestinationDialog
put_u32 "$work/block" 412 "$(python3 -c 'import sys, zlib; print(zlib.crc32(open(sys.argv[1], "rb").read()))' "$work/hand.lzh")"
make_package "$work/hand.exe" "$work/block" "$work/hand.lzh"
[ $(($(stat -c %s "$work/hand.exe") % 8)) -ne 0 ] || fail "the hand-made package needs no padding: nothing tested"
rm -f "$work/package.exe"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/hand.exe" -out "$work/package.exe" \
  >/dev/null || fail "osslsigncode could not sign the hand-made package"
"$zaroza_tool" info "$work/package.exe" | grep -q "zero bytes the signing tool added" ||
  fail "the signing tool added no zero bytes: nothing tested"
rm -rf "$drive_c/handmade" "$drive_c/record-hand.txt"
ZAROZA_SETUP_RECORD='C:\record-hand.txt' start_stub "$lang" "$work/package.exe"
driver absent "Warning" $((1000 * factor)) || fail "a hand-made signed package failed its check"
finish_stub
read_record record-hand.txt >/dev/null || fail "the hand-made signed package did not install"
echo "ok: assembled by hand, then signed"
echo "PASS: signed packages ($lang)"
