#!/usr/bin/env python3
"""Writes the program's icon: one 32 x 32 image in the 16 standard colours, a
text page behind a form window with a two-way arrow, as a .ico file.

Usage: python3 tools/make_icon.py src/cli/quenlo.ico [preview.png]
The optional PNG is an 8x enlargement, for looking at the picture.
"""

import struct
import sys
import zlib

SIZE = 32
TRANSPARENT = None

# The 16 colours of the standard palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GRAY, RED, WHITE = 0, 4, 7, 8, 9, 15


def draw():
    """The picture, row 0 at the top; None is transparent."""
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def box(x0, y0, x1, y1, fill, border=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                pixels[y][x] = border if edge and border is not None else fill

    # The text page, its top right corner folded.
    box(1, 1, 18, 23, WHITE, BLACK)
    for step in range(5):
        for x in range(14 + step, 19):
            pixels[1 + step][x] = TRANSPARENT
        pixels[1 + step][13 + step] = BLACK
        for x in range(13, 13 + step):
            pixels[1 + step][x] = GRAY
    for x in range(13, 19):
        pixels[6][x] = BLACK
    for y in range(1, 7):
        pixels[y][13] = BLACK
    for y, end in ((5, 11), (8, 15), (11, 9), (14, 15), (17, 7), (20, 7)):
        for x in range(4, end + 1):
            pixels[y][x] = GRAY

    # The form window: title bar, an edit field and a button.
    box(10, 11, 30, 30, SILVER, BLACK)
    box(11, 12, 29, 14, NAVY)
    box(26, 12, 28, 14, SILVER)
    box(12, 17, 28, 19, WHITE, GRAY)
    box(19, 24, 28, 28, SILVER)
    for x in range(19, 29):
        pixels[24][x] = WHITE
        pixels[28][x] = BLACK
    for y in range(24, 29):
        pixels[y][19] = WHITE if y < 28 else BLACK
        pixels[y][28] = BLACK
    box(12, 22, 16, 22, GRAY)
    box(12, 25, 16, 25, GRAY)

    # The two-way arrow between the shapes.
    for x in range(20, 31):
        pixels[4][x] = RED
        pixels[5][x] = RED
    for d in range(1, 3):
        for y in range(4 - d, 6 + d):
            pixels[y][20 + d] = RED
            pixels[y][30 - d] = RED
    return pixels


def icon_bytes(pixels):
    xor_rows = []
    and_rows = []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        nibbles = [0 if p is None else p for p in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        mask = 0
        for p in row:
            mask = (mask << 1) | (1 if p is None else 0)
        and_rows.append(mask.to_bytes(SIZE // 8, "big"))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image_size = len(b"".join(xor_rows)) + len(b"".join(and_rows))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, image_size, 0, 0, 16, 0)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def png_bytes(pixels, scale=8):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b""
    for row in pixels:
        line = b"".join(
            (bytes((255, 0, 255)) if p is None else bytes(PALETTE[p])) * scale for p in row)
        raw += (b"\0" + line) * scale
    header = struct.pack(">IIBBBBB", SIZE * scale, SIZE * scale, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    pixels = draw()
    with open(sys.argv[1], "wb") as out:
        out.write(icon_bytes(pixels))
    if len(sys.argv) == 3:
        with open(sys.argv[2], "wb") as out:
            out.write(png_bytes(pixels))


if __name__ == "__main__":
    main()
