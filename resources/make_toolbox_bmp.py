#!/usr/bin/env python3
"""Writes resources/toolbox.bmp, the control's 16x16 toolbox picture: a small
monitor with a bar chart on its screen. 4 bits per pixel, uncompressed, the
16-colour palette of the system. Run once at authoring time; the .bmp is kept
in the tree."""
import os
import struct
import sys

PALETTE = [  # B, G, R, 0
    (0x00, 0x00, 0x00), (0x00, 0x00, 0x80), (0x00, 0x80, 0x00), (0x00, 0x80, 0x80),
    (0x80, 0x00, 0x00), (0x80, 0x00, 0x80), (0x80, 0x80, 0x00), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0x00, 0x00, 0xFF), (0x00, 0xFF, 0x00), (0x00, 0xFF, 0xFF),
    (0xFF, 0x00, 0x00), (0xFF, 0x00, 0xFF), (0xFF, 0xFF, 0x00), (0xFF, 0xFF, 0xFF),
]

# One character per pixel, top row first; each names a palette index (hex).
# 7 = light grey (the usual transparent toolbox background), 0 = black frame,
# 4 = dark blue screen, a = green and e = cyan bars, 8 = dark grey stand.
PICTURE = [
    "7777777777777777",
    "7000000000000007",
    "7044444444444407",
    "70444444444e4407",
    "70444444444e4407",
    "704444a4444e4407",
    "704444a44e4e4407",
    "7044a4a44e4e4407",
    "7044a4a44e4e4407",
    "7044444444444407",
    "7000000000000007",
    "7777777007777777",
    "7777777887777777",
    "7777888888887777",
    "7777000000007777",
    "7777777777777777",
]


def build():
    assert len(PICTURE) == 16 and all(len(row) == 16 for row in PICTURE)
    rows = []
    for row in reversed(PICTURE):  # bottom-up
        nibbles = [int(c, 16) for c in row]
        rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, 16, 2)))
    pixels = b"".join(rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for b, g, r in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "toolbox.bmp")
    with open(out, "wb") as f:
        f.write(build())


if __name__ == "__main__":
    main()
