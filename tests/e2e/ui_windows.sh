#!/usr/bin/env bash
# Every window of the user interface, opened one at a time by the UI probe (the stub's own
# window code and resources) and driven with uidriver: texts, the check box, the replace
# dialog's answers, the progress window's bar and lifetimes, the CRC-check window and a
# box of each row of the message table.
# Extra arguments: PROBE LANG (C.UTF-8 or ja_JP.UTF-8)
. "$(dirname "$0")/lib.sh"
probe=$4
lang=$5
image=ui_probe.exe
out=$work/probe.out
failures=0

check() {  # check WHAT ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then
    echo "ok: $1"
  else
    echo "FAIL: $1: '$2', expected '$3'" >&2
    failures=$((failures + 1))
  fi
}

probe_start() { start_stub "$lang" "$probe" "$@" >"$out" 2>&1; }
probe_value() { tr -d '\r' <"$out" | awk -v k="$1" 'index($0, k "=") == 1 { print substr($0, length(k) + 2); exit }'; }
window_line() { printf '%s\n' "$1" | tr -d '\r' | awk -F'\t' '$1 == "window" { print $'"$2"'; exit }'; }
send() { driver send "$@" | tr -d '\r'; }

# Texts of both languages, as the resources hold them.
if [ "$lang" = ja_JP.UTF-8 ]; then
  destination_caption="展開先の指定"
  destination_texts=("65535=展開先のフォルダを指定してください(&F):" "108=参照(&B)..." "118=書庫名でフォルダを作成(&K)" "1=OK" "2=キャンセル")
  replace_caption="ファイル上書きの確認"
  replace_question="展開先には既に 'win.ini' のファイルが存在します。"
  existing_info='1,234 バイト\n2007年05月15日 火曜日、13:40:40'
  member_info='1,234,567 バイト\n2009年09月01日 火曜日、11:20:24'
  progress_caption="進捗状況"
  progress_texts=("65535=展開中..." "2=キャンセル" "114=")
  crc_text="CRC をチェックしています..."
  str1="展開先にファイルを作成できません。"
  str2="書庫を開けません。"
  str3="対応していない書庫形式です。"
  str4="'C:\\Temp\\Fresh\\'\\n\\n展開先フォルダは存在しません。\\nフォルダを作成しますか？"
  str6='dir\odd:name\n\n不正なファイル名の展開をスキップします。'
  str7="展開先フォルダを作成できません。"
  str8='CRC チェックエラー\n\n'"'"'C:\Pkg\setup.exe'"'"'\nはファイルが改竄されたか、ファイルが破損しています。\n配布ファイルの場合にはファイルの入手元から再入手してください。'
  str12="このセットアップモジュールは Windows 64ビット用です。"
  dbcs_name="表示"
else
  destination_caption="Confirm Extracting"
  destination_texts=("65535=Please type the location where you want to place the extracted files." "108=&Browse..." "118=&Create folder as the archive name to extract" "1=&OK" "2=Cancel")
  replace_caption="Confirm File Replace"
  replace_question="'win.ini'"
  existing_info='1,234 Bytes\nModified: 05, 15, 2007,  13:40:40'
  member_info='1,234,567 Bytes\nModified: 09, 01, 2009,  11:20:24'
  progress_caption="Decompressing..."
  progress_texts=("65535=Please wait..." "2=&Cancel" "114=")
  crc_text="CRC checking..."
  str1="Cannot create a file."
  str2="Cannot open arhive."
  str3="not supported archive format."
  str4="The Folder 'C:\\Temp\\Fresh\\' does not exist.\\nDo you want to create it?"
  str6='dir\odd:name\n\ninvalid filename.(skipped)'
  str7='Cannot create a folder.\nThis archive forbids writing.'
  str8="CRC check error!"
  str12="This auto-sfx-module cannot be run in Win32."
  dbcs_name=""
fi

# --- Destination dialog: texts, the check box, OK and Cancel -----------------------------
probe_start destination 'C:\dest\' data
listing=$(driver wait "$destination_caption" "$wait_ms") || fail "no destination dialog"
for pair in "${destination_texts[@]}"; do
  check "destination control ${pair%%=*}" "$(control_text "$listing" "${pair%%=*}")" "${pair#*=}"
