#!/usr/bin/env python3
"""Draws the stub's two icons and writes them as .ico files into res/.

program.ico: 32x32, 256 colours - a parcel (the archive) with a down arrow (extraction).
replace.ico: 32x32, 16 colours - two sheets of paper, the front one with a question mark.
Run once by hand after changing a picture; the .ico files are committed.
"""
import os
import struct
import sys

SIZE = 32


def ico(pixels, palette, bits):
    """pixels: 32 rows (top first) of palette indices, -1 = transparent."""
    colours = len(palette)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    pal += b"\0\0\0\0" * ((1 << bits) - colours)
    xor = b""
    mask = b""
    for row in reversed(pixels):  # bottom-up
        if bits == 8:
            line = bytes(max(p, 0) for p in row)
        else:
            line = bytes((max(row[i], 0) << 4) | max(row[i + 1], 0) for i in range(0, SIZE, 2))
        xor += line + b"\0" * ((-len(line)) % 4)
        m = 0
        for p in row:
            m = (m << 1) | (1 if p < 0 else 0)
        mask += struct.pack(">I", m)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + pal + xor + mask
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0 if bits == 8 else 16, 0, 1, bits, len(image), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + entry + image


def program_icon():
    # palette: 0 outline, 1..64 brown shades, 100.. green arrow, 200 tape
    palette = [(0, 0, 0)] + [(0, 0, 0)] * 255
    for i in range(64):
        palette[1 + i] = (150 + i, 100 + i, 40 + i // 2)
    palette[100] = (20, 120, 40)
    palette[101] = (60, 190, 80)
    palette[200] = (230, 220, 170)
    palette[201] = (255, 255, 255)
    px = [[-1] * SIZE for _ in range(SIZE)]
    for y in range(8, 30):
        for x in range(3, 29):
            edge = x in (3, 28) or y in (8, 29)
            px[y][x] = 0 if edge else 1 + min(63, (x + y) * 63 // 56)
    for y in range(9, 29):
        for x in (15, 16):
            px[y][x] = 200
    for x in range(4, 28):
        px[13][x] = 200
    # arrow above the parcel, pointing into it
    for y in range(0, 7):
        for x in range(14, 18):
            px[y][x] = 101 if x in (15, 16) else 100
    for i in range(5):
        for x in range(11 + i, 21 - i):
            px[6 + i][x] = 101 if 12 + i < x < 19 - i else 100
    return ico(px, palette[:256], 8)


def replace_icon():
    palette = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
               (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
               (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    px = [[-1] * SIZE for _ in range(SIZE)]

    def sheet(x0, y0, fill):
        for y in range(y0, y0 + 22):
            for x in range(x0, x0 + 17):
                px[y][x] = 0 if x in (x0, x0 + 16) or y in (y0, y0 + 21) else fill

    sheet(2, 2, 7)
    sheet(12, 9, 15)
    question = ["  ####  ", " ##  ## ", "     ## ", "    ##  ", "   ##   ", "   ##   ", "        ",
                "   ##   "]
    for dy, line in enumerate(question):
        for dx, c in enumerate(line):
            if c == "#":
                px[13 + dy][16 + dx] = 12
    return ico(px, palette, 4)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "res")
    with open(os.path.join(out, "program.ico"), "wb") as f:
        f.write(program_icon())
    with open(os.path.join(out, "replace.ico"), "wb") as f:
        f.write(replace_icon())


if __name__ == "__main__":
    main()
