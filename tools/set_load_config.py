#!/usr/bin/env python3
"""Points a linked PE image's load-configuration directory at its
_load_config_used structure.

GNU ld 2.40 leaves that directory empty even when the program defines the
structure, so the loader would never see its DependentLoadFlags. Run after
linking (and stripping):  set_load_config.py IMAGE SYMBOLS
where SYMBOLS is the output of nm on the image before it was stripped.
"""
import struct
import sys

LOAD_CONFIG_ENTRY = 10


def main():
    image_path, symbol_file = sys.argv[1], sys.argv[2]
    with open(symbol_file) as f:
        symbols = f.read()
    addresses = [int(line.split()[0], 16) for line in symbols.splitlines()
                 if line.split()[-1] in ("_load_config_used", "__load_config_used")]
    if len(addresses) != 1:
        sys.exit(f"set_load_config: no single _load_config_used in {image_path}")
    with open(image_path, "r+b") as f:
        data = bytearray(f.read())
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            sys.exit(f"set_load_config: {image_path} is not a PE image")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic == 0x20B:
            image_base = struct.unpack_from("<Q", data, optional + 24)[0]
            directories = optional + 112
        else:
            image_base = struct.unpack_from("<I", data, optional + 28)[0]
            directories = optional + 96
        rva = addresses[0] - image_base
        # The structure's first field is its size; find it in the file.
        table = optional + optional_size
        for i in range(sections):
            virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from(
                "<IIII", data, table + 40 * i + 8)
            if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
                size = struct.unpack_from("<I", data, raw_offset + rva - virtual_address)[0]
                break
        else:
            sys.exit("set_load_config: _load_config_used lies in no section")
        struct.pack_into("<II", data, directories + 8 * LOAD_CONFIG_ENTRY, rva, size)
        f.seek(0)
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
