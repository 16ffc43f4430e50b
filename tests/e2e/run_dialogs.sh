#!/usr/bin/env bash
# A package without a setup command, run through its dialogs: the destination dialog
# (proposal, check box, typed path), the folder question (OK, Cancel) and the replace
# dialog (Yes, No, Yes to All, Newer, Cancel over a read-only file).
# Extra arguments: LANG
. "$(dirname "$0")/lib.sh"
use_language "$4"
english_only_under_emulation

stage "$work/files" a.txt="member a" b.txt="member b" c.txt="member c"
touch -d '2020-01-01 12:00:00' "$work/files/"*
lha_archive "$work/files.lzh" "$work/files"
here=$(winpath "$work")

# answer_folder_question BUTTON PATH: the "does not exist" box names PATH; press BUTTON.
answer_folder_question() {
  local listing
  listing=$(driver wait "ZAR-OZA" "$wait_ms") || fail "no folder question"
  [[ "$(control_text "$listing" 65535)" == *"'$2'"* ]] || fail "folder question without '$2': $listing"
  driver click "ZAR-OZA" "$1" || fail "cannot press $1 in the folder question"
}

# --- destination dialog and folder question ----------------------------------------------
rm -rf "$drive_c/dlg"
pack "$work/package.exe" "$work/files.lzh" --no-open-folder
# CLICKS (check-box presses) TYPED ANSWER WHERE: where the files land (native), or -
dialog_rows=(
  "0|C:\\dlg\\typed|1|$drive_c/dlg/typed"
  "1||2|-"
  "1||1|$work/package"
)
for row in "${dialog_rows[@]}"; do
  IFS='|' read -r clicks typed answer where <<<"$row"
  start_stub "$lang" "$work/package.exe"
  listing=$(driver wait "$cap_destination" "$wait_ms") || fail "no destination dialog"
  [ "$(control_text "$listing" 109)" = "$here\\" ] || fail "proposal is not the package's folder: $listing"
  expected="$here\\"
  if [ "$clicks" = 1 ]; then
    driver click "$cap_destination" 118 || fail "cannot tick the box"
    expected="$here\\package\\"
    [ "$(control_text "$(driver wait "$cap_destination" 1000)" 109)" = "$expected" ] || fail "box did not add the name"
  fi
  if [ -n "$typed" ]; then
    driver settext "$cap_destination" 109 "$typed"
    expected="$typed\\"
  fi
  driver click "$cap_destination" 1 || fail "cannot press OK"
  answer_folder_question "$answer" "$expected"
  finish_stub "$([ "$answer" = 2 ] && echo 1602 || echo 0)"
  if [ "$where" = - ]; then
    [ ! -e "$work/package" ] || fail "Cancel in the folder question still made the folder"
  else
    [ "$(cat "$where/a.txt" 2>/dev/null)" = "member a" ] || fail "nothing extracted to $where"
  fi
  echo "ok: destination row '$row'"
done

# --- replace dialog ---------------------------------------------------------------------------
# answer_replace NAME BUTTON: the replace dialog that names NAME; press BUTTON.
answer_replace() {
  local listing deadline=$((SECONDS + 20 * factor))
  while [ $SECONDS -lt $deadline ]; do
    listing=$(driver wait "$cap_replace" "$wait_ms") || fail "no replace dialog for $1"
    if [[ "$(control_text "$listing" 117)" == *"'$1'"* ]]; then
      driver click "$cap_replace" "$2" && return 0
    fi
    sleep 0.2
  done
  fail "the replace dialog never named $1"
}

pack "$work/replace.exe" "$work/files.lzh" --dest 'C:\rep\' --skip-dialog --no-open-folder
cp "$work/replace.exe" "$work/package.exe"
# ANSWERS (NAME:BUTTON ...) | B STAMP | expected a | a read-only | b | c
replace_rows=(
  "a.txt:6 b.txt:7|2019-06-01|member a|no|old b|member c"
  "a.txt:110|2019-06-01|member a|no|member b|member c"
  "a.txt:112|2030-06-01|member a|no|old b|member c"
  "a.txt:115|2019-06-01|old a|yes|old b|"
)
for row in "${replace_rows[@]}"; do
  IFS='|' read -r answers bstamp ea ero eb ec <<<"$row"
  rm -rf "$drive_c/rep"
  mkdir -p "$drive_c/rep"
  printf 'old a' >"$drive_c/rep/a.txt"
  printf 'old b' >"$drive_c/rep/b.txt"
  touch -d '2019-06-01' "$drive_c/rep/a.txt"
  touch -d "$bstamp" "$drive_c/rep/b.txt"
  chmod a-w "$drive_c/rep/a.txt"
  start_stub "$lang" "$work/package.exe"
  for answer in $answers; do answer_replace "${answer%%:*}" "${answer#*:}"; done
  driver absent "$cap_replace" $((500 * factor)) || fail "a replace dialog more than expected ($answers)"
  finish_stub "$([[ "$answers" == *:115 ]] && echo 1602 || echo 0)"   # 115: Cancel
  [ "$(cat "$drive_c/rep/a.txt")" = "$ea" ] || fail "a.txt after '$answers': $(cat "$drive_c/rep/a.txt")"
  ro=yes
  [ "$(stat -c %A "$drive_c/rep/a.txt" | cut -c3)" = w ] && ro=no
  [ "$ro" = "$ero" ] || fail "a.txt read-only '$ro' after '$answers'"
  [ "$(cat "$drive_c/rep/b.txt")" = "$eb" ] || fail "b.txt after '$answers'"
  [ "$(cat "$drive_c/rep/c.txt" 2>/dev/null)" = "$ec" ] || fail "c.txt after '$answers'"
  echo "ok: replace row '$answers'"
done
chmod -R u+w "$drive_c/rep"
echo "PASS: destination dialog, folder question and replace dialog ($lang)"
