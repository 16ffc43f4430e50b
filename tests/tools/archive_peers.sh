#!/usr/bin/env bash
# Differential test of the LHA writer: `zaroza archive` over varied data (text, binary,
# incompressible, long runs, empty and one-byte files, sizes around every dictionary
# size and block boundary, code page 932 names, nested and empty folders, a read-only
# file, old and odd-second stamps), for every method, header level and effort. Each
# archive must extract byte for byte with lhasa, 7z, jlha's lha, `zaroza test` and
# `zaroza extract`, with the stored stamps (lhasa, 7z, zaroza extract: jlha sets none)
# and the read-only attribute (zaroza list, zaroza extract).
# usage: archive_peers.sh ZAROZA_BINARY
set -u
zaroza=$(realpath "$1")
for tool in lha lhasa 7z python3; do
  command -v "$tool" >/dev/null || { echo "archive_peers: $tool not installed"; exit 1; }
done
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work"
# DOS stamps are local time: a zone away from UTC catches a mix-up
export TZ=Asia/Tokyo
unset SOURCE_DATE_EPOCH
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

python3 - <<'PY'
import os, random
r = random.Random(4321)
os.makedirs('data/docs/deep/er/est', exist_ok=True)
os.makedirs('data/empty', exist_ok=True)
os.makedirs('data/テスト', exist_ok=True)
def put(name, data, stamp=None):
    path = 'data/' + name
    open(path, 'wb').write(data)
    if stamp is not None:
        os.utime(path, (stamp, stamp))
words = [b'archive', b'member', b'header', b'decoder', b'dictionary', b'the', b'a', b'of',
         b'Huffman', b'position', b'length', b'\n', b'block', b'table', b'code', b'tree']
put('text.txt', b' '.join(r.choice(words) for _ in range(60000))[:300000])
ops = [r.randbytes(r.randint(2, 8)) for _ in range(200)]
rec = bytearray()
while len(rec) < 1200000:
    k = r.random()
    rec += r.choice(ops) if k < 0.6 else len(rec).to_bytes(4, 'little') if k < 0.8 else r.randbytes(r.randint(1, 16))
put('records.bin', bytes(rec[:1200000]))
put('noise.bin', r.randbytes(70000))
put('runs.bin', b''.join(bytes([r.randrange(3)]) * r.randint(1, 3000) for _ in range(400)))
put('empty.txt', b'')
put('one.txt', b'x')
# about one code per byte: block boundaries at 65,535 codes
alpha = bytes(r.choice(b'abcdefghijklmnop') for _ in range(140000))
for n in (65535, 65536, 65537, 131071):
    put('alpha%d.bin' % n, alpha[:n])
mixed = bytes(r.choice(b'abcdefgh') for _ in range(70000))
for n in (8192, 32768, 65536):
    put('docs/exact%d.bin' % n, mixed[:n])
    put('docs/over%d.bin' % n, mixed[:n + 1])
# repeats at exactly each dictionary size
unit = r.randbytes(65536)
put('docs/far.bin', unit[:8192] * 3 + unit[:32768] * 2 + unit * 2 + unit[:65535])
put('docs/deep/er/est/leaf.txt', b'deep\n' * 50)
put('テスト/データ.bin', bytes(rec[:50000]))
put('日本語.txt', '日本語のテキスト\n'.encode('utf-8') * 200)
put('ソ表.txt', b'trail bytes 0x5C\n' * 30)   # both characters end in the byte of a backslash
put('docs/readonly.txt', b'read only\n' * 10)
put('docs/odd.txt', b'odd second\n', 1009876543)       # 2002-01-01, odd second
put('docs/old.txt', b'1985\n', 490000000)              # 1985
put('docs/older.txt', b'1975\n', 160000000)            # before MS-DOS time began
# a last block of one literal, whose code takes no bits, ending on a byte boundary in
# one of the methods (jlha then needs a bit behind it, 7z refuses a byte more)
os.makedirs('data/tails', exist_ok=True)
for seed in (1, 3, 18):
    t = random.Random(seed)
    put('tails/tail%02d.bin' % seed, bytes(t.choice(b'abcdefgh') for _ in range(65536)) + b'e')
os.chmod('data/docs/readonly.txt', 0o444)
PY

