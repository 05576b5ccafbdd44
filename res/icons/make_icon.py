#!/usr/bin/env python3
"""Draws the application icon (a mission disc with a down arrow) as 32x32 and 48x48 PNG files."""
import math
import struct
import sys
import zlib


def png(path, size, pixel):
    rows = b"".join(
        b"\0" + b"".join(bytes(pixel(x, y, size)) for x in range(size)) for y in range(size))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows, 9)))
        f.write(chunk(b"IEND", b""))


def pixel(x, y, size):
    s = size / 32.0
    cx = cy = size / 2.0 - 0.5
    r = math.hypot(x - cx, y - cy)
    if r > 15.2 * s:
        return (0, 0, 0, 0)
    if r > 13.6 * s:
        return (24, 40, 72, 255)
    # An arrow pointing down into a tray: the mission arriving.
    u, v = (x - cx) / s, (y - cy) / s
    if abs(u) <= 2.2 and -9 <= v <= 2:
        return (255, 170, 40, 255)
    if v > 1 and v < 8 and abs(u) <= (8 - v) * 1.1:
        return (255, 170, 40, 255)
    if 9 <= v <= 10.5 and abs(u) <= 8:
        return (230, 230, 240, 255)
    shade = int(60 + 50 * (1 - r / (14 * s)))
    return (28, 58, shade + 80, 255)


out = sys.argv[1] if len(sys.argv) > 1 else "."
for size in (32, 48):
    png(f"{out}/torv-{size}.png", size, pixel)
