#!/usr/bin/env python3
"""Writes a photo-like landscape as a 24-bit BMP file, for screenshots and manual trials: a sky
with a soft sun, two ranges of fractal mountains, a lake reflecting them and a meadow with fine
grain, so that a sharp and a blurred display of it look different.
Usage: make_photo.py OUT.bmp [WIDTH HEIGHT]"""
import math
import random
import struct
import sys


def ridge(width, rough, seed):
    """A mountain skyline by midpoint displacement, heights 0..1, one per column."""
    rnd = random.Random(seed)
    size = 1
    while size < width:
        size *= 2
    h = [0.0] * (size + 1)
    h[0], h[size] = rnd.random(), rnd.random()
    step, spread = size, 0.5
    while step > 1:
        for i in range(step // 2, size, step):
            h[i] = (h[i - step // 2] + h[i + step // 2]) / 2 + rnd.uniform(-spread, spread)
        step //= 2
        spread *= rough
    lo, hi = min(h), max(h)
    return [(v - lo) / (hi - lo) for v in h[:width]]


def main():
    out = sys.argv[1]
    width, height = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) > 3 else (1600, 1200)
    rnd = random.Random(7)
    far, near = ridge(width, 0.55, 1), ridge(width, 0.6, 2)
    shore = int(height * 0.62)
    sun_x, sun_y = width * 0.72, height * 0.2
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            # the scene above the shore; below it, the lake mirrors it until the meadow starts
            meadow = y > shore + height * 0.12 + 25 * math.sin(x / width * 7)
            sy = y if y < shore else 2 * shore - y
            if meadow:
                g = rnd.random()
                r, gr, b = 60 + 40 * g, 110 + 60 * g, 30 + 20 * g
                fade = (y - shore) / height
                r, gr, b = r * (1 - fade * 0.5), gr * (1 - fade * 0.4), b
            elif sy > shore - near[x] * height * 0.22:
                shade = 0.6 + 0.4 * rnd.random()
                r, gr, b = 45 * shade, 85 * shade, 50 * shade
            elif sy > shore - far[x] * height * 0.38:
                t = (shore - sy) / (height * 0.38)
                snow = t > 0.8 - 0.15 * far[(x * 5) % width]
                r, gr, b = (235, 238, 245) if snow else (105 + 40 * t, 110 + 40 * t, 135 + 50 * t)
            else:
                t = sy / shore
                r, gr, b = 70 + 120 * t, 130 + 90 * t, 215 + 30 * t
                d = math.hypot(x - sun_x, sy - sun_y) / (height * 0.06)
                glow = max(0.0, 1.2 - d)
                r, gr, b = r + 200 * glow, gr + 180 * glow, b + 80 * glow
            if not meadow and y >= shore:
                ripple = 0.85 + 0.1 * math.sin(y * 1.7 + x * 0.05)
                r, gr, b = r * ripple * 0.8, gr * ripple * 0.85, b * ripple * 0.95 + 20
            row += bytes((min(255, int(b)), min(255, int(gr)), min(255, int(r))))
        row += b"\0" * ((4 - len(row) % 4) % 4)
        rows.append(bytes(row))
    data = b"".join(reversed(rows))
    header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(out, "wb") as f:
        f.write(header + info + data)


main()