# check.py DIR TOOL LEVEL: the tree DIR holds exactly data/, byte for byte; stamps and
# modes as far as TOOL restores them. Peers that keep names in code page 932 are read
# that way; 7z, and lhasa at levels 0 and 1, take a trail byte 0x5C for a separator.
cat >check.py <<'PY'
import os, sys, time, calendar
top, tool, level = sys.argv[1], sys.argv[2], int(sys.argv[3])
def tree(root, raw):
    out = {}
    for base, dirs, files in os.walk(root.encode() if raw else root):
        for n in dirs + files:
            p = os.path.join(base, n)
            rel = os.path.relpath(p, root.encode() if raw else root)
            out[rel] = p
    return out
splits = tool == '7z' or (tool == 'lhasa' and level < 2)
def stored_as(rel):  # the name a peer gives a path of data/
    if tool in ('lhasa', '7z'):
        b = rel.encode('cp932')
        if splits:
            out, k = bytearray(), 0
            while k < len(b):  # every byte 0x5C, also a trail byte, became a separator
                out += b'/' if b[k] == 0x5C else bytes([b[k]])
                k += 1
            b = bytes(out)
        return os.path.normpath(b)
    return rel
want = tree('data', False)
got = tree(top, tool in ('lhasa', '7z'))
problems = []
expected = {}
for rel, path in want.items():
    expected[stored_as(rel)] = path
for name in set(got) - set(expected):
    # the folders a split name leaves behind
    if not (splits and os.path.isdir(got[name])):
        problems.append('unexpected %r' % name)
for name, source in expected.items():
    if name not in got:
        problems.append('missing %r' % name)
        continue
    path = got[name]
    if os.path.isdir(source):
        continue
    if open(path, 'rb').read() != open(source, 'rb').read():
        problems.append('content of %r differs' % name)
    if tool == 'lha':
        continue  # jlha sets no stamps
    mtime = int(os.stat(source).st_mtime)
    if level < 2:
        t = time.localtime(mtime)
        mtime = mtime - mtime % 2 if t.tm_year >= 1980 else time.mktime((1980, 1, 1, 0, 0, 0, 0, 0, -1))
    if int(os.stat(path).st_mtime) != int(mtime):
        problems.append('stamp of %r: %d, expected %d' % (name, os.stat(path).st_mtime, mtime))
    if tool == 'zaroza' and (os.stat(path).st_mode & 0o200) != (os.stat(source).st_mode & 0o200):
        problems.append('read-only attribute of %r not restored' % name)
for p in problems[:10]:
    print('  ' + p)
sys.exit(1 if problems else 0)
PY

archives=0
for effort in fast best; do
  flag=""
  [ "$effort" = best ] && flag=--best
  for method in lh5 lh6 lh7; do
    for level in 0 1 2; do
      a="$method-$level-$effort.lzh"
      if ! "$zaroza" archive --quiet --method "$method" --level "$level" $flag -o "$a" data >archive.log 2>&1; then
        fail "$a: zaroza archive"; cat archive.log; continue
      fi
      archives=$((archives + 1))
      "$zaroza" list "$a" >list.log 2>&1 || fail "$a: zaroza list"
      grep -q -- "-$method-" list.log || fail "$a: no -$method- member"
      awk -v lv="$level" 'NR > 2 && $1 ~ /^[0-9]$/ && $1 != lv { bad = 1 } END { exit bad }' list.log ||
        fail "$a: a header of another level"
      grep -E "0x21 0x[0-9A-F]{4} docs\\\\readonly.txt$" list.log >/dev/null || fail "$a: read-only attribute not stored"
      grep -E " -lhd- .* 0x10 0x0000 empty\\\\  \\(directory\\)$" list.log >/dev/null || fail "$a: no entry for the empty folder"
      grep -E " -lh0- .* noise.bin$" list.log >/dev/null || fail "$a: incompressible file not stored"
      "$zaroza" test "$a" >test.log 2>&1 || { fail "$a: zaroza test"; cat test.log; }
      lhasa t "$a" >/dev/null 2>&1 || fail "$a: lhasa t"
      7z t "$a" >/dev/null 2>&1 || fail "$a: 7z t"
      for tool in lhasa 7z lha zaroza; do
        out="out-$tool-$a"
        mkdir "$out"
        case $tool in
          lhasa) (cd "$out" && lhasa xq "../$a") >/dev/null 2>&1 ;;
          7z) 7z x -y -o"$out" "$a" >/dev/null 2>&1 ;;
          lha) (cd "$out" && lha xqy "../$a") >/dev/null 2>&1 ;;  # y: names from code page 932
          zaroza) "$zaroza" extract --quiet -d "$out" "$a" >/dev/null 2>&1 ;;
        esac || fail "$a: $tool extraction failed"
        python3 check.py "$out" "$tool" "$level" || fail "$a: extracted by $tool"
        chmod -R u+w "$out"
        rm -rf "$out"
      done
    done
  done
