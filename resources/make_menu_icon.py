#!/usr/bin/env python3
"""Draws MenuIcon.png, the status icon: a hard drive seen from the front, 18 x 18 points.

The picture has 2 pixels a point (36 x 36) and says so in its pHYs chunk (144 dpi), so that a
Retina menu bar draws it sharp at the 18 x 18 points the image is given. A light body with a dark
outline reads on light and dark bars alike. Shapes are sampled 8 x 8 times per pixel for smooth
edges. This is the macOS bundle's status icon; the Linux program and the application icons are
rendered from kavelin.svg. Standard library only: python3 make_menu_icon.py [output]
"""
import struct
import sys
import zlib

SIZE = 18  # points
SCALE = 2  # pixels a point
SAMPLES = 8


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


OUTLINE = (38, 38, 42)
outer = rounded_rect(0.5, 4.5, 17.5, 14.5, 2.6)
inner = rounded_rect(1.5, 5.5, 16.5, 13.5, 1.7)
# Layers, last wins: (shape, colour at (x, y)).
layers = [
    (outer, lambda x, y: OUTLINE),
    (inner, lambda x, y: lerp((236, 236, 238), (176, 178, 184), (y - 5.5) / 8)),
    (rect(1.5, 10.0, 16.5, 10.9), lambda x, y: (90, 92, 98)),          # panel seam
    (rect(3.5, 11.8, 9.5, 12.5), lambda x, y: (110, 112, 118)),        # slot
    (circle(13.8, 12.1, 1.1), lambda x, y: (40, 190, 70)),             # activity light
]


def pixel(px, py, scale=SCALE, samples=SAMPLES):
    r = g = b = a = 0.0
    for sy in range(samples):
        for sx in range(samples):
            x = (px + (sx + 0.5) / samples) / scale
            y = (py + (sy + 0.5) / samples) / scale
            colour = None
            for shape, paint in layers:
                if shape(x, y):
                    colour = paint(x, y)
            if colour:
                r, g, b, a = r + colour[0], g + colour[1], b + colour[2], a + 1
    n = samples * samples
    if a == 0:
        return (0, 0, 0, 0)
    return (round(r / a), round(g / a), round(b / a), round(255 * a / n))


def pixels_per_metre(scale):
    """72 dpi times the scale, in pixels a metre as PNG counts them."""
    return round(72 * scale / 0.0254)


def png(width, height, rows, scale=SCALE):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"pHYs", struct.pack(">IIB", pixels_per_metre(scale), pixels_per_metre(scale), 1))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main(arguments):
    output = arguments[0] if arguments else "MenuIcon.png"
    pixels = SIZE * SCALE
    rows = [[pixel(x, y) for x in range(pixels)] for y in range(pixels)]
    with open(output, "wb") as f:
        f.write(png(pixels, pixels, rows))


if __name__ == "__main__":
    main(sys.argv[1:])
