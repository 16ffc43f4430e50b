#!/usr/bin/env bash
# The stub as a plain extractor of an archive named on its command line (/H /O /N, a
# quoted destination, /E: with a setup command, a missing archive), an INF setup command
# through rundll32 of the system folder, time stamps and attributes of files and folders
# from header levels 0 to 2, and a library or an explorer.exe planted beside a package.
# Extra arguments: LANG
. "$(dirname "$0")/lib.sh"
use_language "$4"
english_only_under_emulation

mkdir -p "$work/x"
cp "$stub" "$work/x/package.exe"
stage "$work/files" a.txt="member a" sub/b.txt="member b" setup.exe=@recorder
lha_archive "$work/x/data.lzh" "$work/files"
archive=$(winpath "$work/x/data.lzh")

# --- plain extractor --------------------------------------------------------------------
start_stub "$lang" "$work/x/package.exe" /N "$archive"
listing=$(driver wait "$cap_destination" "$wait_ms") || fail "no destination dialog for a named archive"
[ "$(control_text "$listing" 109)" = "$(winpath "$work/x")\\" ] || fail "proposal: $listing"
driver click "$cap_destination" 118
[ "$(control_text "$(driver wait "$cap_destination" 1000)" 109)" = "$(winpath "$work/x")\\data\\" ] ||
  fail "the check box did not add the archive's name"
driver click "$cap_destination" 1
driver click "ZAR-OZA" 1 || fail "no folder question for the new folder"
finish_stub
[ "$(cat "$work/x/data/sub/b.txt" 2>/dev/null)" = "member b" ] || fail "not extracted beside the archive"
echo "ok: /N ARCHIVE with the dialog"

rm -rf "$drive_c/xdest" "$drive_c/edest" "$drive_c/record-e.txt"
program=$(winpath "$work/x/package.exe")
start_line "$lang" "\"$program\" /H /O /N \"$archive\" \"C:\\xdest\\\""
driver absent "$cap_destination" 300 || fail "/H showed the dialog"
finish_stub
[ "$(cat "$drive_c/xdest/a.txt" 2>/dev/null)" = "member a" ] || fail "quoted destination not used"
echo "ok: /H /O /N \"ARCHIVE\" \"DESTINATION\""

ZAROZA_SETUP_RECORD='C:\record-e.txt' start_line "$lang" \
  "\"$program\" /E:\"setup.exe --from-the-command-line\" /H /O \"$archive\" \"C:\\edest\\\""
finish_stub
record=$(read_record record-e.txt) || fail "/E: did not run the setup command"
grep -qiF "folder=C:\\edest" <<<"$record" || fail "setup command not run in the destination: $record"
grep -qF -- "--from-the-command-line" <<<"$record" || fail "parameters lost: $record"
echo "ok: /E: with a setup command"

# an archive named by a relative path, started in its folder: that folder is the default
# destination (no text differs between the languages: English only)
if [ "$lang" = C.UTF-8 ]; then
  rm -rf "$work/rel" && mkdir -p "$work/rel" && cp "$work/x/data.lzh" "$work/rel/"
  cd "$work/rel"
  start_stub "$lang" "$work/x/package.exe" /H /O /N data.lzh
  finish_stub
  cd - >/dev/null
  [ "$(cat "$work/rel/sub/b.txt" 2>/dev/null)" = "member b" ] || fail "a relative archive path was not extracted beside it"
  echo "ok: /H /O /N RELATIVE-ARCHIVE"
fi

# another package named on the command line: read from behind its stub, so no bytes of
# the stub are taken for a header. Its stub (never run) gets a candidate with a wrong
# checksum, as an older stub held: read, it would show a box, and /H /O would wait for it.
rm -rf "$drive_c/pdest"
pack "$work/x/other.exe" "$work/x/data.lzh" --dest 'C:\elsewhere\' --command setup.exe
{ printf '\040\000-lh5-'; head -c 30 /dev/zero; } | dd of="$work/x/other.exe" bs=1 seek=1024 conv=notrunc status=none
start_line "$lang" "\"$program\" /H /O /N \"$(winpath "$work/x/other.exe")\" \"C:\\pdest\\\""
finish_stub
[ "$(cat "$drive_c/pdest/sub/b.txt" 2>/dev/null)" = "member b" ] || fail "another package not extracted"
echo "ok: /H /O /N \"PACKAGE\" \"DESTINATION\""

start_stub "$lang" "$work/x/package.exe" "$(winpath "$work/x")\\missing.lzh"
driver absent "ZAR-OZA" 500 || fail "a missing archive showed a box"
finish_stub 2
echo "ok: missing archive ends silently"

