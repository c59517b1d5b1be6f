#!/usr/bin/env python3
"""Writes the program icon (app/res/ombrel.ico): 16x16 and 32x32 images,
32 bits per pixel, a filled circle on a transparent background.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZES = (16, 32)
FILL = (0x2E, 0x6B, 0xC9)  # blue, as R, G, B
EDGE = (0x1B, 0x3F, 0x78)


def pixel(x, y, size):
    centre = (size - 1) / 2.0
    radius = size / 2.0 - 0.5
    distance = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
    if distance > radius:
        return (0, 0, 0, 0)
    red, green, blue = EDGE if distance > radius - 1.5 else FILL
    return (blue, green, red, 0xFF)


def image(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b''.join(bytes(pixel(x, y, size)) for x in range(size)))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha decides; the AND mask stays clear
    return header + b''.join(rows) + mask


def main():
    images = [image(size) for size in SIZES]
    offset = 6 + 16 * len(images)
    out = struct.pack('<HHH', 0, 1, len(images))
    for size, data in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as handle:
        handle.write(out)


if __name__ == '__main__':
    main()
