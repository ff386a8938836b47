#!/usr/bin/env python3
"""Draws Zentavo's dialog art into res/ as PNG files.

Standard library only (zlib + struct). The pictures are signed-distance shapes
with one pixel of anti-aliasing, composited "over" onto a transparent canvas, so
the output is the same on every run. Usage: python3 scripts/make-art.py [outdir]
"""
import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------- PNG writer


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _filtered_rows(raw_rows, bpp=4):
    """Per row the filter with the smallest sum of absolute values (the usual heuristic)."""
    out = bytearray()
    prev = bytes(len(raw_rows[0]))
    for row in raw_rows:
        candidates = []
        for ftype in range(5):
            f = bytearray(len(row))
            for i, x in enumerate(row):
                a = row[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                pred = (0, a, b, (a + b) >> 1, _paeth(a, b, c))[ftype]
                f[i] = (x - pred) & 0xFF
            cost = sum(v if v < 128 else 256 - v for v in f)
            candidates.append((cost, ftype, f))
        cost, ftype, f = min(candidates, key=lambda t: (t[0], t[1]))
        out.append(ftype)
        out += f
        prev = row
    return bytes(out)


def write_png(path, width, height, pixels):
    """pixels: list of rows of (r, g, b, a) tuples with 0..255 integers."""
    rows = [bytes(v for px in row for v in px) for row in pixels]
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    data = b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", ihdr)
    data += _chunk(b"IDAT", zlib.compress(_filtered_rows(rows), 9)) + _chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- shapes (signed distances)


def sd_segment(px, py, ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = min(1.0, max(0.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy) - r


def sd_polyline(px, py, points, r):
    return min(sd_segment(px, py, *points[i], *points[i + 1], r) for i in range(len(points) - 1))


def sd_round_box(px, py, x0, y0, x1, y1, radius):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def sd_ellipse_ring(px, py, cx, cy, rx, ry, half_width):
    # Scaled-circle distance: close enough to the true distance for a thin ring.
    k = math.hypot((px - cx) / rx, (py - cy) / ry)
    return abs((k - 1.0) * min(rx, ry)) - half_width


def sd_polygon(px, py, pts):
    """Exact distance to a simple polygon, negative inside (even-odd rule)."""
    d = float("inf")
    inside = False
    n = len(pts)
    for i in range(n):
        ax, ay = pts[i]
        bx, by = pts[(i + 1) % n]
        d = min(d, sd_segment(px, py, ax, ay, bx, by, 0.0))
        if (ay > py) != (by > py) and px < (bx - ax) * (py - ay) / (by - ay) + ax:
            inside = not inside
    return -d if inside else d


def coverage(d):
    return min(1.0, max(0.0, 0.5 - d))


# ---------------------------------------------------------------- canvas


class Canvas:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(width)] for _ in range(height)]

    def paint(self, sdf, colour, opacity=1.0):
        """colour: (r, g, b) in 0..1 or a function (x, y) -> (r, g, b)."""
        for y in range(self.h):
            row = self.px[y]
            for x in range(self.w):
                cx, cy = x + 0.5, y + 0.5
                a = coverage(sdf(cx, cy)) * opacity
                if a <= 0.0:
                    continue
                r, g, b = colour(cx, cy) if callable(colour) else colour
                dr, dg, db, da = row[x]
                out_a = a + da * (1.0 - a)
                mix = lambda s, d: (s * a + d * da * (1.0 - a)) / out_a
                row[x] = (mix(r, dr), mix(g, dg), mix(b, db), out_a)

    def save(self, path):
        to8 = lambda v: max(0, min(255, int(round(v * 255))))
        rows = [[(to8(r), to8(g), to8(b), to8(a)) for (r, g, b, a) in row] for row in self.px]
        write_png(path, self.w, self.h, rows)


def hexrgb(text):
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (1, 3, 5))


def vertical_gradient(top, bottom, y0, y1):
    t0, t1 = hexrgb(top), hexrgb(bottom)

    def colour(x, y):
        t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(t0, t1))
    return colour


def diagonal_gradient(start, end, width, height):
    s, e = hexrgb(start), hexrgb(end)

    def colour(x, y):
        t = min(1.0, max(0.0, (x / width + y / height) / 2))
        return tuple(a + (b - a) * t for a, b in zip(s, e))
    return colour


BLUE, TEAL, ORANGE, WHITE = "#1E5AA8", "#17A39E", "#F29A1F", "#FFFFFF"

# ---------------------------------------------------------------- pictures


def z_strokes(x0, y0, w, h):
    return [(x0, y0), (x0 + w, y0), (x0, y0 + h), (x0 + w, y0 + h)]


def icon():
    c = Canvas(64, 64)
    c.paint(lambda x, y: sd_round_box(x, y, 3, 4, 62, 63, 12), hexrgb("#000000"), 0.25)  # soft drop shadow
    c.paint(lambda x, y: sd_round_box(x, y, 2, 2, 61, 61, 12), vertical_gradient(BLUE, TEAL, 2, 61))
    c.paint(lambda x, y: abs(sd_round_box(x, y, 3, 3, 60, 60, 11)) - 0.5, hexrgb(WHITE), 0.35)
    z = z_strokes(17, 17, 30, 30)
    c.paint(lambda x, y: sd_polyline(x - 1, y - 1.5, z, 4.5), hexrgb("#0B2A55"), 0.35)
    c.paint(lambda x, y: sd_polyline(x, y, z, 4.5), hexrgb(WHITE))
    c.paint(lambda x, y: sd_circle(x, y, 50, 50, 4.5), hexrgb(ORANGE))
    return c


