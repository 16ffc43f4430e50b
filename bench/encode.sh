#!/usr/bin/env bash
# Writer benchmark: `zaroza archive` (default effort and --best) against jlha's `lha`
# (a2q, a2o6q, a2o7q) on the ~64 MiB mixed corpus, method by method, times from one
# hyperfine run (median) and sizes of the archives that run wrote; gzip -6 and -9 of the
# same files give reference sizes. Ratios are against lha in the same run: size < 1.0 is
# smaller, speed > 1.0 is faster. Below each method, every file's packed size in the
# archives of the default effort, --best and lha, in that order.
# usage: bench/encode.sh   (RUNS=N to change the run count, default 3)
set -euo pipefail
# shellcheck source=bench/corpus.sh
source "$(dirname "$0")/corpus.sh"
bench_paths 3
need_tools lha lhasa gzip hyperfine python3
make_mixed_corpus "$out"
cd "$out"
files="text.txt binary.bin random.bin zeros.bin"
total=$(cd data && cat $files | wc -c)

gzip6=0 gzip9=0
for f in $files; do
  gzip6=$((gzip6 + $(gzip -6c "data/$f" | wc -c)))
  gzip9=$((gzip9 + $(gzip -9c "data/$f" | wc -c)))
done

printf '%-6s %-14s %9s %11s %7s %7s\n' method writer median_s bytes size× speed×
summary=""
for m in 5 6 7; do
  option=$([ "$m" = 5 ] && echo a2q || echo "a2o${m}q")
  (cd data && "$zaroza" archive --quiet --method "lh$m" -o "../enc-fast-lh$m.lzh" $files)
  (cd data && "$zaroza" archive --quiet --method "lh$m" --best -o "../enc-best-lh$m.lzh" $files)
  for a in "enc-fast-lh$m.lzh" "enc-best-lh$m.lzh"; do
    "$zaroza" test "$a" >/dev/null && lhasa t "$a" >/dev/null || { echo "bench: $a does not test clean"; exit 1; }
  done
  hyperfine --style none --runs "$runs" --warmup 1 --export-json "encode-lh$m.json" \
    -n zaroza "cd data && '$zaroza' archive --quiet --method lh$m -o ../enc-fast-lh$m.lzh $files" \
    -n "zaroza --best" "cd data && '$zaroza' archive --quiet --method lh$m --best -o ../enc-best-lh$m.lzh $files" \
    -n lha "cd data && rm -f ../enc-lha-lh$m.lzh && lha $option ../enc-lha-lh$m.lzh $files" >/dev/null 2>&1
  sizes="$(stat -c %s "enc-fast-lh$m.lzh") $(stat -c %s "enc-best-lh$m.lzh") $(stat -c %s "enc-lha-lh$m.lzh")"
  lines=$(python3 - "$m" "encode-lh$m.json" $sizes <<'PY'
import json, sys
m, path = sys.argv[1], sys.argv[2]
fast, best, lha = (int(v) for v in sys.argv[3:6])
t = {r['command']: r['median'] for r in json.load(open(path))['results']}
size = {'zaroza': fast, 'zaroza --best': best, 'lha': lha}
for name in ('zaroza', 'zaroza --best', 'lha'):
    print(f"-lh{m}-  {name:<14} {t[name]:9.2f} {size[name]:11d} {size[name] / lha:7.4f} {t['lha'] / t[name]:7.2f}")
print(f"SUMMARY -lh{m}-: default {fast / lha:.4f} of lha's size (aim <= 1.000), {t['lha'] / t['zaroza']:.2f}x "
      f"as fast (aim >= 4); --best {best / lha:.4f} of lha's size (aim <= 0.950), "
      f"{t['lha'] / t['zaroza --best']:.2f}x as fast")
PY
)
  echo "$lines" | grep -v '^SUMMARY'
  # where the bytes go: each member's packed size in the three archives
  for f in $files; do
    printf '       %-14s' "$f"
    for a in "enc-fast-lh$m.lzh" "enc-best-lh$m.lzh" "enc-lha-lh$m.lzh"; do
      printf ' %11s' "$("$zaroza" list "$a" | awk -v f="$f" '$NF == f { print $3 }')"
    done
    echo
  done
  summary+=$(echo "$lines" | grep '^SUMMARY')$'\n'
done
echo
echo "corpus $total bytes; gzip -6 $gzip6 bytes, gzip -9 $gzip9 bytes (sum over the files)"
printf '%s' "$summary"
