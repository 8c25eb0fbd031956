#!/usr/bin/env python3
"""Draws the program icon TOVAICO: a disk platter with its read arm and a
green arrow into a box below it (the backup). 32 x 32 pixels in the 16
standard colours, written as tovaico.ico.

Usage: make_icon.py [OUTPUT]   (default: tovaico.ico beside this script)
"""
import math
import os
import struct
import sys

# The 16-colour palette (blue, green, red) in the order of the VGA colours.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # as RGB
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = None  # transparent

SIZE = 32


def draw():
    px = [[CLEAR] * SIZE for _ in range(SIZE)]

    def put(x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            px[y][x] = c

    # The box the data goes into: navy frame, teal front, a light slot.
    for y in range(20, 31):
        for x in range(3, 29):
            edge = y in (20, 30) or x in (3, 28)
            put(x, y, NAVY if edge else TEAL)
    for x in range(6, 26):
        put(x, 27, AQUA)
    put(24, 23, LIME)
    put(25, 23, LIME)

    # The platter: a silver disc with a grey rim and a dark hub.
    cx, cy, r = 13.5, 10.5, 10.0
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x - cx, y - cy)
            if d <= r - 1.0:
                put(x, y, SILVER if (x + y) % 7 else WHITE)
            elif d <= r:
                put(x, y, GREY)
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x - cx, y - cy)
            if d <= 2.2:
                put(x, y, BLACK if d > 1.2 else GREY)

    # The read arm from the top right corner across the platter.
    for i in range(12):
        put(27 - i, 1 + i // 2, MAROON)
        put(27 - i, 2 + i // 2, RED)
    put(16, 7, YELLOW)
    put(15, 7, YELLOW)

    # The arrow from the platter into the box.
    for y in range(12, 22):
        for x in range(23, 26):
            put(x, y, GREEN if x == 25 else LIME)
    for row, half in enumerate(range(4, -1, -1)):
        y = 18 + row
        for x in range(24 - half, 25 + half):
            put(x, y, LIME if x < 24 + half else GREEN)
    return px


def ico_bytes(px):
    width = height = SIZE
    xor_rows = []
    and_rows = []
    for y in reversed(range(height)):  # bottom-up
        row = px[y]
        packed = bytearray()
        for x in range(0, width, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            packed.append((hi << 4) | lo)
        xor_rows.append(bytes(packed))
        mask = 0
        for x in range(width):
            mask = (mask << 1) | (1 if row[x] is None else 0)
        and_rows.append(mask.to_bytes(4, "big"))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = (struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0,
                         len(b"".join(xor_rows)) + len(b"".join(and_rows)), 0, 0, 16, 0)
             + palette + b"".join(xor_rows) + b"".join(and_rows))
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16)
    return header + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "tovaico.ico")
    with open(out, "wb") as f:
        f.write(ico_bytes(draw()))


if __name__ == "__main__":
    main()
