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

# What a package really carries: program files and their text. DIR/installer/bin holds 15
# of Wine's 32-bit Windows files, stripped; DIR/installer/doc every file of
# /usr/share/common-licenses and /usr/share/i18n/locales (393 files in all on Debian 12
# with wine 8.0~repack-4, about 37.7 MB). Made once.
installer_bin_files="cmd.exe comctl32.dll gdi32.dll kernelbase.dll msi.dll msvcrt.dll notepad.exe ole32.dll
  regedit.exe riched20.dll setupapi.dll shell32.dll ucrtbase.dll user32.dll winecfg.exe"
make_installer_corpus() {
  local dir=$1/installer wine=/usr/lib/i386-linux-gnu/wine/i386-windows f
  [ -f "$dir/.complete" ] && return 0
  command -v i686-w64-mingw32-strip >/dev/null || { echo "bench: i686-w64-mingw32-strip not installed"; exit 1; }
  rm -rf "$dir" && mkdir -p "$dir/bin" "$dir/doc"
  for f in $installer_bin_files; do
    [ -f "$wine/$f" ] || { echo "bench: $wine/$f missing (install wine32)"; exit 1; }
    i686-w64-mingw32-strip -o "$dir/bin/$f" "$wine/$f"
  done
  # -L: the licences' short names (GPL, LGPL, GFDL) are links to the versioned files
  cp -L /usr/share/common-licenses/* /usr/share/i18n/locales/* "$dir/doc/"
  touch "$dir/.complete"
}

# make_installer_archive DIR M: DIR/inst-lhM.lzh (-lhM-, level 2) of the installer corpus
# by jlha's `lha`, made once.
make_installer_archive() {
  [ -f "$1/inst-lh$2.lzh" ] && return 0
  echo "bench: making inst-lh$2.lzh with lha (slow, once)"
  (cd "$1/installer" && lha "$([ "$2" = 5 ] && echo a2q || echo "a2o$2q")" "../inst-lh$2.lzh.tmp" bin doc >/dev/null)
  mv "$1/inst-lh$2.lzh.tmp" "$1/inst-lh$2.lzh"
}

# installer_bytes DIR: the installer corpus's size in bytes.
installer_bytes() { cat "$1"/installer/bin/* "$1"/installer/doc/* | wc -c; }

# packed_bytes ARCHIVE: the packed member bytes summed over an archive's files (folders
# and headers left out), as `zaroza list` totals them.
packed_bytes() { "$zaroza" list "$1" | awk '$2 != "-lhd-" && $1 ~ /^[0-9]$/ { s += $3 } END { print s + 0 }'; }
