#!/usr/bin/env python3
"""Draws the program's icon, a navy square with a throttle lever, from one
list of rectangles on a 48 x 48 grid, and writes it in every form the
packages need:

  zq-thrust.svg   the scalable icon (Linux: hicolor/scalable/apps)
  zq-thrust.png   48 x 48 (Linux: hicolor/48x48/apps)
  zq-thrust.ico   16, 32 and 48 pixels (Windows: the icon of zq-thrust.exe)

The files are kept in the repository; run this again after changing the
drawing:  python3 packaging/icons/make_icons.py
"""
import os
import struct
import zlib

GRID = 48
NAVY = (0, 0, 128)
# (left, top, width, height, colour) on the 48 grid, painted in this order:
# the panel's navy, a scale of white ticks, the lever's slot, the throttle
# set in the panel's yellow, and the white lever handle.
SHAPES = [
    (0, 0, 48, 48, NAVY),
    (8, 6, 7, 2, (255, 255, 255)),
    (8, 14, 5, 2, (255, 255, 255)),
    (8, 22, 7, 2, (255, 255, 255)),
    (8, 30, 5, 2, (255, 255, 255)),
    (8, 38, 7, 2, (255, 255, 255)),
    (21, 6, 8, 36, (40, 40, 150)),
    (21, 24, 8, 18, (255, 255, 0)),
    (16, 20, 18, 6, (255, 255, 255)),
]


def svg():
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" '
             'viewBox="0 0 48 48">']
    for x, y, w, h, (r, g, b) in SHAPES:
        lines.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="#%02x%02x%02x"/>'
                     % (x, y, w, h, r, g, b))
    lines.append('</svg>')
    return "\n".join(lines) + "\n"


def render(size):
    """Rows of (r, g, b) at `size` pixels: painted at 96 pixels, then each
    output pixel averages the block it covers (96 is a multiple of 16, 32, 48)."""
    fine = 96
    scale = fine // GRID
    canvas = [[(0, 0, 0)] * fine for _ in range(fine)]
    for x, y, w, h, colour in SHAPES:
        for row in range(y * scale, (y + h) * scale):
            for col in range(x * scale, (x + w) * scale):
                canvas[row][col] = colour
    step = fine // size
    rows = []
    for oy in range(size):
        row = []
        for ox in range(size):
            block = [canvas[oy * step + dy][ox * step + dx]
                     for dy in range(step) for dx in range(step)]
            row.append(tuple(round(sum(p[i] for p in block) / len(block)) for i in range(3)))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for p in row for v in (*p, 255)) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(sizes):
    """Classic icon images (32-bit DIB, bottom-up, with an all-opaque mask),
    which every Windows version and every resource compiler reads."""
    images = []
    for size in sizes:
        rows = render(size)
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = b"".join(bytes(v for p in row for v in (p[2], p[1], p[0], 255))
                          for row in reversed(rows))
        mask = b"\0" * (((size + 31) // 32) * 4 * size)
        images.append((size, header + pixels + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "zq-thrust.svg"), "w", newline="\n") as f:
        f.write(svg())
    with open(os.path.join(here, "zq-thrust.png"), "wb") as f:
        f.write(png(render(48)))
    with open(os.path.join(here, "zq-thrust.ico"), "wb") as f:
        f.write(ico([16, 32, 48]))


if __name__ == "__main__":
    main()
