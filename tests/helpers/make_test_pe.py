#!/usr/bin/env python3
"""Writes the smallest PE32+ image that ovpack can seal: headers, a .text
section and a zeroed .ovseal section, for testing ovpack without a Windows
build. --signed fills the security directory, as a signature would.
    make_test_pe.py OUT [--signed]"""
import struct
import sys

FILE_ALIGN = 0x200


def section(name, virtual_size, virtual_address, raw_size, raw_offset, flags):
    return struct.pack("<8sIIIIIIHHI", name, virtual_size, virtual_address, raw_size, raw_offset, 0, 0, 0, 0, flags)


def main():
    out, signed = sys.argv[1], "--signed" in sys.argv[2:]
    dos = bytearray(0x80)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 0x80)
    file_header = struct.pack("<HHIIIHH", 0x8664, 2, 0, 0, 0, 240, 0x22)
    optional = bytearray(240)
    struct.pack_into("<H", optional, 0, 0x20B)
    struct.pack_into("<I", optional, 16, 0x1000)        # AddressOfEntryPoint
    struct.pack_into("<Q", optional, 24, 0x140000000)   # ImageBase
    struct.pack_into("<II", optional, 32, 0x1000, FILE_ALIGN)
    struct.pack_into("<I", optional, 56, 0x3000)        # SizeOfImage
    struct.pack_into("<I", optional, 60, FILE_ALIGN)    # SizeOfHeaders
    struct.pack_into("<I", optional, 64, 0x1234)        # CheckSum: set, so ovpack keeps it right
    struct.pack_into("<H", optional, 68, 3)             # console subsystem
    struct.pack_into("<I", optional, 108, 16)           # NumberOfRvaAndSizes
    if signed:
        struct.pack_into("<II", optional, 112 + 8 * 4, 0x800, 0x100)
    sections = (section(b".text", 0x10, 0x1000, FILE_ALIGN, FILE_ALIGN, 0x60000020) +
                section(b".ovseal", 0x80, 0x2000, FILE_ALIGN, 2 * FILE_ALIGN, 0xC0000040))
    headers = bytes(dos) + b"PE\0\0" + file_header + bytes(optional) + sections
    image = headers.ljust(FILE_ALIGN, b"\0") + b"\xc3".ljust(FILE_ALIGN, b"\0") + bytes(FILE_ALIGN)
    if signed:
        image = image.ljust(0x800, b"\0") + bytes(0x100)
    with open(out, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main()
