#!/usr/bin/env python3
"""Draws the window's two pictures as GIF files: the offline picture (507 x 230) that the offline
page shows when the portal cannot be reached, and the window icon (48 x 48).

    draw_pictures.py OFFLINE.gif ICON.gif
"""
import math
import sys

# A 5 x 9 pixel font (capitals and ascenders from row 0, the base line under row 6, descenders in
# rows 7 and 8) for the letters the picture needs.
FONT_ROWS = """
K #...# #..#. #.#.. ##... #.#.. #..#. #...#
C .###. #...# #.... #.... #.... #...# .###.
P ####. #...# #...# ####. #.... #.... #....
V #...# #...# #...# #...# #...# .#.#. ..#..
a ..... ..... .###. ....# .#### #...# .####
c ..... ..... .#### #.... #.... #.... .####
d ....# ....# .#### #...# #...# #...# .####
e ..... ..... .###. #...# ##### #.... .###.
g ..... ..... .#### #...# #...# #...# .#### ....# .###.
h #.... #.... ####. #...# #...# #...# #...#
i ..#.. ..... .##.. ..#.. ..#.. ..#.. .###.
k #.... #.... #..#. #.#.. ##... #.#.. #..#.
l .##.. ..#.. ..#.. ..#.. ..#.. ..#.. .###.
n ..... ..... ####. #...# #...# #...# #...#
o ..... ..... .###. #...# #...# #...# .###.
r ..... ..... #.##. ##..# #.... #.... #....
s ..... ..... .#### #.... .###. ....# ####.
t .#... .#... ####. .#... .#... .#..# ..##.
u ..... ..... #...# #...# #...# #..## .##.#
v ..... ..... #...# #...# #...# .#.#. ..#..
w ..... ..... #...# #...# #.#.# #.#.# .#.#.
y ..... ..... #...# #...# #...# #...# .#### ....# .###.
. ..... ..... ..... ..... ..... .##.. .##..
"""
FONT = {line[0]: line[2:].split() for line in FONT_ROWS.strip().splitlines()}
FONT[' '] = []


def glyph(ch):
    return FONT[ch]