# --- INF setup command --------------------------------------------------------------------
# The folder has a blank, so only the short path reaches the setup library whole; a fake
# rundll32.exe in the package and beside it must never run.
if ! skip_row "INF setup command" 1; then
  mkdir -p "$work/inf"
  printf '[Version]\r\nSignature="$CHICAGO$"\r\n\r\n[DefaultInstall]\r\nAddReg=Zaroza.AddReg\r\n\r\n[Zaroza.AddReg]\r\nHKCU,"Software\\ZarozaTest","Installed",,"yes"\r\n' \
    >"$work/inf/driver.inf"
  cp "$recorder" "$work/inf/rundll32.exe"
  lha_archive "$work/inf.lzh" "$work/inf"
  mkdir -p "$work/infpkg"
  cp "$recorder" "$work/infpkg/rundll32.exe"
  pack "$work/infpkg/package.exe" "$work/inf.lzh" --dest 'C:\inf dest\' --command driver.inf --no-confirm --skip-dialog
  rm -rf "$drive_c/inf dest" "$drive_c/record-rundll.txt"
  LANG=C.UTF-8 "$wine_run" reg delete 'HKCU\Software\ZarozaTest' /f >/dev/null 2>&1
  ZAROZA_SETUP_RECORD='C:\record-rundll.txt' start_stub "$lang" "$work/infpkg/package.exe"
  finish_stub
  # the stub waited for rundll32, so the value is there when it has ended
  LANG=C.UTF-8 "$wine_run" reg query 'HKCU\Software\ZarozaTest' /v Installed 2>/dev/null | grep -q yes ||
    fail "the INF was not installed"
  [ ! -e "$drive_c/record-rundll.txt" ] || fail "a rundll32.exe outside the system folder ran"
  echo "ok: INF setup command"
fi

# --- time stamps and attributes -------------------------------------------------------------
# ARCHIVE | PATH | EXPECTED TIME (date -d) | attrib letters
stamp_rows=(
  "lha_unix114i/h2_subdir.lzh|subdir|2012-04-24 19:31:19 UTC|"
  "lha_unix114i/h2_subdir.lzh|subdir/subdir2/hello.txt|2010-01-01 00:00:00 UTC|A"
  "lha_unix114i/h1_subdir.lzh|subdir|2012-04-24 20:31:18|"
  "lha_unix114i/h1_subdir.lzh|subdir/subdir2/hello.txt|2010-01-01 00:00:00|A"
  "lh2_222/readonly.lzh|readonly.txt|2025-06-28 12:27:42|AR"
  "hidden|readonly.txt|2025-06-28 12:27:42|AHR"
)
# the level-0 read-only member with the hidden bit set too (checksum mended)
cp "$corpus/lh2_222/readonly.lzh" "$work/hidden.lzh"
sum=$(od -An -tu1 -j1 -N1 "$work/hidden.lzh" | tr -d ' ')
printf "$(printf '\\x%02x' $(((sum + 2) % 256)))" | dd of="$work/hidden.lzh" bs=1 seek=1 conv=notrunc status=none
printf '\x23' | dd of="$work/hidden.lzh" bs=1 seek=19 conv=notrunc status=none
for row in "${stamp_rows[@]}"; do
  IFS='|' read -r source path when letters <<<"$row"
  [ "$source" = hidden ] && file="$work/hidden.lzh" || file="$corpus/$source"
  pack "$work/stamps.exe" "$file" --dest 'C:\stamps\' --no-confirm --skip-dialog --no-open-folder
  cp "$work/stamps.exe" "$work/package.exe"
  chmod -R u+w "$drive_c/stamps" 2>/dev/null
  rm -rf "$drive_c/stamps"
  start_stub "$lang" "$work/package.exe"
  finish_stub
  [ -e "$drive_c/stamps/$path" ] || fail "$source: $path not extracted"
  [ "$(mtime "$drive_c/stamps/$path")" = "$(date -d "$when" +%s)" ] ||
    fail "$source: $path has $(date -d "@$(mtime "$drive_c/stamps/$path")"), expected $when"
  if [ -n "$letters" ]; then
    got=$(attributes "C:\\stamps\\${path//\//\\}")
    [ "$got" = "$letters" ] || fail "$source: $path attributes '$got', expected '$letters'"
  fi
  echo "ok: $source $path"
done
chmod -R u+w "$drive_c/stamps" 2>/dev/null

