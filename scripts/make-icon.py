#!/usr/bin/env python3
"""Draws the program's icon: one 32x32 image with a 256-colour palette, as a
Windows .ico file. The picture is the adapter: a grey box with its SCSI
connector on top, a green activity lamp, and the USB cable leaving on the
right with its plug.

Usage: make-icon.py OUTPUT.ico [--png OUTPUT.png]

Only the standard library is used; the .ico is written byte by byte (icon
directory, BITMAPINFOHEADER, palette, bottom-up pixel rows, AND mask).
"""

import struct
import sys
import zlib

SIZE = 32

# Palette index -> (red, green, blue). Index 0 is the transparent colour.
PALETTE = {
    0: (0, 0, 0),  # transparent (masked)
    1: (32, 32, 40),  # outline
    2: (168, 172, 180),  # case face
    3: (210, 214, 222),  # case highlight
    4: (112, 116, 126),  # case shadow
    5: (196, 160, 48),  # connector pins
    6: (70, 72, 80),  # connector body
    7: (40, 200, 80),  # activity lamp
    8: (20, 110, 40),  # lamp rim
    9: (30, 80, 170),  # USB cable
    10: (220, 222, 228),  # USB plug metal
    11: (90, 92, 100),  # plug shell shadow
    12: (250, 250, 250),  # label
    13: (200, 40, 40),  # label stripe
}


def draw():
    px = [[0] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                if 0 <= x < SIZE and 0 <= y < SIZE:
                    px[y][x] = c

    def frame(x0, y0, x1, y1, c):
        rect(x0, y0, x1, y0, c)
        rect(x0, y1, x1, y1, c)
        rect(x0, y0, x0, y1, c)
        rect(x1, y0, x1, y1, c)

    # SCSI connector on top of the box: dark body with a row of gold pins.
    rect(5, 5, 20, 9, 6)
    frame(5, 5, 20, 9, 1)
    for x in range(7, 19, 2):
        px[7][x] = 5
    # The box: face, top highlight, bottom and right shadow, outline.
    rect(2, 10, 23, 27, 2)
    rect(3, 11, 22, 12, 3)
    rect(3, 26, 22, 26, 4)
    rect(22, 11, 22, 26, 4)
    frame(2, 10, 23, 27, 1)
    # Label with a red stripe, and the activity lamp.
    rect(5, 15, 15, 21, 12)
    rect(5, 15, 15, 16, 13)
    frame(4, 14, 16, 22, 4)
    rect(18, 22, 20, 24, 7)
    frame(17, 21, 21, 25, 8)
    # USB cable from the box's right side, bending down to the plug.
    rect(24, 16, 27, 17, 9)
    rect(26, 16, 27, 22, 9)
    # USB-A plug: shell with its two contact windows.
    rect(24, 23, 29, 30, 10)
    frame(24, 23, 29, 30, 11)
    rect(25, 27, 25, 28, 1)
    rect(28, 27, 28, 28, 1)
    return px


def ico_bytes(px):
    header = struct.pack("<HHH", 0, 1, 1)
    palette = b"".join(
        struct.pack("BBBB", *reversed(PALETTE.get(i, (0, 0, 0))), 0) for i in range(256)
    )
    # Pixel rows bottom-up, one byte per pixel (32 bytes: already 4-aligned).
    xor = b"".join(bytes(px[y]) for y in reversed(range(SIZE)))
    # AND mask: 1 bit per pixel, set where the pixel is transparent.
    rows = []
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if px[y][x] == 0 else 0)
        rows.append(struct.pack(">I", bits))
    mask = b"".join(rows)
    info = struct.pack(
        "<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0
    )
    image = info + palette + xor + mask
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return header + entry + image


def png_bytes(px, scale=8):
    """A magnified preview, for looking at the drawing."""
    raw = b""
    for y in range(SIZE * scale):
        row = b"\x00"
        for x in range(SIZE * scale):
            c = px[y // scale][x // scale]
            row += bytes(PALETTE[c]) + (b"\x00" if c == 0 else b"\xff")
        raw += row

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    ihdr = struct.pack(">IIBBBBB", SIZE * scale, SIZE * scale, 8, 6, 0, 0, 0)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", ihdr)
        + chunk(b"IDAT", zlib.compress(raw))
        + chunk(b"IEND", b"")
    )


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--png"):
        sys.stderr.write("usage: make-icon.py OUTPUT.ico [--png OUTPUT.png]\n")
        return 2
    px = draw()
    with open(argv[1], "wb") as out:
        out.write(ico_bytes(px))
    if len(argv) == 4:
        with open(argv[3], "wb") as out:
            out.write(png_bytes(px))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
