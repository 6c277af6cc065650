#!/usr/bin/env python3
"""Builds updater.ico, icon resource 1 of Updater.exe, from res/icon.json.

The icon group holds 16, 24, 32, 48, 64 and 128 pixel images as 32-bit DIBs
(with an AND mask for old readers) and a 256 pixel image stored as PNG. Every
size is rasterised on its own from the vector artwork, so the small ones stay
sharp instead of being scaled down from the big one.

    make_icon.py icon.json updater.ico

Standard library only: the build runs it on a bare machine.
"""
import json
import math
import struct
import sys
import zlib

DIB_SIZES = (16, 24, 32, 48, 64, 128)
PNG_SIZE = 256
DESIGN_SIZE = 256.0
SUB_ROWS = 8  # sample lines per pixel row; spans are exact along x


# ---- shapes as horizontal spans --------------------------------------------

def roundrect_spans(shape, y):
    x0, y0, x1, y1 = shape["box"]
    if y < y0 or y >= y1:
        return []
    r = min(shape["radius"], (x1 - x0) / 2.0, (y1 - y0) / 2.0)
    inset = 0.0
    if y < y0 + r:
        d = y0 + r - y
        inset = r - math.sqrt(max(r * r - d * d, 0.0))
    elif y > y1 - r and not shape.get("flat_bottom"):
        d = y - (y1 - r)
        inset = r - math.sqrt(max(r * r - d * d, 0.0))
    return [(x0 + inset, x1 - inset)]


def polygon_spans(shape, y):
    points = shape["points"]
    crossings = []
    for i, (xa, ya) in enumerate(points):
        xb, yb = points[(i + 1) % len(points)]
        if (ya <= y < yb) or (yb <= y < ya):
            crossings.append(xa + (y - ya) * (xb - xa) / (yb - ya))
    crossings.sort()
    return [(crossings[i], crossings[i + 1]) for i in range(0, len(crossings) - 1, 2)]


SPANS = {"roundrect": roundrect_spans, "polygon": polygon_spans}


def shape_colour(shape, y):
    """The shape's colour at design height y: flat, or a vertical gradient."""
    if "colour" in shape:
        return shape["colour"]
    y0, y1 = shape["box"][1], shape["box"][3]
    t = min(max((y - y0) / float(y1 - y0), 0.0), 1.0)
    return [a + (b - a) * t for a, b in zip(shape["top"], shape["bottom"])]


# ---- rasterising -----------------------------------------------------------

def coverage_row(shape, size, row):
    """Fraction of each pixel of one row covered by the shape."""
    scale = DESIGN_SIZE / size
    cover = [0.0] * size
    weight = 1.0 / SUB_ROWS
    for sub in range(SUB_ROWS):
        y = (row + (sub + 0.5) / SUB_ROWS) * scale
        for xa, xb in SPANS[shape["type"]](shape, y):
            xa, xb = max(xa / scale, 0.0), min(xb / scale, float(size))
            px = int(xa)
            while px < xb and px < size:
                overlap = min(xb, px + 1.0) - max(xa, float(px))
                if overlap > 0:
                    cover[px] += overlap * weight
                px += 1
    return cover


def render(shapes, size):
    """Straight-alpha RGBA rows, top row first, each value 0..255."""
    rows = []
    for row in range(size):
        pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size)]
        y_centre = (row + 0.5) * DESIGN_SIZE / size
        for shape in shapes:
            colour = shape_colour(shape, y_centre)
            alpha = shape.get("alpha", 1.0)
            for px, cover in enumerate(coverage_row(shape, size, row)):
                a = min(cover, 1.0) * alpha
                if a <= 0:
                    continue
                out = pixels[px]
                out_a = a + out[3] * (1.0 - a)
                for c in range(3):
                    out[c] = (colour[c] * a + out[c] * out[3] * (1.0 - a)) / out_a
                out[3] = out_a
        rows.append([(int(round(p[0])), int(round(p[1])), int(round(p[2])),
                      int(round(p[3] * 255))) for p in pixels])
    return rows


# ---- encoding --------------------------------------------------------------

def dib_image(rows):
    """BITMAPINFOHEADER, BGRA pixels bottom-up, then the 1-bit AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_image(rows):
    size = len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)
    return (b"\x89PNG\r\n\x1a\n" +
            png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            png_chunk(b"IEND", b""))


def icon_file(images):
    """ICONDIR, one ICONDIRENTRY per (size, bytes), then the images."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: make_icon.py icon.json updater.ico\n")
        return 2
    with open(sys.argv[1], encoding="utf-8") as source:
        shapes = json.load(source)["shapes"]
    images = [(size, dib_image(render(shapes, size))) for size in DIB_SIZES]
    images.append((PNG_SIZE, png_image(render(shapes, PNG_SIZE))))
    with open(sys.argv[2], "wb") as target:
        target.write(icon_file(images))
    return 0


if __name__ == "__main__":
    sys.exit(main())
