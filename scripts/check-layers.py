#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher layer.

The program's folders form layers that include only downwards, so that each layer can be read,
tested and ported with only the layers below it. Folders of one rank do not include each other.
platform/ (the seam) and common/ (what every layer shares) sit below them all; the generated
build_config.h and its template in src/ itself may be included anywhere.
"""
import pathlib
import re
import sys

# Lowest first. A folder's rank is that of its longest matching prefix.
LAYERS = [
    ("platform/", 0),
    ("common/", 1),
    ("formats/", 2),
    ("device/", 3),
    ("ops/", 4),
    ("tasks/", 5),
    ("update/", 6),
    ("session/", 6),
    ("bridge/", 7),
    ("app/", 8),
    ("app/gtk/", 9),
    ("app/win32/", 9),
    ("cli/", 9),
]
NEUTRAL = {"build_config.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(path):
    best = None
    for prefix, rank in LAYERS:
        if path.startswith(prefix) and (best is None or len(prefix) > len(best[0])):
            best = (prefix, rank)
    return best


def check(src):
    problems = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".h", ".cpp", ".in"):
            continue
        rel = file.relative_to(src).as_posix()
        if "/" not in rel:
            continue  # the build settings' template
        own = layer_of(rel)
        if own is None:
            problems.append(f"{rel}: lies in no layer (add its folder to the list)")
            continue
        for header in INCLUDE.findall(file.read_text(encoding="utf-8", errors="replace")):
            if header in NEUTRAL or "/" not in header:
                continue  # the generated settings, or a header of the same folder
            theirs = layer_of(header)
            if theirs is None:
                problems.append(f"{rel}: includes {header}, which lies in no layer")
            elif theirs[0] != own[0] and theirs[1] >= own[1]:
                problems.append(f"{rel} ({own[0]}) includes {header} ({theirs[0]})")
    return problems


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src")
    problems = check(src)
    for p in problems:
        print(p)
    if problems:
        print(f"layer check: {len(problems)} include(s) against the one-way rule")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
