#!/usr/bin/env python3
"""Writes LOCKED.GIF: a 64x64 GIF89a red prohibition sign (a red ring crossed
by a diagonal bar) on a transparent background, for the blocked banner."""
import math
import struct
import sys

SIZE = 64
TRANSPARENT, RED, DARK_RED, WHITE = 0, 1, 2, 3
PALETTE = [(255, 255, 255), (220, 0, 0), (150, 0, 0), (255, 255, 255)]


def sign():
    """Rows of palette indices; the edge of the ring is drawn darker."""
    centre = (SIZE - 1) / 2.0
    outer, inner, half_bar = 30.5, 22.5, 4.5
    pixels = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            dx, dy = x - centre, y - centre
            r = math.hypot(dx, dy)
            on_ring = inner <= r <= outer
            # The bar runs from the top left to the bottom right, inside the ring.
            on_bar = r < inner and abs(dx - dy) / math.sqrt(2) <= half_bar
            if on_ring:
                edge = r > outer - 1.2 or r < inner + 1.2
                row.append(DARK_RED if edge else RED)
            elif on_bar:
                row.append(RED)
            elif r < inner:
                row.append(WHITE)
            else:
                row.append(TRANSPARENT)
        pixels.append(row)
    return pixels


def lzw(indices, min_code_size):
    """GIF LZW: variable-width codes, a clear code first, reset at 4096 codes."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    codes = []
    table = {(i,): i for i in range(clear)}
    next_code, width = end + 1, min_code_size + 1
    codes.append((clear, width))
    current = ()
    for index in indices:
        candidate = current + (index,)
        if candidate in table:
            current = candidate
            continue
        codes.append((table[current], width))
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            codes.append((clear, width))
            table = {(i,): i for i in range(clear)}
            next_code, width = end + 1, min_code_size + 1
        current = (index,)
    if current:
        codes.append((table[current], width))
    codes.append((end, width))
    out, bits, count = bytearray(), 0, 0
    for code, size in codes:
        bits |= code << count
        count += size
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    return bytes(out)


def gif(pixels):
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", SIZE, SIZE, 0xF1, 0, 0)  # global table of 4 colours
    for colour in PALETTE:
        data += bytes(colour)
    data += bytes([0x21, 0xF9, 4, 0x01, 0, 0, TRANSPARENT, 0])  # transparency
    data += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
    data.append(2)
    compressed = lzw([i for row in pixels for i in row], 2)
    for start in range(0, len(compressed), 255):
        block = compressed[start:start + 255]
        data.append(len(block))
        data += block
    data += b"\x00\x3B"
    return bytes(data)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(gif(sign()))
