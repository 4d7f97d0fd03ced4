#!/usr/bin/env python3
"""Draws the launcher's icon for the desktop's icon theme: appicon.py SIZE OUT.png

The same picture as the window's built-in exeicon.png (a brown box with a lighter lid and a
green arrow going in), described on that image's 32-unit grid but as shapes rather than
pixels, so that every size is drawn sharp instead of enlarged. Each pixel averages a few
samples, which smooths the arrow's slopes; the outline gets thinner, relative to the picture,
as the size grows, so large icons do not look heavy. Standard library only.
"""
import struct
import sys
import zlib

CLEAR = (0, 0, 0, 0)
OUTLINE = (60, 60, 60, 255)
LID = (222, 184, 135, 255)
BOX = (181, 136, 82, 255)
ARROW = (40, 160, 60, 255)

# Rectangles as (left, top, right, bottom) on the 32-unit grid.
LID_RECT = (4, 4, 28, 12)
BOX_RECT = (6, 11, 26, 29)
STEM_RECT = (14, 14, 18, 23)
HEAD_TOP, HEAD_APEX, HEAD_CENTRE, HEAD_HALF_WIDTH = 22, 26, 16, 3


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def inside(u, v, rect):
    left, top, right, bottom = rect
    return left <= u < right and top <= v < bottom


def near_edge(u, v, rect, width):
    left, top, right, bottom = rect
    return min(u - left, right - u, v - top, bottom - v) < width


def in_arrow(u, v):
    if inside(u, v, STEM_RECT):
        return True
    if HEAD_TOP <= v < HEAD_APEX:
        half = HEAD_HALF_WIDTH * (HEAD_APEX - v) / (HEAD_APEX - HEAD_TOP)
        return abs(u - HEAD_CENTRE) <= half
    return False


def colour(u, v, outline):
    # The lid lies over the box's top edge, as in the 32-pixel image.
    if inside(u, v, LID_RECT):
        return OUTLINE if near_edge(u, v, LID_RECT, outline) else LID
    if inside(u, v, BOX_RECT):
        if near_edge(u, v, BOX_RECT, outline):
            return OUTLINE
        return ARROW if in_arrow(u, v) else BOX
    return CLEAR


def draw(size):
    unit = size / 32
    # One pixel wide up to 32 pixels, then a thinner share of the picture.
    outline = max(1.0, 0.6 * unit) / unit
    samples = 4 if size <= 64 else 2
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / unit
                    v = (y + (sy + 0.5) / samples) / unit
                    cr, cg, cb, ca = colour(u, v, outline)
                    r += cr * ca
                    g += cg * ca
                    b += cb * ca
                    a += ca
            if a:
                row += [round(r / a), round(g / a), round(b / a), round(a / samples ** 2)]
            else:
                row += [0, 0, 0, 0]
        rows.append(row)
    return png(size, size, rows)


if __name__ == "__main__":
    if len(sys.argv) != 3 or not sys.argv[1].isdigit() or int(sys.argv[1]) < 8:
        sys.exit("usage: appicon.py SIZE OUT.png")
    with open(sys.argv[2], "wb") as out:
        out.write(draw(int(sys.argv[1])))
