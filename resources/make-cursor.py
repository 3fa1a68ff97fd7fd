#!/usr/bin/env python3
"""Draws the pointer shown while a list entry is dragged (an arrow carrying a sheet of paper) and
writes resources/drag.cur, 32 x 32 monochrome, hot spot at the tip.
Usage: resources/make-cursor.py [OUTPUT]"""
import os
import struct
import sys

ARROW = ["X", "XX", "XoX", "XooX", "XoooX", "XooooX", "XoooooX", "XooooooX", "XoooooooX",
         "XooooooooX", "XoooooXXXXX", "XooXooX", "XoX.XooX", "XX..XooX", "X....XooX",
         ".....XooX", "......XX"]
SIZE = 32

# X black, o white, . transparent
shape = [["."] * SIZE for _ in range(SIZE)]
for y, row in enumerate(ARROW):
    for x, c in enumerate(row):
        shape[y][x] = c
for y in range(18, 30):  # the sheet, below and to the right of the tip
    for x in range(9, 20):
        shape[y][x] = "X" if y in (18, 29) or x in (9, 19) else "o"


def rows(bit_set):
    out = b""
    for y in reversed(range(SIZE)):  # bottom-up
        bits = 0
        for x in range(SIZE):
            bits = bits << 1 | bit_set(shape[y][x])
        out += struct.pack(">I", bits)
    return out


xor = rows(lambda c: c == "o")
and_mask = rows(lambda c: c == ".")
header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, len(xor) + len(and_mask), 0, 0,
                     2, 0)
palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
image = header + palette + xor + and_mask
directory = struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, 0, 0,
                                                        len(image), 22)
out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "drag.cur")
with open(out, "wb") as f:
    f.write(directory + image)
print("wrote", out)
