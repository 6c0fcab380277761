#!/usr/bin/env python3
"""Writes the seed corpus of the project reader's fuzz target into corpus/project/: project files
of each version with every kind of record, written field by field."""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "project")


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def path(text):
    units = text.encode("utf-16-le")
    return units + b"\0" * (520 - len(units))


def header(version, rate=30.0, method=0, base=""):
    body = u32(3) + path(base) + struct.pack("<iidII", 320, 240, rate, 90, 0x00112233)
    return body + (struct.pack("<i", method) if version > 0x10000 else b"")


def event(start, file_id, flags=9, size=152):
    raw = bytearray(size)
    struct.pack_into("<IIii", raw, 0, flags, start, file_id, 3)
    struct.pack_into("<qq", raw, 16, 1000, 333333)
    struct.pack_into("<iiii", raw, 32, 0, 0, 64, 48)
    raw[48:52] = b"\xff\xff\xff\x00"
    struct.pack_into("<f", raw, 136, 1.0)
    return bytes(raw)


def text_slot(file_id, text):
    units = text.encode("utf-16-le")
    n = (len(units) // 4) * 4 + 4
    font = bytearray(92)
    struct.pack_into("<ii", font, 0, -24, 0)
    font[28:28 + 18] = "IPAGothic".encode("utf-16-le")
    return (u32(4) + u32(file_id) + u32(3) + u32(0x7F7F7F) + bytes(font) + u32(n) + units +
            b"\0" * (n - len(units)))


def start(version):
    return b"TPRJ" + u32(1) + u32(version)


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {
        "new.vpj": start(0x10002) + header(0x10002) + u32(2),
        "minimal.vpj": start(0x10002) + u32(2),
        "version0.vpj": start(0x10000) + header(0x10000) + u32(5) + u32(0) + u32(2) +
                        event(0, 1) + event(30, 2) + u32(2),
        "version1.vpj": start(0x10001) + header(0x10001, 25.0, 3) + u32(6) + u32(10) +
                        event(0, 4) + u32(2),
        "files.vpj": start(0x10002) + header(0x10002, 29.97, 2, "/media/") +
                     u32(4) + u32(0) + u32(2) + path("\\open.bmp") + u32(0xFF000000) +
                     u32(4) + u32(1) + u32(1) + struct.pack("<q", 333667) + path("open.avi") +
                     u32(0x0000FF) +
                     u32(4) + u32(2) + u32(2) + path("\\missing.bmp") + u32(0) +
                     text_slot(1023, "タイトル\nTitle") + text_slot(7, "xbroken") + u32(2),
        "tracks.vpj": start(0x10002) + header(0x10002) + u32(0) + u32(3) + b"abc" +
                      u32(5) + u32(255) + u32(3) + event(0, 0, 13) + event(10, 0, 11) +
                      event(20, 1, 8) + u32(5) + u32(255) + u32(1) + event(5, 2) +
                      u32(6) + u32(63) + event(0, 1) + u32(2),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