class Canvas:
    def __init__(self, width, height, color):
        self.width, self.height = width, height
        self.pixels = [[color] * width for _ in range(height)]

    def blend(self, x, y, color, coverage):
        if 0 <= x < self.width and 0 <= y < self.height and coverage > 0:
            old = self.pixels[y][x]
            self.pixels[y][x] = tuple(round(o + (n - o) * coverage) for o, n in zip(old, color))

    def shape(self, inside, color, box=None, samples=4):
        """Fills the points where inside(x, y) holds, smoothing edges by supersampling."""
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        step = 1.0 / samples
        for y in range(max(0, int(y0)), min(self.height, int(math.ceil(y1)))):
            for x in range(max(0, int(x0)), min(self.width, int(math.ceil(x1)))):
                # Pixels whose centre and corners agree are taken as wholly in or out.
                probes = [inside(x + 0.5, y + 0.5), inside(x, y), inside(x + 1, y),
                          inside(x, y + 1), inside(x + 1, y + 1)]
                if all(probes) or not any(probes):
                    if probes[0]:
                        self.blend(x, y, color, 1)
                    continue
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if inside(x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                            hits += 1
                self.blend(x, y, color, hits / (samples * samples))

    def text(self, x, y, string, scale, color):
        for ch in string:
            for r, row in enumerate(glyph(ch)):
                for c, bit in enumerate(row):
                    if bit == '#':
                        for dy in range(scale):
                            for dx in range(scale):
                                self.blend(x + c * scale + dx, y + r * scale + dy, color, 1)
            x += 6 * scale
        return x


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def segment(ax, ay, bx, by, width):
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    return lambda x, y: (r - width / 2) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= (r + width / 2) ** 2


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def draw_map(c, ox, oy, s):
    """A folded map of three panels with a route and a pin; s is the size of one panel unit."""
    panels = [
        [(0, 0.1), (1, 0), (1, 1.9), (0, 2.0)],
        [(1, 0), (2, 0.1), (2, 2.0), (1, 1.9)],
        [(2, 0.1), (3, 0), (3, 1.9), (2, 2.0)],
    ]
    shades = [(214, 232, 203), (190, 218, 178), (214, 232, 203)]
    for pts, shade in zip(panels, shades):
        poly = [(ox + px * s, oy + py * s) for px, py in pts]
        c.shape(polygon(poly), shade, (ox - 2, oy - 2, ox + 3 * s + 2, oy + 2 * s + 2))
    route = [(0.25, 1.6), (0.8, 1.2), (1.3, 1.45), (1.9, 0.8), (2.5, 0.95), (2.75, 0.45)]
    for (ax, ay), (bx, by) in zip(route, route[1:]):
        a = (ox + ax * s, oy + ay * s)
        b = (ox + bx * s, oy + by * s)
        c.shape(segment(a[0], a[1], b[0], b[1], s * 0.09), (226, 120, 44),
                (min(a[0], b[0]) - s, min(a[1], b[1]) - s, max(a[0], b[0]) + s, max(a[1], b[1]) + s))
    px, py, pr = ox + 2.75 * s, oy + 0.45 * s, s * 0.22
    box = (px - pr * 2, py - pr * 3, px + pr * 2, py + pr * 2)
    c.shape(polygon([(px - pr * 0.9, py - pr * 1.4), (px + pr * 0.9, py - pr * 1.4), (px, py)]),
            (200, 52, 52), box)
    c.shape(circle(px, py - pr * 1.7, pr), (200, 52, 52), box)
    c.shape(circle(px, py - pr * 1.7, pr * 0.42), (255, 255, 255), box)


def offline_picture():
    c = Canvas(507, 230, (196, 200, 212))
    c.shape(rounded_rect(1, 1, 506, 229, 14), (120, 128, 150))
    c.shape(rounded_rect(3, 3, 504, 227, 12), (246, 247, 250))
    draw_map(c, 34, 52, 46)
    # A disconnected sign over the map's corner: a red ring with a bar.
    cx, cy, r = 152, 150, 30
    box = (cx - r - 6, cy - r - 6, cx + r + 6, cy + r + 6)
    c.shape(circle(cx, cy, r + 3), (246, 247, 250), box)
    c.shape(ring(cx, cy, r - 3, 7), (210, 50, 50), box)
    c.shape(segment(cx - 19, cy + 19, cx + 19, cy - 19, 7), (210, 50, 50), box)
    c.text(206, 52, "KorvelVantu", 4, (34, 60, 112))
    c.shape(segment(206, 98, 490, 98, 2), (180, 188, 206), (204, 94, 494, 102))
    c.text(206, 116, "Cannot reach the server.", 2, (60, 64, 76))
    c.text(206, 148, "Please check the network", 2, (60, 64, 76))
    c.text(206, 172, "and try again.", 2, (60, 64, 76))
    return c


def icon():
    c = Canvas(48, 48, (255, 255, 255))
    c.shape(rounded_rect(0, 0, 47.9, 47.9, 9), (34, 60, 112))
    c.shape(rounded_rect(1.5, 1.5, 46.4, 46.4, 8), (52, 96, 168))
    draw_map(c, 6, 11, 12)
    return c


def lzw(indices, min_code_size):
    """GIF's variable-length LZW, packed into sub-blocks."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out, bits, nbits = bytearray(), 0, 0

    def emit(code, size):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    next_code, size = end + 1, min_code_size + 1
    emit(clear, size)
    prefix = ()
    for index in indices:
        candidate = prefix + (index,)
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix], size)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear, size)
            table = {(i,): i for i in range(clear)}
            next_code, size = end + 1, min_code_size + 1
        prefix = (index,)
    if prefix:
        emit(table[prefix], size)
    emit(end, size)
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks.append(len(chunk))
        blocks += chunk
    return bytes(blocks) + b"\x00"


def gif(canvas):
    step = 1
    while True:
        quantise = lambda p: tuple(min(255, (v // step) * step + step // 2) for v in p)
        colors = sorted({quantise(p) for row in canvas.pixels for p in row})
        if len(colors) <= 256:
            break
        step *= 2
    palette = {color: i for i, color in enumerate(colors)}
    indices = [palette[quantise(p)] for row in canvas.pixels for p in row]
    table_bits = max(1, (len(colors) - 1).bit_length())
    colors += [(0, 0, 0)] * ((1 << table_bits) - len(colors))
    w, h = canvas.width, canvas.height
    data = bytearray(b"GIF89a")
    data += w.to_bytes(2, "little") + h.to_bytes(2, "little")
    data += bytes([0x80 | (table_bits - 1), 0, 0])
    for color in colors:
        data += bytes(color)
    data += b"\x2C" + (0).to_bytes(2, "little") * 2 + w.to_bytes(2, "little") + h.to_bytes(2, "little") + b"\x00"
    min_code_size = max(2, table_bits)
    data.append(min_code_size)
    data += lzw(indices, min_code_size)
    data += b"\x3B"
    return bytes(data)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(gif(offline_picture()))
    with open(sys.argv[2], "wb") as f:
        f.write(gif(icon()))