done
check "destination proposed" "$(control_text "$listing" 109)" 'C:\dest\'
check "destination has no owner" "$(window_line "$listing" 4)" ""
# START TICKED CLEARED: the edit text after ticking the box, then after clearing it again
box_cases=(
  'C:\dest\|C:\dest\data\|C:\dest\'
  'C:\dest|C:\dest\data\|C:\dest\'
  'C:\data\x\|C:\data\x\data\|C:\data\x\'
  'C:\data\|C:\data\data\|C:\data\'
  'C:\mydata\|C:\mydata\data\|C:\mydata\'
)
for row in "${box_cases[@]}"; do
  IFS='|' read -r start ticked cleared <<<"$row"
  driver settext "$destination_caption" 109 "$start" || fail "cannot type into the edit control"
  driver click "$destination_caption" 118 || fail "cannot press the check box"
  check "tick on $start" "$(control_text "$(driver wait "$destination_caption" 1000)" 109)" "$ticked"
  driver click "$destination_caption" 118
  check "clear on $start" "$(control_text "$(driver wait "$destination_caption" 1000)" 109)" "$cleared"
done
# clearing a box the user never ticked keeps a name earlier in the path, followed by "\"
driver settext "$destination_caption" 109 'C:\data\x'
driver click "$destination_caption" 118
driver settext "$destination_caption" 109 'C:\data\x'
driver click "$destination_caption" 118
check "clear keeps an earlier name" "$(control_text "$(driver wait "$destination_caption" 1000)" 109)" 'C:\data\x\'
driver settext "$destination_caption" 109 'D:\typed path'
driver click "$destination_caption" 1
finish_stub
check "destination OK result" "$(probe_value result)" 1
check "destination OK stores the text" "$(probe_value destination)" 'D:\typed path'

probe_start destination 'C:\dest\' data
driver wait "$destination_caption" "$wait_ms" >/dev/null || fail "no destination dialog"
driver settext "$destination_caption" 109 'D:\other'
driver click "$destination_caption" 2
finish_stub
check "destination Cancel result" "$(probe_value result)" 2
check "destination Cancel keeps the setting" "$(probe_value destination)" 'C:\dest\'

# a text longer than a path is never cut to the folder it begins with: the box leaves it
# as typed, and OK hands on a text the destination rules refuse
long_path="C:\\$(printf 'a%.0s' $(seq 1 255))\\sub"
probe_start destination 'C:\dest\' data
driver wait "$destination_caption" "$wait_ms" >/dev/null || fail "no destination dialog"
driver settext "$destination_caption" 109 "$long_path"
driver click "$destination_caption" 118
check "tick on a text longer than a path" "$(control_text "$(driver wait "$destination_caption" 1000)" 109)" "$long_path"
driver click "$destination_caption" 1
finish_stub
check "a text longer than a path is not cut" "$(probe_value destination)" "$(printf '\xff')"

if [ -n "$dbcs_name" ]; then
  # 表 ends in byte 5C in code page 932: it must not count as a separator
  probe_start destination "C:\\$dbcs_name\\" "$dbcs_name"
  driver wait "$destination_caption" "$wait_ms" >/dev/null || fail "no destination dialog"
  driver click "$destination_caption" 118
  check "tick with a double-byte name" "$(control_text "$(driver wait "$destination_caption" 1000)" 109)" "C:\\$dbcs_name\\$dbcs_name\\"
  driver click "$destination_caption" 118
  check "clear with a double-byte name" "$(control_text "$(driver wait "$destination_caption" 1000)" 109)" "C:\\$dbcs_name\\"
  driver click "$destination_caption" 1
  finish_stub
  check "double-byte destination stored" "$(probe_value destination)" "C:\\$dbcs_name\\"
fi

