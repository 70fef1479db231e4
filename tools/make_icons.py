#!/usr/bin/env python3
"""Writes the program's icons (16-colour, with masks) into res/.

  tessarel.ico    group 128: the emblem, a disk platter on a sector grid, 32x32 and 16x16
  misaligned.ico  group 131: 32x32 blank, 16x16 red exclamation mark
  unknown.ico     group 132: 32x32 only, blue question mark on white with grey edges
"""
import os
import struct
import sys

# The standard 16-colour palette (index: (R, G, B)).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
NAVY, SILVER, RED, BLUE, WHITE = 4, 7, 9, 12, 15
CLEAR = None  # a transparent pixel


def image(size, pixels):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colour rows, 1-bit mask rows."""
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up
        row = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(size):
            p = pixels[y][x]
            if p is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
                p = 0
            row[x // 2] |= p << (4 if x % 2 == 0 else 0)
        xor += row
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def icon_file(images):
    """An .ico file holding images, a list of (size, pixels)."""
    blobs = [image(size, pixels) for size, pixels in images]
    out = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for (size, _), blob in zip(images, blobs):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blobs)


def blank(size, fill=CLEAR):
    return [[fill] * size for _ in range(size)]


def emblem(size):
    """A platter (circle outline) over a 3x3 sector grid, one colour, line drawing."""
    px = blank(size)
    c = (size - 1) / 2.0
    r = size / 2.0 - 1
    for y in range(size):
        for x in range(size):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if abs(d - r) < 0.55 or abs(d - r / 4.0) < 0.5:
                px[y][x] = NAVY
    step = size // 4
    for k in (step, 2 * step, 3 * step):
        for i in range(size):
            if ((i - c) ** 2 + (k - c) ** 2) ** 0.5 <= r:
                px[k][i] = NAVY
                px[i][k] = NAVY
    return px


def exclamation():
    px = blank(16)
    marks = [(2, [7])] + [(y, [6, 7, 8]) for y in range(3, 9)] + [(9, [7]), (10, [7]),
             (12, [7]), (13, [6, 7, 8]), (14, [7])]
    for y, xs in marks:
        for x in xs:
            px[y][x] = RED
    return px


QUESTION = [  # 15 x 23; '#' blue, '+' light grey along the curves, '.' white
    "....#######....",
    "..+#########+..",
    ".+####+++####+.",
    ".####+...+####.",
    "####+.....+####",
    "####.......####",
    "####.......####",
    ".++........####",
    "..........+####",
    ".........+####+",
    "........+####+.",
    ".......+####+..",
    "......+####+...",
    "......####+....",
    "......####.....",
    "......####.....",
    "......####.....",
    "...............",
    "...............",
    "......####.....",
    "......####.....",
    "......####.....",
    "......####.....",
]


def question():
    px = blank(32, WHITE)
    top = (32 - len(QUESTION)) // 2
    left = (32 - len(QUESTION[0])) // 2
    colours = {'#': BLUE, '+': SILVER, '.': WHITE}
    for y, line in enumerate(QUESTION):
        for x, ch in enumerate(line):
            px[top + y][left + x] = colours[ch]
    return px


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'res')
    files = {
        'tessarel.ico': [(32, emblem(32)), (16, emblem(16))],
        'misaligned.ico': [(32, blank(32)), (16, exclamation())],
        'unknown.ico': [(32, question())],
    }
    for name, images in files.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(icon_file(images))


if __name__ == '__main__':
    main()
