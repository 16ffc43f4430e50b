#!/usr/bin/env bash
# Writer benchmark: `zaroza archive` (default effort and --best) against jlha's `lha`
# (a2q, a2o6q, a2o7q), method by method, on two corpora: the installer corpus (program
# files and their text, what a package carries) and the ~64 MiB mixed corpus. Times come
# from one hyperfine run (median), sizes from the archives that run wrote.
# - installer: packed member bytes summed over the files, against the sums LHa for UNIX
#   1.14i wrote for the same 393 files (fixed numbers below: sizes do not depend on the
#   machine); time against jlha's in the same run.
# - mixed: archive sizes and times against jlha's `lha`; gzip -6 and -9 give reference
#   sizes; below each method, every file's packed size in the archives of the default
#   effort, --best and lha, in that order.
# Size ratios below 1.0 are smaller; time ratios below 1.0 are faster. `zaroza` packs files
# side by side on every processor (jlha's JVM also runs on several); `zaroza 1 thread` is
# the default effort with --threads 1, whose archive must be the same bytes.
# usage: bench/encode.sh   (RUNS=N to change the run count, default 3; CORPUS=installer or
# CORPUS=mixed for one of them)
set -euo pipefail
# shellcheck source=bench/corpus.sh
source "$(dirname "$0")/corpus.sh"
bench_paths 3
need_tools lha lhasa gzip hyperfine python3
corpus=${CORPUS:-both}

# LHa for UNIX 1.14i (not a Debian package): packed member bytes over the installer corpus
# of Debian 12 with wine 8.0~repack-4 (37,748,900 bytes), measured when the corpus was
# chosen. Its time was 0.46 of jlha's on -lh5- and 0.79 on -lh7-: twice its speed is
# 0.23 and 0.40 of jlha's.
declare -A reference=([5]=12485630 [6]=12060683 [7]=11263468)
declare -A time_aim=([5]=0.23 [6]=- [7]=0.40)

# time_writers M DIR JSON OUTPREFIX INPUTS...: the writers on INPUTS (relative to DIR), the
# archives left as OUTPREFIX-{fast,one,best,lha}-lhM.lzh in $out.
time_writers() {
  local m=$1 dir=$2 json=$3 prefix=$4
  shift 4
  local option a
  option=$([ "$m" = 5 ] && echo a2q || echo "a2o${m}q")
  for a in fast best; do
    (cd "$dir" && "$zaroza" archive --quiet --method "lh$m" $([ $a = best ] && echo --best) \
      -o "$out/$prefix-$a-lh$m.lzh" "$@")
    "$zaroza" test "$out/$prefix-$a-lh$m.lzh" >/dev/null && lhasa t "$out/$prefix-$a-lh$m.lzh" >/dev/null ||
      { echo "bench: $prefix-$a-lh$m.lzh does not test clean"; exit 1; }
  done
  (cd "$dir" && "$zaroza" archive --quiet --method "lh$m" --threads 1 -o "$out/$prefix-one-lh$m.lzh" "$@")
  cmp -s "$out/$prefix-one-lh$m.lzh" "$out/$prefix-fast-lh$m.lzh" ||
    { echo "bench: one thread wrote another archive than several ($prefix, -lh$m-)"; exit 1; }
  hyperfine --style none --runs "$runs" --warmup 1 --export-json "$out/$json" \
    -n zaroza "cd '$dir' && '$zaroza' archive --quiet --method lh$m -o '$out/$prefix-fast-lh$m.lzh' $*" \
    -n "zaroza 1 thread" "cd '$dir' && '$zaroza' archive --quiet --method lh$m --threads 1 -o '$out/$prefix-one-lh$m.lzh' $*" \
    -n "zaroza --best" "cd '$dir' && '$zaroza' archive --quiet --method lh$m --best -o '$out/$prefix-best-lh$m.lzh' $*" \
    -n lha "cd '$dir' && rm -f '$out/$prefix-lha-lh$m.lzh' && lha $option '$out/$prefix-lha-lh$m.lzh' $*" \
    >/dev/null 2>&1
}

