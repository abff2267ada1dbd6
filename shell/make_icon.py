#!/usr/bin/env python3
"""Draws the program icon: a shield with a path through it, 32 by 32 pixels,
as 16-colour, 256-colour and 32-bit images in one .ico file. Deterministic:
the same file comes out every time."""
import struct
import sys

SIZE = 32
# Palette indices shared by the paletted images.
TRANSPARENT, OUTLINE, SHIELD, PATH = 0, 1, 2, 3
COLOURS = {  # (blue, green, red)
    TRANSPARENT: (0, 0, 0),
    OUTLINE: (64, 32, 16),
    SHIELD: (160, 96, 32),
    PATH: (224, 240, 248),
}


def shield(x, y):
    """Which colour the pixel (x, y) takes; y grows downwards."""
    cx = x - 15.5
    if y < 3 or y > 29:
        return TRANSPARENT
    half = 13 if y < 16 else 13 * (29 - y) / 13.0
    if abs(cx) > half:
        return TRANSPARENT
    if abs(cx) > half - 2 or y < 5:
        return OUTLINE
    # A winding path from the top to the bottom.
    centre = 15.5 + 5 * (1 if (y // 8) % 2 else -1) * (1 - abs((y % 8) - 4) / 4.0)
    if abs(x - centre) < 2.2:
        return PATH
    return SHIELD


def pixels():
    return [[shield(x, y) for x in range(SIZE)] for y in range(SIZE)]


def and_mask(grid):
    rows = []
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if grid[y][x] == TRANSPARENT else 0)
        rows.append(struct.pack(">I", bits))  # 32 bits: already 4-byte aligned
    return b"".join(rows)


def dib(bpp, grid):
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    body = b""
    if bpp in (4, 8):
        count = 1 << bpp
        palette = b"".join(
            struct.pack("<BBBB", *COLOURS.get(i, (0, 0, 0)), 0) for i in range(count))
        rows = []
        for y in reversed(range(SIZE)):
            if bpp == 8:
                row = bytes(grid[y])
            else:
                row = bytes((grid[y][x] << 4) | grid[y][x + 1] for x in range(0, SIZE, 2))
            rows.append(row)
        body = palette + b"".join(rows)
    else:
        rows = []
        for y in reversed(range(SIZE)):
            row = b""
            for x in range(SIZE):
                c = grid[y][x]
                alpha = 0 if c == TRANSPARENT else 255
                row += struct.pack("<BBBB", *COLOURS[c], alpha)
            rows.append(row)
        body = b"".join(rows)
    return header + body + and_mask(grid)


def main(path):
    grid = pixels()
    images = [(4, 16, dib(4, grid)), (8, 0, dib(8, grid)), (32, 0, dib(32, grid))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bpp, colours, data in images:
        out += struct.pack("<BBBBHHII", SIZE, SIZE, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