# --- every method, through the stub -------------------------------------------------------
# The files the stub writes are the ones lhasa writes from the same archive; lhasa reads no
# -lh3-, and there, and for Shift-JIS names, our own tool run natively is the reference.
codepage=$([ "$lang" = ja_JP.UTF-8 ] && echo 932 || echo 1252)
for row in lharc113/lh1.lzh:lhasa lharc113/long.lzh:lhasa larc333/lz4.lzs:lhasa larc333/lz5.lzs:lhasa \
           larc333/initial.lzs:lhasa generated/lzs/long.lzs:lhasa lha_unix114i/h2_lh6.lzh:lhasa \
           lha_unix114i/h2_lh7.lzh:lhasa lha_amiga_122/lh4.lzh:lhasa jlha-made/lh3_h1.lzh:zaroza \
           jlha-made/sjis_h2.lzh:zaroza lha_unix_ac/padded_h2.lzh:lhasa; do
  source=${row%%:*} reference=${row#*:}
  [ -f "$corpus/$source" ] || fail "corpus archive $source missing"
  skip_row "$source" "$([ "$source" = larc333/lz5.lzs ] || [ "$source" = lha_unix_ac/padded_h2.lzh ] && echo 1)" &&
    continue
  pack "$work/methods.exe" "$corpus/$source" --dest 'C:\methods\' --no-confirm --skip-dialog --no-open-folder
  cp "$work/methods.exe" "$work/package.exe"
  rm -rf "$drive_c/methods" "$work/reference"
  mkdir -p "$work/reference"
  start_stub "$lang" "$work/package.exe"
  finish_stub
  if [ "$reference" = lhasa ]; then
    (cd "$work/reference" && lhasa xq "$corpus/$source" >/dev/null 2>&1)
  else
    "$zaroza_tool" extract -q --codepage "$codepage" -d "$work/reference" "$corpus/$source" >/dev/null 2>&1 ||
      fail "$source: zaroza extract failed"
  fi
  # lhasa writes MS-DOS names in lower case; Windows keeps the stored case
  theirs=$(cd "$work/reference" && find . -type f | sort -f)
  [ -n "$theirs" ] || fail "$source: the reference wrote nothing"
  [ "$(printf '%s\n' "$theirs" | wc -l)" = "$(cd "$drive_c/methods" && find . -type f | wc -l)" ] ||
    fail "$source: the stub wrote other files than $reference"
  while IFS= read -r f; do
    ours=$(cd "$drive_c/methods" && find . -type f -ipath "$f" | head -n1)
    [ -n "$ours" ] && cmp -s "$work/reference/$f" "$drive_c/methods/$ours" || fail "$source: $f differs from $reference's"
  done <<<"$theirs"
  echo "ok: $source"
done

# --- a library planted beside the package ---------------------------------------------------
# Wine prefers its own libraries; told to prefer a program's (as Windows does for names
# that are not known system libraries), the control program loads the planted one.
mkdir -p "$work/plant"
cp "$(dirname "$stub")/planted/msvfw32.dll" "$(dirname "$stub")/load_by_name.exe" "$work/plant/"
pack "$work/plant/package.exe" "$work/x/data.lzh" --dest 'C:\plant\' --no-confirm --skip-dialog --no-open-folder
export ZAROZA_DLL_OVERRIDES="msvfw32=n,b"
rm -f "$drive_c/planted-marker.txt"
LANG=C.UTF-8 "$wine_run" "$work/plant/load_by_name.exe" msvfw32.dll || fail "the control could not load the library"
[ -e "$drive_c/planted-marker.txt" ] || fail "control: the planted library was not loaded, so this test cannot fail"
rm -f "$drive_c/planted-marker.txt"
start_stub "$lang" "$work/plant/package.exe"
finish_stub
[ -e "$drive_c/plant/a.txt" ] || fail "the package did not run"
[ ! -e "$drive_c/planted-marker.txt" ] || fail "the package loaded the planted library"
unset ZAROZA_DLL_OVERRIDES

# ... and an explorer.exe beside a package that opens its folder: the control, starting a
# bare "explorer" through the shell from there, runs the planted one; the package must not.
cp "$recorder" "$work/plant/explorer.exe"
# a comma and a blank in the folder's name: explorer gets it quoted, or it would take the
# comma for a switch separator (Windows) or stop at the blank (Wine)
pack "$work/plant/view.exe" "$work/x/data.lzh" --dest 'C:\viewed, now\' --no-confirm --skip-dialog
rm -f "$drive_c/record-explorer.txt"
cd "$work/plant"
ZAROZA_SETUP_RECORD='C:\record-explorer.txt' LANG=C.UTF-8 "$wine_run" load_by_name.exe --shell explorer 'C:\'
sleep 1
[ -e "$drive_c/record-explorer.txt" ] || fail "control: the planted explorer.exe did not run, so this test cannot fail"
rm -f "$drive_c/record-explorer.txt"
ZAROZA_SETUP_RECORD='C:\record-explorer.txt' start_stub "$lang" "$work/plant/view.exe"
finish_stub
cd - >/dev/null
[ -e "$drive_c/viewed, now/a.txt" ] || fail "the folder-view package did not run"
sleep 1
[ ! -e "$drive_c/record-explorer.txt" ] || fail "the package started the explorer.exe beside it"
LANG=C.UTF-8 ZAROZA_WINE_TIMEOUT=40 "$wine_run" "$uidriver" -p explorer.exe wait "viewed, now" $((10000 * factor)) >/dev/null ||
  fail "the system's explorer did not open the destination"
LANG=C.UTF-8 ZAROZA_WINE_TIMEOUT=40 "$wine_run" "$uidriver" -p explorer.exe send "viewed, now" 0 16 0 0 >/dev/null
echo "PASS: plain extractor, INF, stamps and attributes, planted library and explorer ($lang)"
