#!/usr/bin/env python3
"""Draws Corvane's application icon and writes every form the build uses.

Writes, next to this script: corvane_16.png, corvane_32.png, corvane_48.png;
corvane_128.png and corvane_256.png (only installed, for the desktop's icon
theme);
../icon_data.cpp (the three PNGs as byte arrays, compiled into the program);
../win/corvane.ico (the same three sizes, for the Windows resource script).

Only the standard library is used. Run it again after changing the drawing
and commit what it writes: the build itself does not run it.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 32, 48)
DESKTOP_SIZES = (128, 256)
SUPERSAMPLE = 6

BACKGROUND = (31, 78, 121)
RAIL = (236, 240, 244)
SLEEPER = (200, 161, 101)
BADGE = (46, 158, 79)
TICK = (255, 255, 255)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def rounded_square_inside(x, y, margin, radius):
    # x, y in 0..1
    qx = abs(x - 0.5) - (0.5 - margin - radius)
    qy = abs(y - 0.5) - (0.5 - margin - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius <= 0.0


def rail_x(left, y):
    # The two rails meet the top edge close together and spread towards the
    # bottom, as a track seen from the cab.
    top, bottom = (0.40, 0.16) if left else (0.60, 0.84)
    t = (y - 0.12) / (0.88 - 0.12)
    return top + (bottom - top) * t


def sample(x, y, size):
    """The colour at (x, y), each in 0..1, or None outside the icon."""
    if not rounded_square_inside(x, y, 0.02, 0.16):
        return None
    colour = BACKGROUND
    rail_half = max(0.035, 0.75 / size)
    if 0.12 <= y <= 0.88:
        sleepers = 3 if size < 24 else 5
        for i in range(sleepers):
            sy = 0.22 + i * (0.62 / (sleepers - 1))
            half_height = 0.02 + 0.012 * i
            if abs(y - sy) <= max(half_height, 0.6 / size):
                reach = 0.06
                if rail_x(True, sy) - reach <= x <= rail_x(False, sy) + reach:
                    colour = SLEEPER
        for left in (True, False):
            if abs(x - rail_x(left, y)) <= rail_half * (0.7 + 0.6 * y):
                colour = RAIL
    # The check badge in the lower right corner.
    cx, cy, r = 0.72, 0.72, 0.25
    d = math.hypot(x - cx, y - cy)
    if d <= r + 0.04:
        colour = BACKGROUND
    if d <= r:
        colour = BADGE
        stroke = max(0.045, 0.9 / size)
        if (segment_distance(x, y, 0.60, 0.72, 0.69, 0.81) <= stroke
                or segment_distance(x, y, 0.69, 0.81, 0.85, 0.62) <= stroke):
            colour = TICK
    return colour


def render(size):
    """Rows of RGBA tuples, averaged over SUPERSAMPLE² samples per pixel."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size, size)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / (n * n))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_image(rows):
    """A 32-bit BGRA icon image with its AND mask, bottom row first."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def ico(images):
    # Largest first, as the resource compiler lists them.
    images = sorted(images, key=lambda item: -item[0])
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, blob in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        data += blob
    return out + data


def cpp_array(name, blob):
    lines = []
    for i in range(0, len(blob), 16):
        lines.append("    " + ", ".join("0x%02x" % b for b in blob[i:i + 16]) + ",")
    return "const unsigned char %s[] = {\n%s\n};\n" % (name, "\n".join(lines))


def main():
    pngs = {}
    icos = []
    for size in SIZES:
        rows = render(size)
        pngs[size] = png(rows)
        icos.append((size, ico_image(rows)))
        with open(os.path.join(HERE, "corvane_%d.png" % size), "wb") as f:
            f.write(pngs[size])
    for size in DESKTOP_SIZES:
        with open(os.path.join(HERE, "corvane_%d.png" % size), "wb") as f:
            f.write(png(render(size)))
    with open(os.path.join(HERE, "..", "win", "corvane.ico"), "wb") as f:
        f.write(ico(icos))

    parts = [
        "// Written by app/res/make_icons.py: the application icon as PNG data.\n",
        "// clang-format off\n",
        '#include "app/icon_data.h"\n\n',
        "namespace corvane::app {\n\nnamespace {\n\n",
    ]
    for size in SIZES:
        parts.append(cpp_array("kIcon%d" % size, pngs[size]) + "\n")
    parts.append("}  // namespace\n\n")
    parts.append("const IconImage kIconImages[] = {\n")
    for size in SIZES:
        parts.append("    {%d, kIcon%d, sizeof kIcon%d},\n" % (size, size, size))
    parts.append("};\nconst size_t kIconImageCount = sizeof kIconImages / sizeof kIconImages[0];\n\n")
    parts.append("}  // namespace corvane::app\n// clang-format on\n")
    with open(os.path.join(HERE, "..", "icon_data.cpp"), "w") as f:
        f.write("".join(parts))


if __name__ == "__main__":
    main()
