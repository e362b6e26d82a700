#!/usr/bin/env python3
"""Writes small, valid navigator files for command-line tests and fuzzing seeds.

    route_files.py OUTDIR

OUTDIR receives drive.trk (long layout, two segments with line numbers 1 and 2), short.trk (the
same points in the short layout), trip.rut (a route book with a Book, a POI and two lines) and
empty.rut (a route file without records). All integers little-endian, texts UTF-16LE.
"""
import os
import struct
import sys

SEGMENTS = [
    (1, [(11639000, 3990000), (11639010, 3990005), (11639020, 3990012)]),
    (2, [(11640000, 3991000), (11640015, 3991020)]),
]


def field(text, units):
    data = text.encode("utf-16-le")[: 2 * units]
    return data + b"\0" * (2 * units - len(data))


def track(version):
    long_layout = version > 256
    out = field("SMG_TRACK", 10) + struct.pack("<I", version)
    for line_id, points in SEGMENTS:
        lng, lat = points[0]
        out += struct.pack("<iiii", 1, lng, lat, 0)
        out += struct.pack("<6H", 2009, 5, 1, 8, 30, 15) + struct.pack("<i", 0)
        if long_layout:
            out += struct.pack("<ii", line_id, 0)
        out += struct.pack("<i", len(points))
        for x, y in points:
            out += struct.pack("<hhHH", x - lng, y - lat, 0, 1000)
            if long_layout:
                out += struct.pack("<h", 0)
            lng, lat = x, y
    return out + struct.pack("<i", 0)


def text(value):
    return struct.pack("<i", len(value)) + value.encode("utf-16-le")


def record(title, kind, lng, lat, mileage=0, content="", img=""):
    out = field(title, 20) + struct.pack("<hiiiii", kind, mileage, 1, 100, lng, lat)
    return out + text(content) + text(img)


def route(author, city_from, city_to, header_text, records):
    out = field("SMG_RUT", 10) + struct.pack("<I", 259) + field(author, 32)
    out += struct.pack("<i", 20090321) + field(city_from, 10) + field(city_to, 10)
    out += text(header_text) + struct.pack("<i", len(records)) + b"\0" * (4 * len(records))
    return out + b"".join(records)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    trip = route("李四", "北京", "天津", "hello", [
        record("一日游", 0, 11639000, 3990000, mileage=230000, content="Nice & easy"),
        record('Gate "A"', 1, 11639000, 3990000, content="open", img="gate.jpg"),
        record("Leg 1", 2, 11640000, 3991000, content="North"),
        record("Leg 2", 2, 11640015, 3991020),
    ])
    files = {
        "drive.trk": track(259),
        "short.trk": track(256),
        "trip.rut": trip,
        "empty.rut": route("", "", "", "", []),
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
