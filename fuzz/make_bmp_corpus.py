#!/usr/bin/env python3
"""Writes the seed corpus of the BMP reader's fuzz target into corpus/bmp/: one small file per
header, bit depth and row order the reader handles, plus a few broken ones."""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "bmp")


def bmp(width, height, bits, compression=0, header_size=40, palette=(), masks=(), rows=None,
        clr_used=0):
    stride = (bits * width + 31) // 32 * 4
    count = abs(height)
    if rows is None:
        rows = [bytes((x * 7 + y * 3) & 0xFF for x in range(stride)) for y in range(count)]
    if header_size == 12:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(struct.pack("<BBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16) for c in palette)
    else:
        header = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression,
                             0, 2835, 2835, clr_used, 0)
        if header_size > 40:
            header += b"".join(struct.pack("<I", m) for m in (list(masks) + [0] * 4)[:4])
            header += bytes(header_size - len(header))
            masks = ()
        table = b"".join(struct.pack("<I", m) for m in masks)
        table += b"".join(struct.pack("<I", c) for c in palette)
    pixels = b"".join(rows)
    offset = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + table + pixels


def grey(n):
    return [(i * 255 // max(n - 1, 1)) * 0x010101 for i in range(n)]


seeds = {
    "1bit_odd_width.bmp": bmp(13, 3, 1, palette=[0xFF0000, 0x0000FF]),
    "4bit_top_down.bmp": bmp(5, -4, 4, palette=grey(16)),
    "8bit_short_table.bmp": bmp(3, 2, 8, palette=grey(3), clr_used=3),
    "8bit_core_header.bmp": bmp(3, 2, 8, header_size=12, palette=grey(256)),
    "16bit_555.bmp": bmp(3, 2, 16),
    "16bit_565_fields.bmp": bmp(3, 2, 16, compression=3, masks=[0xF800, 0x07E0, 0x001F]),
    "16bit_565_v4.bmp": bmp(3, -2, 16, compression=3, header_size=108,
                            masks=[0xF800, 0x07E0, 0x001F]),
    "24bit_padding.bmp": bmp(3, 3, 24),
    "24bit_top_down_v5.bmp": bmp(2, -2, 24, header_size=124),
    "32bit_plain.bmp": bmp(2, 2, 32),
    "32bit_fields.bmp": bmp(2, 1, 32, compression=3,
                            masks=[0x3FF00000, 0x000FFC00, 0x000003FF]),
    "broken_truncated.bmp": bmp(4, 4, 24)[:-5],
    "broken_rle8.bmp": bmp(2, 2, 8, compression=1, palette=grey(2)),
    "broken_mask.bmp": bmp(2, 2, 16, compression=3, masks=[0xF0F0, 0x0F00, 0x000F]),
    "broken_huge.bmp": bmp(1, 1, 24)[:18] + struct.pack("<ii", 40000, 40000) + bmp(1, 1, 24)[26:],
}

os.makedirs(OUT, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
