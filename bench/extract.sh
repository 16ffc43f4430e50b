#!/usr/bin/env bash
# Extraction benchmark: a package (skip-dialog, no-confirm, no setup command) of the 64 MiB
# mixed corpus and one of the installer corpus (each a -lh5- archive by jlha's `lha`),
# extracted to disk by the stub under Wine, natively by `zaroza extract`, and by `lhasa x`
# and `7z x` on the same archive, all in one run (hyperfine, median). The bare stub (no
# payload: Wine's own start-up and the stub's, nothing extracted) is timed in the same run
# and taken off the stub's time. Prints MB/s of extracted output and the ratios that
# matter: stub less start-up / zaroza extract (aim 1.30 or less), and zaroza extract / each
# peer (below 1.0 is faster). usage: bench/extract.sh   (RUNS=N, default 5; CORPUS=installer
# or CORPUS=mixed for one of them)
set -euo pipefail
# shellcheck source=bench/corpus.sh
source "$(dirname "$0")/corpus.sh"
bench_paths 5
need_tools lha lhasa 7z hyperfine python3
stub=$root/build/win32/zaroza-sfx.exe
corpus=${CORPUS:-both}
[ -f "$stub" ] || { echo "bench: build the Windows tree first (make win32)"; exit 1; }
mkdir -p "$out"
cd "$out"

# shellcheck source=scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
# as scripts/test-win32.sh: without 32-bit support, through qemu in a namespace of its own
if [ -z "${ZAROZA_I386_EMULATION:-}" ] && ! zaroza_wine32_possible && [ -x /usr/bin/qemu-i386-static ]; then
  exec unshare --user --map-root-user --mount env ZAROZA_I386_EMULATION=1 ZAROZA_TIME_FACTOR=10 bash "$0" "$@"
fi
if [ -n "${ZAROZA_I386_EMULATION:-}" ]; then
  zaroza_register_i386_emulation || exit 1
fi
trap zaroza_wine_stop EXIT
zaroza_wine_start || { echo "bench: Wine cannot run here"; exit 1; }
run="$root/scripts/wine-run.sh"
[ "${ZAROZA_TIME_FACTOR:-1}" = 1 ] ||
  echo "bench: note: Wine's 32-bit side runs under CPU emulation here; the stub's ratio says nothing"

# bench_package NAME ARCHIVE DATADIR TOTAL: one table for the package of ARCHIVE, whose
# files are those of DATADIR (TOTAL bytes).
bench_package() {
  local name=$1 archive=$2 data=$3 total=$4 wine_out="$WINEPREFIX/drive_c/bench-out"
  "$zaroza" pack --stub "$stub" -o "$name.exe" --dest 'C:\bench-out\' --no-confirm --skip-dialog \
    --no-open-folder "$archive" >/dev/null
  rm -rf "$wine_out"
  ZAROZA_WINE_TIMEOUT=300 "$run" "$out/$name.exe"
  "$zaroza" extract -q -d "x-check" "$archive" >/dev/null
  diff -r "$wine_out" x-check >/dev/null || { echo "bench: the stub's output differs from zaroza extract's"; exit 1; }
  diff -r -x .complete x-check "$data" >/dev/null || { echo "bench: the extracted files differ from the data"; exit 1; }
  rm -rf x-check
  # the bare stub ends with 2 (no payload) once Wine and the stub have started
  hyperfine --style none --runs "$runs" --warmup 1 --export-json "$name.json" \
    --prepare "rm -rf '$wine_out' x-zaroza x-lhasa x-7z; mkdir -p x-lhasa" \
    -n start-up "'$run' '$stub'; [ \$? = 2 ]" \
    -n stub "ZAROZA_WINE_TIMEOUT=300 '$run' '$out/$name.exe'" \
    -n zaroza "'$zaroza' extract -q -d x-zaroza '$name.exe'" \
    -n lhasa "lhasa xqfw=x-lhasa '$archive'" \
    -n 7z "7z x -y -ox-7z '$archive'" >/dev/null 2>&1
  python3 - "$name" "$total" "$name.json" <<'PY'
import json, sys
name, total, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
res = {r['command']: r['median'] for r in json.load(open(path))['results']}
print(f"{name}: {total} bytes")
print(f"{'tool':<9} {'median_s':>9} {'MB/s':>8}")
for tool, t in res.items():
    print(f"{tool:<9} {t:9.3f} {total / t / 1e6:8.1f}")
stub = res['stub'] - res['start-up']
print(f"stub under Wine less its start-up / zaroza extract: {stub / res['zaroza']:.2f} (aim: 1.30 or less)")
for peer in ('lhasa', '7z'):
    print(f"zaroza extract / {peer}: {res['zaroza'] / res[peer]:.2f} (below 1.00 is faster)")
print()
PY
}

if [ "$corpus" != mixed ]; then
  make_installer_corpus "$out"
  make_installer_archive "$out" 5
  bench_package extract-installer "$out/inst-lh5.lzh" "$out/installer" "$(installer_bytes "$out")"
fi
if [ "$corpus" != installer ]; then
  make_mixed_corpus "$out"
  make_corpus_archive "$out" 5
  bench_package extract-bench "$out/lh5.lzh" "$out/data" \
    "$(cat data/text.txt data/binary.bin data/random.bin data/zeros.bin | wc -c)"
fi
