#!/usr/bin/env python3
"""Writes the window icon as a Windows icon file with 16, 32 and 48 pixel images, drawn by the
GTK host's picture script so that both windows show the same icon.

    draw_icons.py DRAW_PICTURES.py OUT.ico
"""
import importlib
import os
import struct
import sys


def load(path):
    """The picture script at `path`, imported from its own folder."""
    sys.dont_write_bytecode = True  # nothing is written into the source tree
    sys.path.insert(0, os.path.dirname(os.path.abspath(path)))
    return importlib.import_module(os.path.splitext(os.path.basename(path))[0])


def shrink(pixels, size):
    """Area average of a square picture onto size x size pixels."""
    n = len(pixels)
    out = []
    for y in range(size):
        row = []
        y0, y1 = y * n / size, (y + 1) * n / size
        for x in range(size):
            x0, x1 = x * n / size, (x + 1) * n / size
            total, weight = [0.0, 0.0, 0.0], 0.0
            for sy in range(int(y0), min(n, int(y1 + 0.999))):
                wy = min(y1, sy + 1) - max(y0, sy)
                for sx in range(int(x0), min(n, int(x1 + 0.999))):
                    w = wy * (min(x1, sx + 1) - max(x0, sx))
                    if w <= 0:
                        continue
                    for i in range(3):
                        total[i] += pixels[sy][sx][i] * w
                    weight += w
            row.append(tuple(round(t / weight) for t in total))
        out.append(row)
    return out


def bitmap(pixels):
    """A 32-bit icon image: header, bottom-up BGRA rows, then the all-clear AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b"".join(
        b"".join(bytes((b, g, r, 255)) for r, g, b in pixels[y]) for y in reversed(range(size)))
    mask_row = ((size + 31) // 32) * 4
    return header + rows + bytes(mask_row * size)


def icon_file(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for pixels in images:
        size = len(pixels)
        image = bitmap(pixels)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
        data += image
    return out + data


if __name__ == "__main__":
    pictures = load(sys.argv[1])
    big = pictures.icon().pixels
    with open(sys.argv[2], "wb") as f:
        f.write(icon_file([shrink(big, 16), shrink(big, 32), big]))
