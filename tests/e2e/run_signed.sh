#!/usr/bin/env bash
# Signed packages: osslsigncode appends a certificate table and names it in the security
# directory. The CRC-32 check stops where the table begins, so a signed package installs;
# a package changed in one archive byte and signed again warns and installs nothing.
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
    finish_stub
    [ ! -e "$drive_c/signed" ] && [ ! -e "$drive_c/record-signed.txt" ] || fail "a changed package installed"
  else
    driver absent "Warning" $((1000 * factor)) || fail "a signed package failed its check"
    finish_stub
    read_record record-signed.txt >/dev/null || fail "the signed package did not install"
  fi
  echo "ok: signed package (changed: $damaged)"
done
echo "PASS: signed packages ($lang)"
