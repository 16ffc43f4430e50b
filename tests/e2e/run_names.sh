#!/usr/bin/env bash
# Names no single code page holds: a package made by `zaroza pack` from a folder of
# Japanese, accented and Korean names, with a Japanese destination, setup command and
# question, comes out with exactly those names whatever the system's code page is. The
# folder question and the replace dialog name the real folder and file. (Shift-JIS archives without a code-page header are
# run_extractor's: jlha-made/sjis_h2.lzh.)
# Extra arguments: LANG
. "$(dirname "$0")/lib.sh"
use_language "$4"
english_only_under_emulation

tree="$work/names"
stage "$tree" 表.txt="hyou" ソフト/ソ.txt="so" café.txt="cafe" 한국어.txt="hangul" セットアップ.exe=@recorder
pack "$work/package.exe" "$tree" --dest 'C:\名前\' --command 'セットアップ.exe --sleep 400' \
  --title "名前のテスト" --prompt "日本語の名前を展開しますか？" --skip-dialog --no-open-folder
target="$drive_c/名前"
rm -rf "$target" "$drive_c/record-names.txt"

# answer_question: the start-up question, in Japanese on every system; Yes.
answer_question() {
  local listing
  listing=$(driver wait "名前のテスト" "$wait_ms") || fail "no start-up question"
  [ "$(control_text "$listing" 65535)" = "日本語の名前を展開しますか？" ] || fail "question text: $listing"
  driver click "名前のテスト" 6 || fail "cannot answer Yes"
}

# wait_record: the setup program is started, not waited for; its record comes a moment later.
wait_record() {
  local deadline=$((SECONDS + 20 * factor))
  until [ -s "$drive_c/record-names.txt" ] || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
  read_record record-names.txt || fail "the setup program did not run"
}

ZAROZA_SETUP_RECORD='C:\record-names.txt' start_stub "$lang" "$work/package.exe"
answer_question
listing=$(driver wait "ZAR-OZA" "$wait_ms") || fail "no folder question"
[[ "$(control_text "$listing" 65535)" == *"'C:\名前\'"* ]] || fail "the folder question names another folder: $listing"
driver click "ZAR-OZA" 1 || fail "cannot answer OK"
finish_stub
diff -r "$tree" "$target" >/dev/null || fail "the extracted tree differs: $(diff -r "$tree" "$target" | head -5)"
[ "$(cd "$target" && find . | sort)" = "$(cd "$tree" && find . | sort)" ] ||
  fail "other names than the packed ones: $(cd "$target" && find . | sort | tr '\n' ' ')"
record=$(wait_record)
grep -qxF 'folder=C:\名前' <<<"$record" || fail "setup not started in the destination: $record"
grep -qx 'command=.*セットアップ.exe"\? --sleep 400' <<<"$record" || fail "setup command: $record"
grep -qxF 'file=한국어.txt' <<<"$record" || fail "the files beside the setup program: $record"
echo "ok: every name as packed, the Japanese question and setup command"

# Again over one file left there: the replace dialog names it as it is.
sleep 1  # the setup program of the first run ends
find "$target" -mindepth 1 ! -name 한국어.txt -delete
rm -f "$drive_c/record-names.txt"
ZAROZA_SETUP_RECORD='C:\record-names.txt' start_stub "$lang" "$work/package.exe"
answer_question
listing=$(driver wait "$cap_replace" "$wait_ms") || fail "no replace dialog"
[[ "$(control_text "$listing" 117)" == *"한국어.txt"* ]] || fail "the replace dialog names another file: $listing"
driver click "$cap_replace" 110 || fail "cannot answer Yes to all"
finish_stub
diff -r "$tree" "$target" >/dev/null || fail "after replacing, the tree differs"
wait_record >/dev/null
echo "PASS: names beyond one code page ($lang)"
