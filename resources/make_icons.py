#!/usr/bin/env python3
"""Writes the two padlock icons (closed: 201, open: 202), each with a 32x32
and a 16x16 image of 16 colours."""
import struct
import sys

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BODY, SHACKLE, KEYHOLE = 11, 8, 0


def padlock(size, closed):
    """Rows top to bottom of palette indices, None for transparent."""
    s = size / 32.0
    pixels = [[None] * size for _ in range(size)]
    body_top, body_left, body_right = int(15 * s), int(5 * s), int(27 * s)
    for y in range(body_top, int(30 * s)):
        for x in range(body_left, body_right):
            pixels[y][x] = BODY
    for y in range(int(19 * s), int(25 * s)):
        for x in range(int(15 * s), int(17 * s) + 1):
            pixels[y][x] = KEYHOLE
    # The shackle: a U above the body; lifted and open on the right when unlocked.
    lift = 0 if closed else int(5 * s)
    outer, inner = 8 * s, 5 * s
    cx, cy = 16 * s - 0.5, 12 * s - lift
    for y in range(size):
        for x in range(size):
            dx, dy = x - cx, y - cy
            in_ring = inner * inner <= dx * dx + dy * dy <= outer * outer and y <= cy
            in_leg = (abs(dx) >= inner and abs(dx) <= outer) and cy < y < body_top
            if not closed and dx > 0 and y > cy:
                in_leg = False
            if (in_ring or in_leg) and pixels[y][x] is None:
                pixels[y][x] = SHACKLE
    return pixels


def dib(size, pixels):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(pixels):
        nibbles = [(p if p is not None else 0) for p in row]
        xor = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(xor + b'\0' * ((4 - len(xor) % 4) % 4))
        bits = 0
        mask = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b'\0' * ((4 - len(mask) % 4) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def icon(closed):
    images = [(size, dib(size, padlock(size, closed))) for size in (32, 16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


if __name__ == '__main__':
    folder = sys.argv[1]
    with open(f'{folder}/locked.ico', 'wb') as f:
        f.write(icon(True))
    with open(f'{folder}/unlocked.ico', 'wb') as f:
        f.write(icon(False))
