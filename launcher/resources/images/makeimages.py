#!/usr/bin/env python3
"""Draws the window's built-in images as PNG files beside this script.

exeicon: the launcher's own picture (a box with a lid), folclose/folopen: closed and open
folders, white32: the plain background under the large picture, document/program: the
pictures of a file whose type the desktop has no icon for and of a Windows program. Run it
again after changing a drawing; the PNG files are checked in.
"""
import struct
import zlib
from pathlib import Path


def png(width, height, pixel):
    rows = b""
    for y in range(height):
        rows += b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


CLEAR = (0, 0, 0, 0)
OUTLINE = (60, 60, 60, 255)


def inside(x, y, left, top, right, bottom):
    return left <= x <= right and top <= y <= bottom


def edge(x, y, left, top, right, bottom):
    return inside(x, y, left, top, right, bottom) and (
        x in (left, right) or y in (top, bottom))


def exeicon(x, y):
    # A brown box with a lighter lid and a green arrow going in.
    if edge(x, y, 4, 4, 27, 11) or edge(x, y, 6, 11, 25, 28):
        return OUTLINE
    if inside(x, y, 4, 4, 27, 11):
        return (222, 184, 135, 255)
    if inside(x, y, 6, 11, 25, 28):
        if inside(x, y, 14, 14, 17, 22) or (y >= 22 and abs(x - 15.5) <= 25 - y):
            return (40, 160, 60, 255)
        return (181, 136, 82, 255)
    return CLEAR


def folder(open_):
    def draw(x, y):
        if edge(x, y, 1, 3, 6, 5) or edge(x, y, 1, 5, 14, 13):
            return OUTLINE
        if inside(x, y, 1, 3, 6, 5):
            return (240, 200, 80, 255)
        if inside(x, y, 1, 5, 14, 13):
            if open_ and y >= 8:
                return (255, 230, 140, 255)
            return (240, 200, 80, 255)
        return CLEAR
    return draw


def document(x, y):
    # A white sheet with its top right corner folded over.
    if y < 2 or y > 29 or x < 6 or x > 25 or x - 19 > y:
        return CLEAR
    if x == 6 or x == 25 or y == 29 or y == 2 or x - 19 == y or (x == 19 and y <= 8) or (
            y == 8 and x >= 19):
        return OUTLINE
    if x > 19 and y < 8:
        return (215, 215, 215, 255)
    return (255, 255, 255, 255)


def program(x, y):
    # A window: a blue title bar over a white client area.
    if edge(x, y, 2, 5, 29, 26):
        return OUTLINE
    if inside(x, y, 3, 6, 28, 9):
        return (40, 90, 200, 255)
    if inside(x, y, 3, 10, 28, 25):
        return (255, 255, 255, 255)
    return CLEAR


here = Path(__file__).resolve().parent
(here / "exeicon.png").write_bytes(png(32, 32, exeicon))
(here / "folclose.png").write_bytes(png(16, 16, folder(False)))
(here / "folopen.png").write_bytes(png(16, 16, folder(True)))
(here / "white32.png").write_bytes(png(32, 32, lambda x, y: (255, 255, 255, 255)))
(here / "document.png").write_bytes(png(32, 32, document))
(here / "program.png").write_bytes(png(32, 32, program))
