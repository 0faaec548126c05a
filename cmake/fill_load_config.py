#!/usr/bin/env python3
"""Points a linked image's load configuration directory at _load_config_used.

usage: fill_load_config.py IMAGE MAP

GNU ld leaves the directory empty even when the symbol is there; its map file
says where the symbol landed. Rewrites the directory entry and the header
checksum in place and nothing else, so the result depends only on the image.
Idempotent. Fails (exit 1) when the symbol or a sound structure is missing.
"""
import re
import struct
import sys

import pefile

SYMBOL = "_load_config_used"  # as the map prints it, without i686's extra underscore
LOAD_CONFIG_SIZE = 72
LOAD_CONFIG_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]
CHECKSUM_OFFSET = 64  # in the optional header


def symbol_address(map_path):
    pattern = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+" + re.escape(SYMBOL) + r"\s*$")
    with open(map_path) as f:
        found = [int(m.group(1), 16) for m in map(pattern.match, f) if m]
    if len(found) != 1:
        sys.exit(f"fill_load_config: {len(found)} definitions of {SYMBOL} in {map_path}")
    return found[0]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    image_path, map_path = sys.argv[1:]
    with open(image_path, "rb") as f:
        data = bytearray(f.read())
    pe = pefile.PE(data=bytes(data), fast_load=True)
    rva = symbol_address(map_path) - pe.OPTIONAL_HEADER.ImageBase
    (size,) = struct.unpack("<I", pe.get_data(rva, 4))
    if size != LOAD_CONFIG_SIZE:
        sys.exit(f"fill_load_config: the structure at {rva:#x} says {size} bytes, want {LOAD_CONFIG_SIZE}")
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[LOAD_CONFIG_DIRECTORY].get_file_offset()
    struct.pack_into("<II", data, entry, rva, LOAD_CONFIG_SIZE)
    pe.close()
    patched = pefile.PE(data=bytes(data), fast_load=True)
    checksum_at = patched.OPTIONAL_HEADER.get_file_offset() + CHECKSUM_OFFSET
    struct.pack_into("<I", data, checksum_at, patched.generate_checksum())
    patched.close()
    with open(image_path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
