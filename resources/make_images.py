#!/usr/bin/env python3
"""Draws the program's icon and picture: a folded map of a level with a red arrow
dropping it into place. Run it by hand after a change; the build uses the files it
writes (orvane.ico, picture.bmp), so building needs no Python."""
import struct


def scene(x, y, w, h):
    """Colour (r, g, b) of the picture at (x, y), or None for 'transparent'."""
    u, v = x / (w - 1), y / (h - 1)
    # a folded map sheet: three panels, the middle one a little darker
    if 0.06 <= u <= 0.94 and 0.30 <= v <= 0.96:
        panel = int((u - 0.06) / (0.88 / 3))
        shade = 0.85 if panel == 1 else 1.0
        # terrain on the map: water, grass, a path and a red base and a blue base
        wave = 0.62 + 0.10 * __import__("math").sin(u * 9.0)
        if v > wave + 0.12:
            base = (60, 120, 200)          # water
        elif v > wave:
            base = (70, 160, 70)           # grass
        else:
            base = (222, 200, 150)         # parchment
        if abs(v - (0.45 + 0.25 * u)) < 0.025:
            base = (120, 80, 40)           # the path between the bases
        if (u - 0.18) ** 2 + (v - 0.42) ** 2 < 0.004:
            base = (200, 30, 30)           # red flag base
        if (u - 0.82) ** 2 + (v - 0.80) ** 2 < 0.004:
            base = (30, 60, 210)           # blue flag base
        if min(abs(u - 0.06 - 0.88 / 3 * k) for k in (1, 2)) < 0.012:
            base = (90, 80, 60)            # folds
        return tuple(int(c * shade) for c in base)
    # the arrow dropping the map in: a shaft and a head above the sheet
    if 0.42 <= u <= 0.58 and 0.0 <= v <= 0.16:
        return (210, 40, 30)
    if 0.16 <= v <= 0.30 and abs(u - 0.5) <= (0.30 - v) * 1.4:
        return (210, 40, 30)
    return None


def write_bmp(path, w, h, background=(236, 233, 216)):
    row = (w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):           # bottom-up rows
        line = bytearray()
        for x in range(w):
            r, g, b = scene(x, y, w, h) or background
            line += bytes((b, g, r))
        pixels += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    open(path, "wb").write(header + info + pixels)


def write_ico(path, size=32):
    colours, index = [], {}
    xor, mask_rows = bytearray(), bytearray()
    for y in range(size - 1, -1, -1):
        mask_bits = 0
        for x in range(size):
            c = scene(x, y, size, size)
            if c is None:
                mask_bits |= 1 << (31 - x)   # transparent
                c = (0, 0, 0)
            c = tuple(v & 0xF8 for v in c)   # few enough colours for an 8-bit table
            if c not in index:
                index[c] = len(colours)
                colours.append(c)
            xor.append(index[c])
        mask_rows += struct.pack(">I", mask_bits)
    assert len(colours) <= 256, len(colours)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours) + bytes(4 * (256 - len(colours)))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, len(xor) + len(mask_rows), 0, 0, 256, 0)
    image = info + palette + xor + mask_rows
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), 22)
    open(path, "wb").write(directory + image)


if __name__ == "__main__":
    write_bmp("picture.bmp", 103, 97)
    write_ico("orvane.ico")