# --- Replace dialog: texts, icons, and each button's answer --------------------------------
# BUTTON RESULT NEWERONLY PROGRESS (button 0: the dialog's own cancel command)
replace_cases=("6 6 0 open" "7 7 0 open" "110 100 0 open" "112 6 1 open" "115 -1 0 closed" "0 -1 0 closed")
first=1
for row in "${replace_cases[@]}"; do
  read -r button result newer progress <<<"$row"
  probe_start replace 'C:\windows\win.ini' 0x36AF6D14 0x3B215A8C 1234 1234567
  listing=$(driver wait "$replace_caption" "$wait_ms") || fail "no replace dialog"
  if [ $first = 1 ]; then
    check "replace question" "$(control_text "$listing" 117)" "$replace_question"
    check "existing file info" "$(control_text "$listing" 113)" "$existing_info"
    check "archived file info" "$(control_text "$listing" 116)" "$member_info"
    check "replace dialog owner" "$(window_line "$listing" 4)" "$progress_caption"
    for icon in "105 existing" "107 archived"; do   # STM_GETICON: a handle, not 0 and not nothing
      handle=$(send "$replace_caption" "${icon% *}" 0x171 0 0) || fail "cannot ask for the ${icon#* } file icon"
      [ -n "$handle" ] && [ "$handle" != 0 ] || check "${icon#* } file icon" "'$handle'" "a handle"
    done
    first=0
  fi
  if [ "$button" = 0 ]; then
    send "$replace_caption" 0 0x111 2 0 >/dev/null   # WM_COMMAND IDCANCEL (Escape, close box)
  else
    driver click "$replace_caption" "$button" || fail "cannot press $button"
  fi
  finish_stub
  check "replace button $button answers" "$(probe_value result)" "$result"
  check "replace button $button newerOnly" "$(probe_value newerOnly)" "$newer"
  check "replace button $button progress window" "$(probe_value progress)" "$progress"
done
# an existing file that could not be opened (stamp 0) leaves its line empty
probe_start replace 'C:\windows\win.ini' 0 0x3B215A8C 0 10
listing=$(driver wait "$replace_caption" "$wait_ms") || fail "no replace dialog"
check "stamp 0 leaves the text empty" "$(control_text "$listing" 113)" ""
driver click "$replace_caption" 7
finish_stub

# --- Progress window: texts, animation, the bar, and the three ways it closes --------------
probe_start progress 10485760   # 10 MiB: the bar runs to 10240
listing=$(driver wait "$progress_caption" "$wait_ms") || fail "no progress window"
for pair in "${progress_texts[@]}"; do
  check "progress control ${pair%%=*}" "$(control_text "$listing" "${pair%%=*}")" "${pair#*=}"
done
check "animation control" "$(printf '%s\n' "$listing" | tr -d '\r' | awk -F'\t' '$1 == 1 { print $2 }')" SysAnimate32
check "bar range" "$(send "$progress_caption" 111 0x407 0 0)" 10240   # PBM_GETRANGE, high end
for pair in 0=0 4096=4096 10240=10240 99999=10240; do
  send "$progress_caption" 0 111 0 "${pair%%=*}" >/dev/null
  check "message 111 with ${pair%%=*}" "$(send "$progress_caption" 111 0x408 0 0)" "${pair#*=}"   # PBM_GETPOS
done
driver click "$progress_caption" 2
sleep 0.5
driver wait "$progress_caption" 100 >/dev/null || check "window after Cancel" gone "still open until the worker closes it"
driver gone "$progress_caption" $((10000 * factor)) || check "window after the worker stopped" open gone
finish_stub
check "Cancel status" "$(probe_value status)" 100
check "Cancel loop end" "$(probe_value loop)" ended-by-worker

probe_start progress 10485760
driver wait "$progress_caption" "$wait_ms" >/dev/null || fail "no progress window"
send "$progress_caption" 0 0x112 0xF060 0 >/dev/null   # WM_SYSCOMMAND SC_CLOSE
driver gone "$progress_caption" $((1000 * factor)) || check "window after the system-menu close" open gone
finish_stub
check "system-menu close status" "$(probe_value status)" 100
check "system-menu close ends the loop at once" "$(probe_value loop)" ended-before-worker