def glyph_strokes(letter, x0, y0, w, h):
    """Centre lines of the wordmark's letters, in a w by h box at (x0, y0)."""
    X = lambda f: x0 + f * w
    Y = lambda f: y0 + f * h
    return {
        "Z": [[(X(0), Y(0)), (X(1), Y(0)), (X(0), Y(1)), (X(1), Y(1))]],
        "E": [[(X(1), Y(0)), (X(0), Y(0)), (X(0), Y(1)), (X(1), Y(1))], [(X(0), Y(0.5)), (X(0.8), Y(0.5))]],
        "N": [[(X(0), Y(1)), (X(0), Y(0)), (X(1), Y(1)), (X(1), Y(0))]],
        "T": [[(X(0), Y(0)), (X(1), Y(0))], [(X(0.5), Y(0)), (X(0.5), Y(1))]],
        "A": [[(X(0), Y(1)), (X(0.5), Y(0)), (X(1), Y(1))], [(X(0.25), Y(0.64)), (X(0.75), Y(0.64))]],
        "V": [[(X(0), Y(0)), (X(0.5), Y(1)), (X(1), Y(0))]],
    }[letter]


def logo():
    c = Canvas(234, 64)
    top, height, width, gap, stroke = 10, 34, 22, 8.5, 3.6
    strokes, rings = [], []
    x = 8.0
    for letter in "ZENTAVO":
        if letter == "O":
            rings.append((x + width / 2 + 1, top + height / 2, width / 2 + 1, height / 2))
            x += width + 2 + gap
            continue
        strokes += glyph_strokes(letter, x, top, width, height)
        x += width + gap

    def word(px, py):
        d = min(sd_polyline(px, py, s, stroke) for s in strokes)
        for cx, cy, rx, ry in rings:
            d = min(d, sd_ellipse_ring(px, py, cx, cy, rx, ry, stroke))
        return d
    c.paint(lambda px, py: word(px - 1.2, py - 1.6), hexrgb("#0B2A55"), 0.25)
    c.paint(word, diagonal_gradient(BLUE, TEAL, 234, 64))
    # The pipe under the name: a bar feeding three chevrons.
    c.paint(lambda px, py: sd_round_box(px, py, 8, 53, 196, 57, 2), vertical_gradient(TEAL, BLUE, 53, 57))
    for i in range(3):
        cx = 203 + i * 8
        c.paint(lambda px, py, cx=cx: sd_polyline(px, py, [(cx, 51), (cx + 4, 55), (cx, 59)], 1.4), hexrgb(ORANGE))
    return c


def heart(px, py, cx, cy, s):
    """A heart of size s centred at (cx, cy): two circles over a rotated square."""
    lobes = min(sd_circle(px, py, cx - 0.5 * s, cy - 0.25 * s, 0.55 * s),
                sd_circle(px, py, cx + 0.5 * s, cy - 0.25 * s, 0.55 * s))
    tip = sd_polygon(px, py, [(cx - 1.0 * s, cy - 0.05 * s), (cx, cy - 0.95 * s),
                              (cx + 1.0 * s, cy - 0.05 * s), (cx, cy + 0.95 * s)])
    return min(lobes, tip)


def donate():
    c = Canvas(62, 31)
    c.paint(lambda x, y: sd_round_box(x, y, 0.5, 0.5, 61.5, 30.5, 8), hexrgb("#C77800"))
    c.paint(lambda x, y: sd_round_box(x, y, 1.5, 1.5, 60.5, 29.5, 7), vertical_gradient("#FFE27A", "#F5A623", 1.5, 29.5))
    c.paint(lambda x, y: sd_round_box(x, y, 4, 3, 58, 12, 5), hexrgb(WHITE), 0.35)  # gloss
    c.paint(lambda x, y: heart(x, y, 17, 16.5, 7.5), hexrgb("#D7263D"))
    # A little stack of coins beside the heart.
    for i, cy in enumerate((22.0, 18.0, 14.0)):
        c.paint(lambda x, y, cy=cy: sd_round_box(x, y, 31, cy - 3.2, 50, cy + 3.2, 3.2), hexrgb("#9A6200"))
        c.paint(lambda x, y, cy=cy: sd_round_box(x, y, 31.8, cy - 2.4, 49.2, cy + 2.2, 2.4), hexrgb("#FFD23F"))
    return c


def arrow(up, enabled):
    c = Canvas(16, 32)
    head = [(8, 1.5), (15, 13), (10.5, 13), (10.5, 30.5), (5.5, 30.5), (5.5, 13), (1, 13)]
    if not up:
        head = [(x, 32 - y) for x, y in head]
    shape = lambda x, y: sd_polygon(x, y, head) - 0.2
    if enabled:
        c.paint(shape, vertical_gradient(BLUE, TEAL, 0, 32) if up else vertical_gradient(TEAL, BLUE, 0, 32))
    else:
        # Disabled: an etched grey, as the system draws disabled buttons.
        c.paint(lambda x, y: shape(x - 1, y - 1), hexrgb(WHITE))
        c.paint(shape, hexrgb("#A0A0A0"))
    return c


ART = {
    "ZentavoIcon.png": icon,
    "ZentavoLogo.png": logo,
    "DonateButton.png": donate,
    "MoveUp.png": lambda: arrow(True, True),
    "MoveUpDisabled.png": lambda: arrow(True, False),
    "MoveDown.png": lambda: arrow(False, True),
    "MoveDownDisabled.png": lambda: arrow(False, False),
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    os.makedirs(out, exist_ok=True)
    for name, draw in ART.items():
        draw().save(os.path.join(out, name))
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
