#!/usr/bin/env python3
"""Draws the launcher's icon and writes it as a Windows .ico file.

Twelve square 32-bit images, each stored as a PNG: a rounded teal chip with
a white arrow pointing down into it (firmware going onto a device). Drawn
from geometry with 4x4 supersampling, so every size is crisp and the output
is the same on every run.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 72, 80, 96, 128, 256)
SAMPLES = 4
BODY = (0x00, 0x6D, 0x77)
EDGE = (0x00, 0x4B, 0x52)
ARROW = (0xFF, 0xFF, 0xFF)


def inside_rounded_square(x, y, inset, radius):
    lo, hi = inset, 1.0 - inset
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def inside_arrow(x, y):
    # Shaft, then a triangular head pointing down.
    if 0.42 <= x <= 0.58 and 0.20 <= y <= 0.55:
        return True
    if 0.50 <= y <= 0.80:
        half = 0.24 * (0.80 - y) / 0.30
        return abs(x - 0.5) <= half
    return False


def colour_at(x, y):
    if not inside_rounded_square(x, y, 0.04, 0.16):
        return None
    if inside_arrow(x, y):
        return ARROW
    if not inside_rounded_square(x, y, 0.09, 0.12):
        return EDGE
    return BODY


def render(size):
    rows = []
    step = 1.0 / (size * SAMPLES)
    for py in range(size):
        row = bytearray([0])  # PNG filter type: none
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px * SAMPLES + sx + 0.5) * step, (py * SAMPLES + sy + 0.5) * step)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            if a:
                row += bytes((r // a, g // a, b // a, a * 255 // (SAMPLES * SAMPLES)))
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b"")


def main():
    images = [png(size, render(size)) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        dim = size % 256  # 256 is written as 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
