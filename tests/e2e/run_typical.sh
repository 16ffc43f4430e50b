#!/usr/bin/env bash
# The typical run: "%temp%", a setup command with parameters, a start-up question,
# noConfirm, deleteAfterSetup and skipDestinationDialog. The question is the first window,
# the files land in the private temporary folder, the setup program runs from there with
# its parameters, and afterwards the files, their folders and the private folder are gone.
# Extra arguments: LANG
. "$(dirname "$0")/lib.sh"
use_language "$4"
english_only_under_emulation

stage "$work/files" setup.exe=@recorder readme.txt="read me" docs/guide.txt="the guide" docs/deep/x.dat=xyz
lha_archive "$work/files.lzh" "$work/files"
pack "$work/package.exe" "$work/files.lzh" --dest '%temp%' --command 'setup.exe -s --sleep 400' \
  --title "ZAR-OZA test" --prompt "Install the test files?" --no-confirm --delete-after --skip-dialog
rm -f "$drive_c/record-typical.txt"
ZAROZA_SETUP_RECORD='C:\record-typical.txt' start_stub "$lang" "$work/package.exe"

listing=$(driver wait "ZAR-OZA test" "$wait_ms") || fail "no start-up question"
[ "$(control_text "$listing" 65535)" = "Install the test files?" ] || fail "question text: $listing"
# the scan never reported the stub's own bytes, and no other window came first
driver absent "ZAR-OZA" 300 || fail "a ZAR-OZA box showed beside the question"
driver absent "$cap_destination" 0 || fail "the destination dialog showed"
driver click "ZAR-OZA test" 6 || fail "cannot answer Yes"
finish_stub

record=$(read_record record-typical.txt) || fail "the setup program did not run"
echo "$record"
temp=$(find "$drive_c/users" -maxdepth 4 -type d -name Temp | head -n1)
[ -n "$temp" ] || fail "no temporary folder in the prefix"
wintemp=$(printf '%s' "${temp#"$drive_c"}" | tr / '\\')
grep -qx "command=.*setup.exe\"\? -s --sleep 400" <<<"$record" || fail "parameters not passed"
grep -qixF "folder=C:$wintemp\\~package.exe" <<<"$record" || fail "not started in the private folder"
grep -qx "file=readme.txt" <<<"$record" || fail "the files were not beside the setup program"
[ ! -e "$temp/~package.exe" ] || fail "the private folder stayed: $(find "$temp/~package.exe")"
echo "ok: typical run"

# --- how the run ends, as the exit code -----------------------------------------------------
# No to the question: nothing extracted, cancelled
start_stub "$lang" "$work/package.exe"
driver wait "ZAR-OZA test" "$wait_ms" >/dev/null || fail "no start-up question"
driver click "ZAR-OZA test" 7 || fail "cannot answer No"
finish_stub 1602
[ ! -e "$temp/~package.exe" ] || fail "files extracted after No"
echo "ok: No to the question"

# A private folder of that name already there, with a setup.exe in it (another program's,
# or an earlier run's): a folder of the run's own is made, and only its setup.exe runs. The
# setup program waited for ends with "restart needed", which reaches the caller.
mkdir -p "$temp/~package.exe"
cp "$recorder" "$temp/~package.exe/setup.exe"
pack "$work/package.exe" "$work/files.lzh" --dest '%temp%' --command 'setup.exe --sleep 400 --exit 3010' --no-confirm \
  --delete-after --skip-dialog
rm -f "$drive_c/record-typical.txt"
ZAROZA_SETUP_RECORD='C:\record-typical.txt' start_stub "$lang" "$work/package.exe"
finish_stub 3010
record=$(read_record record-typical.txt) || fail "the setup program did not run"
grep -qixF "folder=C:$wintemp\\~package.exe.2" <<<"$record" || fail "not started in a folder of its own: $record"
[ -f "$temp/~package.exe/setup.exe" ] || fail "the folder that was there lost its file"
[ ! -e "$temp/~package.exe.2" ] || fail "the run's own folder stayed"
rm -rf "$temp/~package.exe"
echo "ok: an existing private folder is not taken over; exit code 3010 passed through"
echo "PASS: typical run ($lang)"
