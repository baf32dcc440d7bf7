#!/usr/bin/env python3
"""Draws the Kova icon (a white K on a blue rounded square) as a 32x32 and a
16x16 32-bit .ico file, so the repository keeps no binary art."""
import struct
import sys


def draw(size):
    """Returns rows of (b, g, r, a) pixels, top row first."""
    rows = []
    margin = size // 16
    radius = size // 5
    stroke = max(2, size // 8)
    left = size * 5 // 16
    mid = size // 2
    for y in range(size):
        row = []
        for x in range(size):
            # Rounded square background.
            cx = min(max(x, margin + radius), size - 1 - margin - radius)
            cy = min(max(y, margin + radius), size - 1 - margin - radius)
            inside = (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and margin <= x < size - margin \
                and margin <= y < size - margin
            if not inside:
                row.append((0, 0, 0, 0))
                continue
            top, bottom = size * 3 // 16, size * 13 // 16
            in_k = False
            if top <= y < bottom:
                if left <= x < left + stroke:
                    in_k = True  # the stem
                # The two arms meet the stem at mid height.
                reach = left + stroke + abs(y - mid) * (size * 7 // 16) // (mid - top)
                if reach - stroke <= x < reach and x >= left + stroke // 2:
                    in_k = True
            row.append((255, 255, 255, 255) if in_k else (176, 96, 24, 255))
        rows.append(row)
    return rows


def bitmap(size):
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # all opaque: the alpha channel decides
    return header + pixels + mask


def main(path):
    sizes = [32, 16]
    images = [bitmap(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