done

# the same input gives the same bytes, and SOURCE_DATE_EPOCH caps the stamps
"$zaroza" archive --quiet -o again.lzh data && cmp -s again.lzh lh5-2-fast.lzh || fail "a second run differs"
SOURCE_DATE_EPOCH=1000000000 "$zaroza" archive --quiet -o epoch.lzh data || fail "SOURCE_DATE_EPOCH run"
touch data/text.txt
SOURCE_DATE_EPOCH=1000000000 "$zaroza" archive --quiet -o epoch2.lzh data || fail "SOURCE_DATE_EPOCH run"
cmp -s epoch.lzh epoch2.lzh || fail "SOURCE_DATE_EPOCH: a touched file changed the archive"
"$zaroza" list epoch.lzh | grep -q "2001-09-09 01:46:40Z  0x20 0x[0-9A-F]* text.txt" || fail "SOURCE_DATE_EPOCH: stamp not capped"
"$zaroza" list epoch.lzh | grep -q "1985-07-12 .*old.txt$" || fail "SOURCE_DATE_EPOCH: an older stamp was changed"

# the command line: usage errors, failures that write nothing, progress on a terminal
expect_status() {  # expected-status description command...
  local want=$1 what=$2
  shift 2
  "$@" >cli.log 2>&1
  local got=$?
  [ "$got" -eq "$want" ] || { fail "$what: exit $got, expected $want"; cat cli.log; }
}
expect_status 0 "--help" "$zaroza" archive --help
expect_status 2 "no arguments" "$zaroza" archive
expect_status 2 "no output" "$zaroza" archive data
expect_status 2 "method lh4" "$zaroza" archive --method lh4 -o x.lzh data
expect_status 2 "level 3" "$zaroza" archive --level 3 -o x.lzh data
expect_status 2 "threads 0" "$zaroza" archive --threads 0 -o x.lzh data
expect_status 2 "threads 2x" "$zaroza" archive --threads 2x -o x.lzh data
expect_status 2 "unknown option" "$zaroza" archive --fast -o x.lzh data
expect_status 1 "missing input" "$zaroza" archive -o x.lzh data nowhere
grep -q "zaroza archive: 'nowhere': cannot read: No such file or directory" cli.log || fail "missing input: message"
mkdir long && : >"long/$(printf 'n%.0s' $(seq 1 232))"
expect_status 1 "name too long for level 0" "$zaroza" archive --level 0 -o x.lzh long
grep -q "too long for header level 0" cli.log || fail "name too long: message"
[ ! -e x.lzh ] && [ -z "$(ls -a | grep '^\.x\.lzh\.')" ] || fail "a failed run left a file behind"
if command -v script >/dev/null; then
  head -c 6000000 /dev/zero >big.bin
  script -qec "'$zaroza' archive -o big.lzh big.bin" /dev/null >tty.log 2>&1
  grep -q "\] *[0-9]*%" tty.log || fail "no progress bar on a terminal"
  "$zaroza" archive -o big2.lzh big.bin 2>tty2.log >/dev/null
  [ ! -s tty2.log ] || fail "a progress bar without a terminal"
fi

[ "$archives" -eq 18 ] || fail "only $archives of 18 archives written"
if [ "$failures" -eq 0 ]; then
  echo "archive_peers: 18 archives (lh5/lh6/lh7 x levels 0/1/2 x fast/best) extract alike with lhasa, 7z, lha and zaroza"
fi
[ "$failures" -eq 0 ]
