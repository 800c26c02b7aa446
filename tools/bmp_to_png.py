#!/usr/bin/env python3
"""Converts a 24-bit bottom-up BMP into a PNG: bmp_to_png.py <in.bmp> <out.png>"""
import struct
import sys
import zlib


def main():
    data = open(sys.argv[1], "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise SystemExit(f"unsupported: {bits} bits per pixel")
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        source = height - 1 - y if height > 0 else y
        line = data[offset + source * stride:offset + source * stride + width * 3]
        row = bytearray(b"\x00")
        for x in range(0, len(line), 3):
            row += bytes((line[x + 2], line[x + 1], line[x]))
        rows.append(bytes(row))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)
    with open(sys.argv[2], "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
                + chunk(b"IEND", b""))


if __name__ == "__main__":
    main()
