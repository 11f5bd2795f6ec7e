#!/usr/bin/env python3
# Draws the application icon (a camera with a lens and a red record dot) and writes
# resources/app.ico with ten 32-bit BGRA images of 16 to 256 pixels.
# Run from the repository root:  python3 tools/make_icon.py resources/app.ico
# Standard library only. Edges are anti-aliased from signed distances in pixel units, so every
# size is drawn from the same shapes instead of being scaled from one bitmap.
import math
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64, 96, 128, 256)

BODY = (0x2F, 0x4A, 0x6B)
RING = (0xF2, 0xF5, 0xF8)
LENS = (0x3F, 0xA9, 0xF5)
RECORD = (0xE8, 0x45, 0x3C)


def rounded_box(px, py, cx, cy, hw, hh, r):
    qx = abs(px - cx) - (hw - r)
    qy = abs(py - cy) - (hh - r)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - r


def circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


# Layers from back to front: (distance function of a point in 0..1 units, colour, opacity).
LAYERS = (
    (lambda x, y: min(rounded_box(x, y, 0.50, 0.57, 0.46, 0.31, 0.09),
                      rounded_box(x, y, 0.31, 0.25, 0.13, 0.07, 0.04)), BODY, 1.0),
    (lambda x, y: circle(x, y, 0.50, 0.58, 0.22), RING, 1.0),
    (lambda x, y: circle(x, y, 0.50, 0.58, 0.145), LENS, 1.0),
    (lambda x, y: circle(x, y, 0.455, 0.535, 0.045), RING, 0.8),
    (lambda x, y: circle(x, y, 0.81, 0.37, 0.05), RECORD, 1.0),
)


def render(size):
    """Rows of straight-alpha (b, g, r, a) tuples, top row first."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            px = (x + 0.5) / size
            py = (y + 0.5) / size
            # Premultiplied "over" compositing, back to front.
            r = g = b = a = 0.0
            for distance, colour, opacity in LAYERS:
                coverage = min(max(0.5 - distance(px, py) * size, 0.0), 1.0) * opacity
                if coverage <= 0.0:
                    continue
                keep = 1.0 - coverage
                r = colour[0] / 255.0 * coverage + r * keep
                g = colour[1] / 255.0 * coverage + g * keep
                b = colour[2] / 255.0 * coverage + b * keep
                a = coverage + a * keep
            if a > 0.0:
                row.append((round(b / a * 255), round(g / a * 255), round(r / a * 255), round(a * 255)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(size):
    """A 32-bit DIB as an icon stores it: header with doubled height, bottom-up BGRA, AND mask."""
    rows = render(size)
    xor = bytearray()
    for row in reversed(rows):
        for pixel in row:
            xor.extend(pixel)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.extend(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return bytes(header + xor + mask)


def icon_file(sizes):
    images = [icon_image(size) for size in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        dimension = 0 if size >= 256 else size
        out.extend(struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32, len(image), offset))
        offset += len(image)
    for image in images:
        out.extend(image)
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as output:
        output.write(icon_file(SIZES))


if __name__ == "__main__":
    main()
