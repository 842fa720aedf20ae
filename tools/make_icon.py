#!/usr/bin/env python3
"""Draws Tessary's icon (a lens over a grid of zones, one of them lit) as a PNG,
or, for a name ending in .ico, as a Windows icon in four sizes.

Run from the repository root: python3 tools/make_icon.py resources/tessary.png
                              python3 tools/make_icon.py resources/tessary.ico
Standard library only, so it runs anywhere the project builds.
"""
import math
import struct
import sys
import zlib

SIZE = 64


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    # Rounded dark square as the background.
    margin, radius = 2, 12
    qx = max(abs(x - cx) - (SIZE / 2 - margin - radius), 0)
    qy = max(abs(y - cy) - (SIZE / 2 - margin - radius), 0)
    if math.hypot(qx, qy) > radius:
        return (0, 0, 0, 0)
    colour = (32, 44, 64, 255)
    # A 4 x 4 grid of zones; the zone at column 2, row 1 shows motion.
    cell = (SIZE - 2 * 8) / 4
    gx, gy = (x - 8) / cell, (y - 8) / cell
    if 0 <= gx < 4 and 0 <= gy < 4:
        fx, fy = gx - int(gx), gy - int(gy)
        if fx < 0.08 or fy < 0.08:
            colour = (90, 110, 140, 255)
        elif int(gx) == 2 and int(gy) == 1:
            colour = (255, 170, 40, 255)
    # The lens: a ring around the centre.
    d = math.hypot(x - cx, y - cy)
    if 13 <= d <= 17:
        colour = (230, 236, 245, 255)
    elif d < 5:
        colour = (230, 236, 245, 255)
    return colour


def sampled(x, y, size):
    """The average colour of the full-size pixels under pixel x, y of a smaller icon."""
    step = SIZE / size
    samples = [pixel(int(x * step + i * step / 4), int(y * step + j * step / 4)) for i in range(4) for j in range(4)]
    return tuple(sum(sample[k] for sample in samples) // len(samples) for k in range(4))


def write_ico(path):
    sizes = (16, 32, 48, 64)
    images = []
    for size in sizes:
        # 32-bit BGRA rows bottom-up, then the 1-bit AND mask (all zero: the
        # alpha channel decides), rows padded to 32 bits.
        pixels = b"".join(
            bytes((b, g, r, a)) for y in reversed(range(size)) for x in range(size)
            for (r, g, b, a) in [sampled(x, y, size)])
        mask = bytes(((size + 31) // 32) * 4 * size)
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        images.append(header + pixels + mask)
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as file:
        file.write(out + b"".join(images))


def main(path):
    if path.endswith(".ico"):
        write_ico(path)
        return
    rows = b"".join(b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(SIZE)) for y in range(SIZE))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/tessary.png")
