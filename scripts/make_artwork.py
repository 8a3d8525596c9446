#!/usr/bin/env python3
# Generates src/resources/vexor2.ico, vexor2_small.ico and tray.ico (a tooth
# with a camera) and logo.bmp for the About box. Its output is committed
# alongside it; rerun after edits.
# Standard library only, so any build host can regenerate the icons.
import math
import os
import struct
import zlib

SIZE = 256
SUB = 4  # 4x4 supersampling, done only on edge pixels to stay fast

WHITE = (1.0, 1.0, 1.0)
INK = (0.08, 0.20, 0.45)      # dark blue: camera body and tooth outline
LENS = (0.30, 0.60, 0.95)     # light blue ring so the lens reads at 32 px
BACK = (0.13, 0.42, 0.80)     # tray backdrop


# Signed distance helpers: negative inside, in pixels of the 256 canvas.
def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def rbox(cx, cy, hw, hh, r):
    def f(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        out = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return out + min(max(qx, qy), 0.0) - r
    return f


def root(x0, y0, r0, x1, y1, r1):
    # Tapered capsule; radius interpolated along the axis (close enough
    # to a true distance for the gentle taper used here).
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy

    def f(x, y):
        t = min(max(((x - x0) * dx + (y - y0) * dy) / ll, 0.0), 1.0)
        return math.hypot(x - x0 - t * dx, y - y0 - t * dy) - (r0 + t * (r1 - r0))
    return f


def smax(a, b, k=14.0):
    # Rounded max: softens the corners where the cusp dip meets the crown.
    h = max(k - abs(a - b), 0.0) / k
    return max(a, b) + h * h * k * 0.25


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def grow(f, d):
    return lambda x, y: f(x, y) - d


def scaled(f, s, cx=128.0, cy=128.0):
    # Shrinks a shape about (cx, cy) so the tray glyph fits inside its backdrop.
    return lambda x, y: f((x - cx) / s + cx, (y - cy) / s + cy) * s


crown = rbox(112, 84, 86, 58, 46)
notch = circle(112, -2, 42)  # shallow dip in the top edge suggests two cusps
tooth = union(lambda x, y: smax(crown(x, y), -notch(x, y)),
              root(74, 126, 32, 64, 220, 15),
              root(150, 126, 32, 162, 220, 15))
body = union(rbox(186, 194, 56, 38, 12), rbox(162, 150, 18, 10, 5))
lens_out = circle(190, 196, 25)
lens_in = circle(190, 196, 14)
glint = circle(197, 189, 4.5)


def layers(kind):
    """Back-to-front list of (shape, colour) for one icon variant."""
    s = 1.0
    out = []
    if kind == "tray":
        s = 0.82  # leave room for the backdrop's margin
        out.append((rbox(128, 128, 126, 126, 52), BACK))
    edge = 12 if kind == "small" else 8  # thicker strokes survive 16 px
    sh = (lambda f: scaled(f, s)) if s != 1.0 else (lambda f: f)
    if kind != "tray":  # the backdrop already separates the tooth
        out.append((sh(grow(tooth, edge / s)), INK))
    out.append((sh(tooth), WHITE))
    out.append((sh(grow(body, edge / s)), WHITE))  # halo keeps the camera apart
    out.append((sh(body), INK))
    out.append((sh(lens_out), LENS))
    out.append((sh(lens_in), INK))
    out.append((sh(glint), WHITE))
    return out


def coverage(f, x, y):
    d = f(x + 0.5, y + 0.5)
    if d >= 1.0:
        return 0.0
    if d <= -1.0:
        return 1.0
    hits = 0
    for j in range(SUB):
        for i in range(SUB):
            if f(x + (i + 0.5) / SUB, y + (j + 0.5) / SUB) < 0.0:
                hits += 1
    return hits / (SUB * SUB)


def render(kind):
    """Returns top-down rows of straight-alpha BGRA bytes."""
    lay = layers(kind)
    rows = []
    for y in range(SIZE):
        row = bytearray()
        for x in range(SIZE):
            r = g = b = a = 0.0  # premultiplied while compositing
            for f, (cr, cg, cb) in lay:
                c = coverage(f, x, y)
                if c:
                    r, g, b = cr * c + r * (1 - c), cg * c + g * (1 - c), cb * c + b * (1 - c)
                    a = c + a * (1 - c)
            if a > 0.0:
                r, g, b = r / a, g / a, b / a
            row += bytes(int(v * 255 + 0.5) for v in (b, g, r, a))
        rows.append(row)
    return rows


def png(rows):
    """A PNG of straight-alpha RGBA from the BGRA rows: zlib from the standard library."""
    raw = b"".join(b"\0" + bytes(row[i + j] for i in range(0, len(row), 4) for j in (2, 1, 0, 3))
                   for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(rows):
    # The one 256 x 256 image stored as PNG, as icon files may since Windows Vista: a tenth of
    # the uncompressed image's size in the exe and in memory.
    img = png(rows)
    return struct.pack("<HHH", 0, 1, 1) + \
        struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(img), 6 + 16) + img


# A 5x7 pixel font for the About box's wordmark: no font files needed.
FONT = {
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
}
LOGO_W, LOGO_H = 151, 32


def logo_pixel(x, y):
    """RGB of the About box bitmap: glyph on the left, wordmark on a blue band."""
    t = y / (LOGO_H - 1)
    bg = tuple(c * (1.0 - 0.35 * t) for c in BACK)
    # The glyph: the main icon's layers sampled 2x2 at 28/256 scale.
    if 2 <= x < 30 and 2 <= y < 30:
        acc = [0.0, 0.0, 0.0]
        for j in range(2):
            for i in range(2):
                u = (x - 2 + (i + 0.5) / 2) * SIZE / 28
                v = (y - 2 + (j + 0.5) / 2) * SIZE / 28
                col = bg
                for f, c in layers("main"):
                    if f(u, v) < 0.0:
                        col = c
                acc = [a + k / 4 for a, k in zip(acc, col)]
        return tuple(acc)
    # The wordmark: 3x scaled glyphs, 18 px apart, from x = 38.
    gx, gy = x - 38, y - 5
    if 0 <= gy < 21 and 0 <= gx < 18 * 6:
        ch, cx = "VEXOR2"[gx // 18], gx % 18
        if cx < 15 and FONT[ch][gy // 3][cx // 3] == "1":
            return WHITE
    return bg


def bmp():
    stride = (LOGO_W * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(LOGO_H)):  # bottom-up rows
        row = bytearray()
        for x in range(LOGO_W):
            r, g, b = logo_pixel(x, y)
            row += bytes(int(v * 255 + 0.5) for v in (b, g, r))
        pixels += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, LOGO_W, LOGO_H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "resources")
    os.makedirs(out, exist_ok=True)
    for name, kind in (("vexor2.ico", "main"), ("vexor2_small.ico", "small"),
                       ("tray.ico", "tray")):
        with open(os.path.join(out, name), "wb") as fh:
            fh.write(ico(render(kind)))
    with open(os.path.join(out, "logo.bmp"), "wb") as fh:
        fh.write(bmp())


if __name__ == "__main__":
    main()