probe_start progress 10485760
driver wait "$progress_caption" "$wait_ms" >/dev/null || fail "no progress window"
send "$progress_caption" 0 0x10 0 0 >/dev/null   # WM_CLOSE, as the worker sends it
driver gone "$progress_caption" $((1000 * factor)) || check "window after WM_CLOSE" open gone
finish_stub
check "WM_CLOSE leaves the status" "$(probe_value status)" 0

# --- CRC-check window ------------------------------------------------------------------------
probe_start crc 1048576 524288 $((3000 * factor))
listing=$(driver wait "" "$wait_ms") || fail "no CRC-check window"
check "CRC-check text" "$(control_text "$listing" 65535)" "$crc_text"
check "CRC-check bar" "$(printf '%s\n' "$listing" | tr -d '\r' | awk -F'\t' '$1 == 111 { print $2 }')" msctls_progress32
check "CRC-check range" "$(send "" 111 0x407 0 0)" 10
check "CRC-check position" "$(send "" 111 0x408 0 0)" 5
finish_stub

# --- Message boxes: one of each row ------------------------------------------------------------
# NAME|ARGUMENT|owned|TEXT|CAPTION|FLAGS|BUTTON TO PRESS|ANSWER
message_rows=(
  "cannotCreateFile||owned|$str1|ZAR-OZA|0x10|1|1"
  "cannotOpenArchive|||$str2|ZAR-OZA|0x10|1|1"
  "notSupportedFormat|||$str3|ZAR-OZA|0x10|1|1"
  "folderQuestion|C:\\Temp\\Fresh\\||$str4|ZAR-OZA|0x21|2|2"
  "invalidFileName|dir\\odd:name||$str6|ZAR-OZA|0x30|1|1"
  "cannotCreateFolder|||$str7|ZAR-OZA|0x10|1|1"
  "crcCheckError|C:\\Pkg\\setup.exe||$str8|Warning|0x10|1|1"
  "needs64Bit|||$str12|ZAR-OZA|0x10|1|1"
  "startupQuestion|Install the tools now?||Install the tools now?|Question|0x24|7|7"
  "invalidHeader||owned|invalid header.|ZAR-OZA|0x10|1|1"
  "crcError||owned|CRC Error!|ZAR-OZA|0x10|1|1"
  "badTableA||owned|Bad table (case a)|ZAR-OZA|0x10|1|1"
  "badTableB||owned|Bad table (case b)|ZAR-OZA|0x10|1|1"
  "badTableC||owned|Bad table (case c)|ZAR-OZA|0x10|1|1"
)
if [ "$factor" -gt 1 ]; then
  # Under emulation every box costs seconds: one of each kind of row runs.
  echo "note: under emulation only the rows folderQuestion, crcCheckError, startupQuestion and crcError run"
  slice=()
  for row in "${message_rows[@]}"; do
    case "${row%%|*}" in folderQuestion|crcCheckError|startupQuestion|crcError) slice+=("$row") ;; esac
  done
  message_rows=("${slice[@]}")
fi
for row in "${message_rows[@]}"; do
  IFS='|' read -r name argument owned text caption flags button answer <<<"$row"
  if [ -n "$owned" ]; then probe_start message "$name" "$argument" owned; else probe_start message "$name" "$argument"; fi
  listing=$(driver wait "$caption" "$wait_ms") || { check "$name shows" missing "a box"; finish_stub; continue; }
  check "$name text" "$(control_text "$listing" 65535)" "$text"
  [ -n "$(control_text "$listing" 1088)$(printf '%s\n' "$listing" | awk -F'\t' '$1 == 1088')" ] ||
    check "$name icon" none shown
  if [ -n "$owned" ]; then
    check "$name owner" "$(window_line "$listing" 4)" "$progress_caption"
  else
    check "$name owner" "$(window_line "$listing" 4)" ""
  fi
  driver click "$caption" "$button" || fail "cannot press $button in $name"
  finish_stub
  check "$name flags" "$(probe_value flags)" "$flags"
  check "$name answer" "$(probe_value answer)" "$answer"
done

[ "$failures" -eq 0 ] || fail "$failures checks failed ($lang)"
echo "PASS: every window of the user interface ($lang)"
