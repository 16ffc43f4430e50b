# shellcheck shell=bash
# The benchmarks' data, sourced by bench/*.sh: a deterministic ~64 MiB mixed corpus (text,
# binary-like records, incompressible bytes, zeros) and its archives made by jlha's `lha`.

# bench_paths DEFAULT_RUNS: root (the checkout), zaroza (the host tool, which must be
# built), out (build/bench) and runs (RUNS, else DEFAULT_RUNS).
bench_paths() {
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  zaroza=$root/build/host/zaroza
  out=$root/build/bench
  runs=${RUNS:-$1}
  [ -x "$zaroza" ] || { echo "bench: build the host tree first (make host)"; exit 1; }
}

# need_tools TOOL...: ends the benchmark when one is not installed.
need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "bench: $tool not installed"; exit 1; }
  done
}

# make_mixed_corpus DIR: DIR/data/{text.txt,binary.bin,random.bin,zeros.bin}, made once.
make_mixed_corpus() {
  mkdir -p "$1/data"
  [ -f "$1/data/.complete" ] && return 0
  (cd "$1" && python3 - <<'PY'
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
  ) && touch "$1/data/.complete"
}

# make_corpus_archive DIR M: DIR/lhM.lzh (-lhM-, header level 2) of the corpus, made once.
make_corpus_archive() {
  [ -f "$1/lh$2.lzh" ] && return 0
  echo "bench: making lh$2.lzh with lha (slow, once)"
  (cd "$1/data" && lha "a2o$2q" "../lh$2.lzh.tmp" text.txt binary.bin random.bin zeros.bin >/dev/null)
  mv "$1/lh$2.lzh.tmp" "$1/lh$2.lzh"
}
