#!/usr/bin/env bash
# Extraction benchmark: the 64 MiB mixed corpus of bench/decode.sh as one -lh5- archive,
# extracted to disk by the stub under Wine (a package with skip-dialog, no-confirm and no
# setup command, started through Wine), natively by `zaroza extract`, and by `lhasa x` and
# `7z x` on the same archive, all in one run (hyperfine, median). Prints MB/s of extracted
# output and the ratios that matter: stub / zaroza extract, and zaroza extract / each peer
# (below 1.0 is faster). usage: bench/extract.sh   (RUNS=N, default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zaroza=$root/build/host/zaroza
stub=$root/build/win32/zaroza-sfx.exe
out=$root/build/bench
runs=${RUNS:-5}
[ -x "$zaroza" ] && [ -f "$stub" ] || { echo "bench: build both trees first (make host win32)"; exit 1; }
for tool in lha lhasa 7z hyperfine python3; do
  command -v "$tool" >/dev/null || { echo "bench: $tool not installed"; exit 1; }
done
# shellcheck source=bench/corpus.sh
. "$root/bench/corpus.sh"
make_mixed_corpus "$out"
make_corpus_archive "$out" 5
cd "$out"
total=$(cat data/text.txt data/binary.bin data/random.bin data/zeros.bin | wc -c)

# shellcheck source=scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
trap zaroza_wine_stop EXIT
zaroza_wine_start || { echo "bench: Wine cannot run here"; exit 1; }
"$zaroza" pack --stub "$stub" -o extract-bench.exe --dest 'C:\bench-out\' --no-confirm --skip-dialog \
  --no-open-folder lh5.lzh >/dev/null
wine_out="$WINEPREFIX/drive_c/bench-out"
run="$root/scripts/wine-run.sh"
ZAROZA_WINE_TIMEOUT=300 "$run" "$out/extract-bench.exe"
cmp -s "$wine_out/text.txt" data/text.txt && cmp -s "$wine_out/random.bin" data/random.bin ||
  { echo "bench: the stub's output differs from the data"; exit 1; }

hyperfine --style none --runs "$runs" --warmup 1 --export-json extract.json \
  --prepare "rm -rf '$wine_out' x-zaroza x-lhasa x-7z; mkdir -p x-lhasa" \
  -n stub "ZAROZA_WINE_TIMEOUT=300 '$run' '$out/extract-bench.exe'" \
  -n zaroza "'$zaroza' extract -q -d x-zaroza extract-bench.exe" \
  -n lhasa "lhasa xqfw=x-lhasa lh5.lzh" \
  -n 7z "7z x -y -ox-7z lh5.lzh" >/dev/null 2>&1
python3 - "$total" extract.json <<'PY'
import json, sys
total, path = int(sys.argv[1]), sys.argv[2]
res = {r['command']: r['median'] for r in json.load(open(path))['results']}
print(f"{'tool':<8} {'median_s':>9} {'MB/s':>8}")
for name, t in res.items():
    print(f"{name:<8} {t:9.3f} {total / t / 1e6:8.1f}")
print()
print(f"stub under Wine / zaroza extract: {res['stub'] / res['zaroza']:.2f} (aim: 1.30 or less)")
for peer in ('lhasa', '7z'):
    print(f"zaroza extract / {peer}: {res['zaroza'] / res[peer]:.2f} (below 1.00 is faster)")
PY
