#!/usr/bin/env bash
# Decode benchmark: a deterministic ~64 MiB mixed corpus (text, binary-like, incompressible,
# zeros) archived by jlha's `lha` as -lh5-, -lh6- and -lh7-; `zaroza test` is timed against
# `lhasa t`, `lha t` and `7z t` on the same archives in the same run (hyperfine, median).
# Prints MB/s of decoded output and our time relative to the fastest peer (<= 1.0 is as
# fast or faster). usage: bench/decode.sh   (RUNS=N to change the run count, default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zaroza=$root/build/host/zaroza
out=$root/build/bench
runs=${RUNS:-5}
[ -x "$zaroza" ] || { echo "bench: build the host tree first (make host)"; exit 1; }
for tool in lha lhasa 7z hyperfine python3; do
  command -v "$tool" >/dev/null || { echo "bench: $tool not installed"; exit 1; }
done
mkdir -p "$out/data"
cd "$out"
if [ ! -f data/.complete ]; then
  python3 - <<'PY'
import random
r = random.Random(2024)
MiB = 1 << 20
words = ('the of and to in is was for on that with as by at from archive header member '
         'decoder dictionary position length block table code tree bits stream window '
         'offset literal match Huffman canonical extract folder setup install progress').split()
def text(n):
    lines, size = [], 0
    while size < n:
        line = ' '.join(r.choices(words, k=r.randint(4, 14))) + '.\n'
        lines.append(line)
        size += len(line)
    return ''.join(lines).encode()[:n]
def binary(n):
    # structured records: small counters, repeated opcodes, some noise
    parts, size = [], 0
    ops = [r.randbytes(r.randint(2, 8)) for _ in range(300)]
    while size < n:
        k = r.random()
        if k < 0.6: b = r.choice(ops)
        elif k < 0.8: b = (size & 0xFFFFFF).to_bytes(4, 'little')
        else: b = r.randbytes(r.randint(1, 16))
        parts.append(b)
        size += len(b)
    return b''.join(parts)[:n]
open('data/text.txt', 'wb').write(text(24 * MiB))
open('data/binary.bin', 'wb').write(binary(20 * MiB))
open('data/random.bin', 'wb').write(r.randbytes(12 * MiB))
open('data/zeros.bin', 'wb').write(bytes(8 * MiB))
PY
  touch data/.complete
fi
total=$(cat data/text.txt data/binary.bin data/random.bin data/zeros.bin | wc -c)
for m in 5 6 7; do
  if [ ! -f "lh$m.lzh" ]; then
    echo "bench: making lh$m.lzh with lha (slow, once)"
    (cd data && lha "a2o${m}q" "../lh$m.lzh.tmp" text.txt binary.bin random.bin zeros.bin >/dev/null)
    mv "lh$m.lzh.tmp" "lh$m.lzh"
  fi
done
printf '%-7s %-8s %10s %9s\n' method tool median_s MB/s
summary=""
for m in 5 6 7; do
  a=lh$m.lzh
  "$zaroza" test "$a" >/dev/null || { echo "bench: zaroza test failed on $a"; exit 1; }
  hyperfine --style none --runs "$runs" --warmup 1 --export-json "lh$m.json" \
    -n zaroza "$zaroza test $a" -n lhasa "lhasa t $a" -n lha "lha t $a" -n 7z "7z t $a" >/dev/null 2>&1
  line=$(python3 - "$m" "$total" "lh$m.json" <<'PY'
import json, sys
m, total, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
res = {r['command']: r['median'] for r in json.load(open(path))['results']}
for name, t in res.items():
    print(f"-lh{m}-   {name:<8} {t:10.3f} {total / t / 1e6:9.1f}")
peers = {k: v for k, v in res.items() if k != 'zaroza'}
best = min(peers, key=peers.get)
print(f"SUMMARY -lh{m}-: zaroza {total / res['zaroza'] / 1e6:.1f} MB/s, fastest peer {best} "
      f"{total / peers[best] / 1e6:.1f} MB/s, time ratio {res['zaroza'] / peers[best]:.2f}")
PY
)
  echo "$line" | grep -v '^SUMMARY'
  summary+=$(echo "$line" | grep '^SUMMARY')$'\n'
done
echo
printf '%s' "$summary"
