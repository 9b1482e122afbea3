#!/usr/bin/env python3
"""Moves the PE headers of a MinGW executable from offset 128 to 256.

The package end marker lives at offsets 248..255 of the image, in the DOS
area, so the "PE" signature has to stand at 256. There is room: the section
data starts well after the headers (checked below)."""
import struct
import sys

TARGET = 256


def main(path):
    data = bytearray(open(path, "rb").read())
    if data[:2] != b"MZ":
        sys.exit(f"{path}: not an MZ executable")
    old = struct.unpack_from("<I", data, 0x3C)[0]
    if data[old:old + 4] != b"PE\0\0":
        sys.exit(f"{path}: no PE signature at {old}")
    if old == TARGET:
        return
    sections, opt_size = struct.unpack_from("<H12xH", data, old + 6)
    length = 4 + 20 + opt_size + 40 * sections
    opt = old + 24
    size_of_headers = struct.unpack_from("<I", data, opt + 60)[0]
    first_raw = min(
        (struct.unpack_from("<I", data, old + 24 + opt_size + 40 * i + 20)[0]
         for i in range(sections)
         if struct.unpack_from("<I", data, old + 24 + opt_size + 40 * i + 16)[0]),
        default=size_of_headers)
    if TARGET + length > min(size_of_headers, first_raw):
        sys.exit(f"{path}: no room to move {length} header bytes to {TARGET}")
    headers = bytes(data[old:old + length])
    data[old:old + length] = bytes(length)
    data[TARGET:TARGET + length] = headers
    struct.pack_into("<I", data, 0x3C, TARGET)
    data[248:256] = bytes(8)  # the package end marker starts out clear
    open(path, "wb").write(data)


if __name__ == "__main__":
    main(sys.argv[1])
