#!/usr/bin/env bash
# Screenshots of every window of the user interface in English and Japanese, taken under
# Xvfb from the UI probe (the stub's own window code and resources) into
# build/screenshots/*.png. usage: scripts/screenshots.sh   (make screenshots)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
probe=build/win32/ui_probe.exe
driver=build/win32/uidriver.exe
out=build/screenshots
[ -f "$probe" ] && [ -f "$driver" ] || { echo "screenshots: run make win32 first" >&2; exit 1; }
command -v import >/dev/null || { echo "screenshots: ImageMagick's import is missing (make deps)" >&2; exit 1; }
trap zaroza_wine_stop EXIT
zaroza_wine_start || { echo "screenshots: Wine cannot run here" >&2; exit 1; }
mkdir -p "$out"
rm -f "$out"/*.png
factor=$ZAROZA_TIME_FACTOR
run=scripts/wine-run.sh
status=0

drive() { LANG=C.UTF-8 LC_ALL=C.UTF-8 "$run" "$driver" -p ui_probe.exe "$@"; }

# shoot FILE CAPTION: the window's rectangle cut out of the screen.
shoot() {
  local rect
  rect=$(drive rect "$2" | tr -d '\r') || { echo "screenshots: no window '$2'" >&2; status=1; return; }
  set -- "$1" $rect
  import -display "$DISPLAY" -window root -crop "${4}x${5}+${2}+${3}" +repage "$1"
  echo "  $1"
}

# capture LANG NAME CAPTION CLOSE_ID PROBE_ARGS...: start the probe, wait for the window,
# take it, press CLOSE_ID (or send it WM_CLOSE when 0).
capture() {
  local lang=$1 name=$2 caption=$3 close=$4 pid
  shift 4
  LANG=$lang LC_ALL=$lang "$run" "$probe" "$@" >/dev/null 2>&1 &
  pid=$!
  if drive wait "$caption" $((20000 * factor)) >/dev/null; then
    sleep 0.5  # let the animation and the shell icons paint
    shoot "$out/$lang_tag-$name.png" "$caption"
    if [ "$close" = 0 ]; then drive send "$caption" 0 16 0 0 >/dev/null; else drive click "$caption" "$close"; fi
  else
    echo "screenshots: '$caption' did not show ($lang)" >&2
    status=1
  fi
  wait "$pid"
}

# English and Japanese captions of the same windows.
for lang in C.UTF-8 ja_JP.UTF-8; do
  if [ "$lang" = C.UTF-8 ]; then
    lang_tag=english
    destination="Confirm Extracting" replace="Confirm File Replace" progress="Decompressing..."
  else
    lang_tag=japanese
    destination="展開先の指定" replace="ファイル上書きの確認" progress="進捗状況"
  fi
  echo "screenshots: $lang_tag"
  capture "$lang" destination "$destination" 2 destination 'C:\windows\' setup
  capture "$lang" replace "$replace" 7 replace 'C:\windows\win.ini' 0x36AF6D14 0x3B215A8C 1234 1234567
  # progress window at 40 % of a 10 MiB archive; Cancel, then the stand-in worker closes it
  LANG=$lang LC_ALL=$lang "$run" "$probe" progress 10485760 >/dev/null 2>&1 &
  pid=$!
  if drive wait "$progress" $((20000 * factor)) >/dev/null; then
    drive send "$progress" 0 111 0 4096 >/dev/null
    sleep 0.5
    shoot "$out/$lang_tag-progress.png" "$progress"
    drive click "$progress" 2
  else
    echo "screenshots: '$progress' did not show ($lang)" >&2
    status=1
  fi
  wait "$pid"
  capture "$lang" crc-check "" 0 crc 1048576 524288 $((4000 * factor))
  capture "$lang" folder-question "ZAR-OZA" 2 message folderQuestion 'C:\Program Files\Example\'
  capture "$lang" crc-warning "Warning" 1 message crcCheckError 'C:\Downloads\setup.exe'
  LANG=$lang LC_ALL=$lang "$run" "$probe" browse 'C:\windows\' >/dev/null 2>&1 &
  pid=$!
  sleep $((3 * factor))
  # the browser's own caption comes from the system; take whichever window the probe shows
  for caption in "Browse for Folder" "フォルダの参照" "フォルダーの参照"; do
    if drive wait "$caption" 1000 >/dev/null 2>&1; then
      shoot "$out/$lang_tag-folder-browser.png" "$caption"
      drive click "$caption" 2
      break
    fi
  done
  wait "$pid"
done
count=$(find "$out" -name '*.png' | wc -l)
echo "screenshots: $count pictures in $out"
exit $status