installer_table() {
  make_installer_corpus "$out"
  local total m summary="" lines
  total=$(installer_bytes "$out")
  echo "installer corpus: $total bytes in $(ls "$out/installer/bin" "$out/installer/doc" | grep -vc -e '^$' -e ':$') files"
  printf '%-6s %-15s %9s %11s %9s %9s\n' method writer median_s packed size×ref time×lha
  for m in 5 6 7; do
    time_writers "$m" "$out/installer" "encode-inst-lh$m.json" inst bin doc
    lines=$(python3 - "$m" "$out/encode-inst-lh$m.json" "${reference[$m]}" "${time_aim[$m]}" \
      "$(packed_bytes "$out/inst-fast-lh$m.lzh")" "$(packed_bytes "$out/inst-best-lh$m.lzh")" \
      "$(packed_bytes "$out/inst-lha-lh$m.lzh")" <<'PY'
import json, sys
m, path, ref, aim = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
fast, best, lha = (int(v) for v in sys.argv[5:8])
t = {r['command']: r['median'] for r in json.load(open(path))['results']}
size = {'zaroza': fast, 'zaroza 1 thread': fast, 'zaroza --best': best, 'lha': lha}
for name in ('zaroza', 'zaroza 1 thread', 'zaroza --best', 'lha'):
    print(f"-lh{m}-  {name:<15} {t[name]:9.2f} {size[name]:11d} {size[name] / ref:9.4f} {t[name] / t['lha']:9.2f}")
timed = f" (aim <= {aim})" if aim != '-' else ''
print(f"SUMMARY installer -lh{m}-: default {fast / ref:.4f} of LHa for UNIX's bytes (aim <= 1.000), "
      f"{t['zaroza'] / t['lha']:.2f} of jlha's time{timed}, {t['zaroza 1 thread'] / t['lha']:.2f} on one thread; "
      f"--best {best / ref:.4f} (aim <= 0.950), {t['zaroza --best']:.2f} s (aim < 10)")
PY
)
    echo "$lines" | grep -v '^SUMMARY'
    summary+=$(echo "$lines" | grep '^SUMMARY')$'\n'
  done
  echo
  printf '%s\n' "$summary"
}

mixed_table() {
  make_mixed_corpus "$out"
  local files="text.txt binary.bin random.bin zeros.bin" total gzip6=0 gzip9=0 f m a sizes lines summary=""
  total=$(cd "$out/data" && cat $files | wc -c)
  for f in $files; do
    gzip6=$((gzip6 + $(gzip -6c "$out/data/$f" | wc -c)))
    gzip9=$((gzip9 + $(gzip -9c "$out/data/$f" | wc -c)))
  done
  echo "mixed corpus: $total bytes"
  printf '%-6s %-15s %9s %11s %7s %7s\n' method writer median_s bytes size× speed×
  for m in 5 6 7; do
    time_writers "$m" "$out/data" "encode-lh$m.json" enc $files
    sizes="$(stat -c %s "$out/enc-fast-lh$m.lzh") $(stat -c %s "$out/enc-best-lh$m.lzh") $(stat -c %s "$out/enc-lha-lh$m.lzh")"
    lines=$(python3 - "$m" "$out/encode-lh$m.json" $sizes <<'PY'
import json, sys
m, path = sys.argv[1], sys.argv[2]
fast, best, lha = (int(v) for v in sys.argv[3:6])
t = {r['command']: r['median'] for r in json.load(open(path))['results']}
size = {'zaroza': fast, 'zaroza 1 thread': fast, 'zaroza --best': best, 'lha': lha}
for name in ('zaroza', 'zaroza 1 thread', 'zaroza --best', 'lha'):
    print(f"-lh{m}-  {name:<15} {t[name]:9.2f} {size[name]:11d} {size[name] / lha:7.4f} {t['lha'] / t[name]:7.2f}")
print(f"SUMMARY mixed -lh{m}-: default {fast / lha:.4f} of lha's size (aim <= 1.000), {t['lha'] / t['zaroza']:.2f}x "
      f"as fast (aim >= 4); --best {best / lha:.4f} of lha's size (aim <= 0.950), "
      f"{t['lha'] / t['zaroza --best']:.2f}x as fast")
PY
)
    echo "$lines" | grep -v '^SUMMARY'
    # where the bytes go: each member's packed size in the three archives
    for f in $files; do
      printf '       %-14s' "$f"
      for a in "enc-fast-lh$m.lzh" "enc-best-lh$m.lzh" "enc-lha-lh$m.lzh"; do
        printf ' %11s' "$("$zaroza" list "$out/$a" | awk -v f="$f" '$NF == f { print $3 }')"
      done
      echo
    done
    summary+=$(echo "$lines" | grep '^SUMMARY')$'\n'
  done
  echo
  echo "gzip -6 $gzip6 bytes, gzip -9 $gzip9 bytes (sum over the files)"
  printf '%s\n' "$summary"
}

[ "$corpus" = mixed ] || installer_table
[ "$corpus" = installer ] || mixed_table
