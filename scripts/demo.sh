#!/usr/bin/env bash
# The main job on a bundled sample: a package packed in one command from samples/hello, a generated data
# file and a tiny setup program (built from tests/e2e/setup_recorder.cpp with mingw),
# started under Wine through its whole run: start-up question (answered by the UI
# driver), progress window (screenshot), setup program, clean-up.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
zaroza=build/host/zaroza
stub=build/win32/zaroza-sfx.exe
driver=build/win32/uidriver.exe
demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo/payload"

step() { printf '\n== %s\n' "$*"; }

step "the files of the package: samples/hello, a data file and setup.exe"
cp -r samples/hello/. "$demo/payload/"
cp build/win32/recorder.exe "$demo/payload/setup.exe"
mkdir -p "$demo/payload/data"
# about 50 MB of text, so the progress window stays long enough to be seen
awk 'BEGIN { srand(7); split("archive header member decoder dictionary position length block table code tree bits stream window offset literal match huffman extract folder setup install progress the of and to in is", w, " "); n = length(w); for (i = 1; i <= 700000; i++) { line = ""; k = 5 + int(rand() * 10); for (j = 0; j < k; j++) line = line w[1 + int(rand() * n)] " "; printf "%06d %s%d\n", i, line, int(rand() * 100000) } }' \
  >"$demo/payload/data/sample.txt"
(cd "$demo/payload" && find . -type f | sort | sed 's|^\./|  |')

step "pack the folder: $zaroza pack (our own LHA writer, -lh5-, header level 2)"
"$zaroza" pack --stub "$stub" -o "$demo/zaroza-demo.exe" --dest '%temp%' \
  --command 'setup.exe --from-the-demo --sleep 2000' --title 'ZAR-OZA demo' \
  --prompt 'Install the ZAR-OZA demo files?' --no-confirm --delete-after --skip-dialog "$demo/payload"

step "inspect it: $zaroza info / list / test"
"$zaroza" info "$demo/zaroza-demo.exe"
"$zaroza" list "$demo/zaroza-demo.exe"
"$zaroza" test "$demo/zaroza-demo.exe"

step "start the package under Wine (32-bit prefix, virtual display)"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
trap zaroza_wine_stop EXIT
if ! zaroza_wine_start; then
  echo "demo: Wine cannot run here; the package above is ready to copy to a Windows machine"
  exit 0
fi
factor=$ZAROZA_TIME_FACTOR
drive() { LANG=C.UTF-8 LC_ALL=C.UTF-8 scripts/wine-run.sh "$driver" -p zaroza-demo.exe "$@"; }
record="$WINEPREFIX/drive_c/demo-setup-record.txt"
rm -f "$record"
set +e
ZAROZA_SETUP_RECORD='C:\demo-setup-record.txt' ZAROZA_WINE_TIMEOUT=300 scripts/wine-run.sh "$demo/zaroza-demo.exe" &
package=$!
if drive wait "ZAR-OZA demo" $((30000 * factor)) >"$demo/question.txt"; then
  echo "start-up question: $(awk -F'\t' '$1 == 65535 { print $3 }' "$demo/question.txt" | tr -d '\r')  -> Yes"
  drive click "ZAR-OZA demo" 6
else
  echo "demo: the start-up question did not show"
fi
shot="$demo/progress-window.png"
if drive wait "Decompressing..." $((30000 * factor)) >/dev/null; then
  set -- $(drive rect "Decompressing..." | tr -d '\r')
  [ $# -eq 4 ] && import -display "$DISPLAY" -window root -crop "${3}x${4}+${1}+${2}" +repage "$shot" 2>/dev/null
fi
# while the setup program runs, the files are in the private temporary folder
temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -name Temp | head -n1)
for _ in $(seq 1 $((100 * factor))); do [ -f "$record" ] && break; sleep 0.1; done
step "extracted into the private folder (listed while the setup program runs)"
(cd "$temp/~zaroza-demo.exe" 2>/dev/null && find . -type f | sort | sed 's|^\./|  |') || echo "  (already gone)"
wait "$package"
rc=$?
set -e
step "what the setup program recorded"
if [ -f "$record" ]; then tr -d '\r' <"$record" | sed 's/^/  /'; else echo "  (it did not run)"; fi
step "after the run"
echo "package exit code: $rc"
if [ -e "$temp/~zaroza-demo.exe" ]; then
  echo "the private folder is still there: $temp/~zaroza-demo.exe"
  exit 1
fi
echo "clean-up: every extracted file, the emptied folders and the private folder are gone"
if [ -s "$shot" ]; then
  echo "screenshot of the progress window: $shot"
else
  echo "screenshot of the progress window: not taken (the window closed too quickly)"
fi
