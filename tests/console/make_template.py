#!/usr/bin/env python3
"""Writes a template as small as the self-check and the builder accept: the headers of a PE
executable (MZ header, PE signature, a 32-bit optional header with its checksum field) and the
firmware package area with the template marker, for the command-line flasher's tests on a host
without the Windows build.

  make_template.py OUTPUT
"""
import struct
import sys

dos = bytearray(64)
dos[0:2] = b"MZ"
struct.pack_into("<I", dos, 0x3C, len(dos))
coff = struct.pack("<HHIIIHH", 0x14C, 0, 0, 0, 0, 224, 0x0102)
optional = bytearray(224)
struct.pack_into("<H", optional, 0, 0x10B)
image = 262144
area = b"BIN-START-ADDR\0" + b"PELO01" + bytes(2 * image - 6) + b"BIN-END-ADDR\0"
with open(sys.argv[1], "wb") as f:
    f.write(bytes(dos) + b"PE\0\0" + coff + bytes(optional) + area)
