#!/usr/bin/env python3
"""Draws the program's icon (res/brevion.ico): a blue tile with an orange
arrow dropping into a white tray, at 16, 32, 48 and 96 pixels, 32-bit with
alpha. Run it again after changing the drawing; the output is committed."""
import struct
import sys

SIZES = (16, 32, 48, 96)
SUPERSAMPLE = 4


def inside_tile(u, v):
    margin, radius = 0.03, 0.2
    if not (margin <= u <= 1 - margin and margin <= v <= 1 - margin):
        return False
    cu = min(max(u, margin + radius), 1 - margin - radius)
    cv = min(max(v, margin + radius), 1 - margin - radius)
    return (u - cu) ** 2 + (v - cv) ** 2 <= radius ** 2


def inside_tray(u, v):
    bottom = 0.22 <= u <= 0.78 and 0.72 <= v <= 0.81
    sides = (0.22 <= u <= 0.31 or 0.69 <= u <= 0.78) and 0.52 <= v <= 0.81
    return bottom or sides


def inside_arrow(u, v):
    shaft = 0.43 <= u <= 0.57 and 0.16 <= v <= 0.46
    head = 0.40 <= v <= 0.66 and abs(u - 0.5) <= (0.66 - v) * 0.85
    return shaft or head


def colour_at(u, v):
    """RGBA of one sample point; u, v in 0..1 from the top left."""
    if inside_arrow(u, v):
        return (255, 168, 38, 255)
    if inside_tray(u, v):
        return (255, 255, 255, 255)
    if inside_tile(u, v):
        top, bottom = (64, 136, 224), (22, 72, 152)
        return tuple(int(t + (b - t) * v) for t, b in zip(top, bottom)) + (255,)
    return (0, 0, 0, 0)


def render(size):
    """Rows top to bottom of (r, g, b, a), averaged over supersamples."""
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            total = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = colour_at((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    total[0] += r * a
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            alpha = total[3] // (n * n)
            if total[3]:
                row.append(tuple(c // total[3] for c in total[:3]) + (alpha,))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(size):
    """One icon entry: BITMAPINFOHEADER, BGRA rows bottom-up, AND mask."""
    rows = render(size)
    mask_stride = ((size + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def main(path):
    images = [icon_image(size) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "brevion.ico")
