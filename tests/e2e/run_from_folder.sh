#!/usr/bin/env bash
# A package made by `zaroza pack FOLDER` (our own writer) extracts under Wine to the same
# tree: contents, folders, time stamps, the read-only attribute, for each method and
# header level, and (in Japanese) a name that needs code page 932.
# Extra arguments: LANG
. "$(dirname "$0")/lib.sh"
use_language "$4"
english_only_under_emulation

tree="$work/dist"
stage "$tree" setup.txt="the setup" empty.txt="" docs/guide.txt="$(seq 1 3000)" docs/deep/er/x.bin=xyz
head -c 200000 /dev/urandom >"$tree/docs/random.bin"
mkdir -p "$tree/empty folder"
[ "$lang" = ja_JP.UTF-8 ] && printf 'nihongo' >"$tree/docs/日本語.txt"
chmod a-w "$tree/docs/deep/er/x.bin"
# even seconds: levels 0 and 1 keep MS-DOS times
find "$tree" -exec touch -h -d '2021-03-04 05:06:08' {} +

# METHOD LEVEL [--best]
for row in "lh5 2" "lh6 1 --best" "lh7 0" "lh5 2 --best"; do
  read -r method level best <<<"$row"
  skip_row "$row" "$([ "$row" = "lh5 2" ] && echo 1)" && continue
  "$zaroza_tool" pack "$tree" -o "$work/package.exe" --stub "$stub" --method "$method" --level "$level" $best \
    --dest 'C:\fromfolder\' --no-confirm --skip-dialog --no-open-folder >/dev/null || fail "zaroza pack $row"
  chmod -R u+w "$drive_c/fromfolder" 2>/dev/null
  rm -rf "$drive_c/fromfolder"
  start_stub "$lang" "$work/package.exe"
  finish_stub
  diff -r "$tree" "$drive_c/fromfolder" >/dev/null || fail "$row: the extracted tree differs: $(diff -r "$tree" "$drive_c/fromfolder" | head -5)"
  [ -d "$drive_c/fromfolder/empty folder" ] || fail "$row: the empty folder is missing"
  want=$(date -d '2021-03-04 05:06:08' +%s)
  for f in setup.txt docs/guide.txt docs/deep/er/x.bin docs; do
    [ "$(mtime "$drive_c/fromfolder/$f")" = "$want" ] || fail "$row: $f has another time stamp"
  done
  [ "$(stat -c %A "$drive_c/fromfolder/docs/deep/er/x.bin" | cut -c3)" = - ] || fail "$row: read-only lost"
  echo "ok: $row"
done
chmod -R u+w "$drive_c/fromfolder" "$tree" 2>/dev/null
echo "PASS: packages packed from a folder ($lang)"
