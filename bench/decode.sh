#!/usr/bin/env bash
# Decode benchmark: a deterministic ~64 MiB mixed corpus (text, binary-like, incompressible,
# zeros) archived by jlha's `lha` as -lh5-, -lh6- and -lh7-, and by the jLHA library it
# ships as -lh1-, -lh3-, -lzs- and -lz5- (no packaged command writes those; the few lines
# of tests/lha/MakeArchive.java, compiled into build/bench, do). `zaroza test` is timed
# against the peers that decode each method (hyperfine, median, same run): `lhasa t`,
# `lha t`, `7z t` for -lh5- to -lh7-, `lhasa t` for -lh1-, -lzs-, -lz5-, and `lha t` for
# -lh3-, which only jLHA decodes.
# The installer corpus (program files and their text) comes first, as -lh5-, -lh6- and
# -lh7- archives by jlha's `lha`, with our time over 7z's (the aim is 0.5 or less).
# Prints MB/s of decoded output and the fastest peer's time over ours (above 1.0: faster).
# usage: bench/decode.sh   (RUNS=N to change the run count, default 5; BASELINE=ZAROZA to
# time an earlier build of the tool too, reported as its time over ours; CORPUS=installer
# or CORPUS=mixed for one of them)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zaroza=$root/build/host/zaroza
out=$root/build/bench
runs=${RUNS:-5}
[ -x "$zaroza" ] || { echo "bench: build the host tree first (make host)"; exit 1; }
for tool in lha lhasa 7z hyperfine python3 javac java; do
  command -v "$tool" >/dev/null || { echo "bench: $tool not installed"; exit 1; }
done
# shellcheck source=bench/corpus.sh
. "$root/bench/corpus.sh"
corpus=${CORPUS:-both}
make_mixed_corpus "$out"
make_installer_corpus "$out"
cd "$out"
mixed_total=$(cat data/text.txt data/binary.bin data/random.bin data/zeros.bin | wc -c)
installer_total=$(installer_bytes "$out")
jlha_jar=/usr/share/java/jlha.jar
[ -f java/MakeArchive.class ] || javac -cp "$jlha_jar" -d java "$root/tests/lha/MakeArchive.java"
methods="lh5 lh6 lh7 lh1 lh3 lzs lz5"
[ "$corpus" = installer ] && methods=""
archives=""
if [ "$corpus" != mixed ]; then
  for m in 5 6 7; do
    make_installer_archive "$out" "$m"
    archives+="inst-lh$m "
  done
fi
archives+=$methods
for m in $methods; do
  [ -f "$m.lzh" ] && continue
  echo "bench: making $m.lzh (slow, once)"
  case $m in
    lh[567]) (cd data && lha "a2o${m#lh}q" "../$m.lzh.tmp" text.txt binary.bin random.bin zeros.bin >/dev/null) ;;
    *) (cd data && java -cp "$jlha_jar:../java" MakeArchive "-$m-" "../$m.lzh.tmp" text.txt binary.bin random.bin zeros.bin) ;;
  esac
  mv "$m.lzh.tmp" "$m.lzh"
done
printf '%-15s %-8s %10s %9s\n' archive tool median_s MB/s
summary=""
for m in $archives; do
  a=$m.lzh
  total=$mixed_total label="mixed -$m-"
  case $m in inst-*) total=$installer_total label="installer -${m#inst-}-" ;; esac
  "$zaroza" test "$a" >/dev/null || { echo "bench: zaroza test failed on $a"; exit 1; }
  case $m in
    lh[567] | inst-lh[567]) peers=(-n lhasa "lhasa t $a" -n lha "lha t $a" -n 7z "7z t $a") ;;
    lh3) peers=(-n lha "lha t $a") ;;
    *) peers=(-n lhasa "lhasa t $a") ;;
  esac
  # an earlier build takes part where it decodes the method
  if [ -n "${BASELINE:-}" ] && "$BASELINE" test "$a" >/dev/null 2>&1; then peers+=(-n baseline "$BASELINE test $a"); fi
  hyperfine --style none --runs "$runs" --warmup 1 --export-json "$m.json" \
    -n zaroza "$zaroza test $a" "${peers[@]}" >/dev/null 2>&1
  line=$(python3 - "$label" "$total" "$m.json" <<'PY'
import json, sys
m, total, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
res = {r['command']: r['median'] for r in json.load(open(path))['results']}
for name, t in res.items():
    print(f"{m:<15} {name:<8} {t:10.3f} {total / t / 1e6:9.1f}")
peers = {k: v for k, v in res.items() if k not in ('zaroza', 'baseline')}
best = min(peers, key=peers.get)
baseline = f", baseline time / ours {res['baseline'] / res['zaroza']:.2f}" if 'baseline' in res else ''
seven = f", ours / 7z {res['zaroza'] / res['7z']:.2f} (aim <= 0.50)" if '7z' in res else ''
print(f"SUMMARY {m}: zaroza {total / res['zaroza'] / 1e6:.1f} MB/s, fastest peer {best} "
      f"{total / peers[best] / 1e6:.1f} MB/s, peer time / ours {peers[best] / res['zaroza']:.2f}{seven}{baseline}")
PY
)
  echo "$line" | grep -v '^SUMMARY'
  summary+=$(echo "$line" | grep '^SUMMARY')$'\n'
done
echo
printf '%s' "$summary"
