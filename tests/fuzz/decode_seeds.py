#!/usr/bin/env python3
"""Seeds of fuzz_lha_decode, one per method: the packed data of a peer-made member in the
target's input form (method index, original size / 4 in two bytes, packed bytes).
usage: decode_seeds.py CORPUS_DIR OUT_DIR"""
import os
import struct
import sys

# index in the target's method list -> (method id, an archive with such a member);
# -lh2- has no peer sample: any bits are an -lh2- stream, so it takes -lh1-'s
SEEDS = {0: ('-lh0-', 'lharc113/lh0.lzh'), 1: ('-lh1-', 'jlha-made/lh1_h2.lzh'),
         2: ('-lh1-', 'jlha-made/lh1_h2.lzh'), 3: ('-lh3-', 'jlha-made/lh3_h2.lzh'),
         4: ('-lh4-', 'jlha-made/lh4_h2.lzh'), 5: ('-lh5-', 'jlha-made/lh5_h2.lzh'),
         6: ('-lh6-', 'jlha-made/lh6_h2.lzh'), 7: ('-lh7-', 'jlha-made/lh7_h2.lzh'),
         9: ('-lzs-', 'jlha-made/lzs_h2.lzh'), 10: ('-lz4-', 'jlha-made/lz4_h2.lzh'),
         11: ('-lz5-', 'jlha-made/lz5_h2.lzh')}
MAX_PACKED = 60000  # the fuzz runs take inputs of up to 70,000 bytes


def first_member(data, method):
    offset = 0
    while offset + 22 <= len(data):
        level = data[offset + 20]
        size = struct.unpack_from('<H', data, offset)[0] if level == 2 else data[offset] + 2
        packed, original = struct.unpack_from('<II', data, offset + 7)
        if size < 22:
            break
        if data[offset + 2:offset + 7] == method.encode():
            return data[offset + size:offset + size + packed], original
        offset += size + packed
    sys.exit('decode_seeds: no %s member found' % method)


def main():
    corpus, out = sys.argv[1:3]
    os.makedirs(out, exist_ok=True)
    for index, (method, path) in SEEDS.items():
        with open(os.path.join(corpus, path), 'rb') as f:
            packed, original = first_member(f.read(), method)
        packed = packed[:MAX_PACKED]
        original = min(original, 4 * 0xFFFF) // 4
        with open(os.path.join(out, 'method%02d' % index), 'wb') as f:
            f.write(bytes([index]) + struct.pack('<H', original) + packed)


main()
