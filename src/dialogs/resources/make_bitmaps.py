#!/usr/bin/env python3
"""Draws the dialogs' five small bitmaps (24-bit BMP) into this folder.

DLL, BPL, VCL and PAS are the 16x16 icons of the detailed view's lists (library, package,
executable, source line); MONITOR is the 32x32 icon painted into the exception dialog, whose
bottom-left pixel (magenta) is its transparent colour. Run it again after changing a drawing;
the BMPs themselves are committed.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write_bmp(name, pixels):
    h = len(pixels)
    w = len(pixels[0])
    row_bytes = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r))
        line += b"\0" * (row_bytes - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(HERE, name + ".bmp"), "wb") as f:
        f.write(header + info + data)


def canvas(size, colour):
    return [[colour] * size for _ in range(size)]


def box(p, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            p[y][x] = colour


def frame(p, x0, y0, x1, y1, colour):
    for x in range(x0, x1 + 1):
        p[y0][x] = p[y1][x] = colour
    for y in range(y0, y1 + 1):
        p[y][x0] = p[y][x1] = colour


WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREY = (160, 160, 160)
DARK = (64, 64, 64)

# DLL: a grey chip with pins.
p = canvas(16, WHITE)
box(p, 3, 3, 12, 12, GREY)
frame(p, 3, 3, 12, 12, DARK)
for i in range(4, 12, 2):
    p[1][i] = p[2][i] = p[13][i] = p[14][i] = DARK
write_bmp("DLL", p)

# BPL: a brown parcel with a string.
p = canvas(16, WHITE)
box(p, 2, 4, 13, 13, (196, 150, 90))
frame(p, 2, 4, 13, 13, (110, 70, 30))
box(p, 7, 4, 8, 13, (230, 40, 40))
box(p, 2, 8, 13, 9, (230, 40, 40))
write_bmp("BPL", p)

# VCL: a program window with a blue title bar.
p = canvas(16, WHITE)
box(p, 1, 2, 14, 13, (230, 230, 230))
box(p, 1, 2, 14, 4, (20, 60, 180))
frame(p, 1, 2, 14, 13, DARK)
write_bmp("VCL", p)

# PAS: a yellow page with lines of text.
p = canvas(16, WHITE)
box(p, 3, 1, 12, 14, (255, 240, 150))
frame(p, 3, 1, 12, 14, (150, 120, 20))
for y in (4, 6, 8, 10, 12):
    box(p, 5, y, 10 if y % 4 else 8, y, DARK)
write_bmp("PAS", p)

# MONITOR: a screen with a red cross on a magenta (transparent) background.
MAGENTA = (255, 0, 255)
p = canvas(32, MAGENTA)
box(p, 2, 3, 29, 22, (200, 200, 200))
frame(p, 2, 3, 29, 22, BLACK)
box(p, 5, 6, 26, 19, (30, 60, 140))
for i in range(10):
    for d in (0, 1):
        p[8 + i][11 + i + d] = (230, 30, 30)
        p[8 + i][20 - i + d] = (230, 30, 30)
box(p, 13, 23, 18, 25, GREY)
box(p, 8, 26, 23, 28, GREY)
frame(p, 8, 26, 23, 28, DARK)
write_bmp("MONITOR", p)
