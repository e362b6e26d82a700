#!/usr/bin/env python3
"""The route book editor on a large route book: a recorded track of 100,000 points on the
simulated navigator, opened in the bundled page's editor and saved back unchanged as a
replacement. Two times, each from the click to what the user sees: the editor drawn (the frame
after the document was drawn), and "saved" (the task's end). The page writes both into its
history (portal_history.txt beside the program); this script clicks and reads them. Each run
checks that the route book's files on the navigator came back byte for byte. Goal: under 1 s
each, on the release build.

    cmake --preset release && cmake --build --preset release -j2 --target vantu vantu-cli navsim
    python3 bench/edit_bench.py [--build build/release] [--points 100000] [--runs 3]
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import e2e  # noqa: E402  the window's test harness: a virtual display, the program, xdotool

OPENED = re.compile(r"打开导航仪上的“Bench”来编辑（(\d+) 个轨迹点，(\d+) 毫秒）")
SAVED = re.compile(r"路书“Bench”已存到导航仪（(\d+) 个轨迹点，(\d+) 毫秒）")


def recorded_gpx(path, points):
    """A drive north-east a point a second, a few metres apart."""
    with open(path, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?><gpx version="1.1" creator="bench" '
                'xmlns="http://www.topografix.com/GPX/1/1"><trk><name>Bench</name><trkseg>')
        for i in range(points):
            f.write('<trkpt lat="%.5f" lon="%.5f"><time>2024-05-%02dT%02d:%02d:%02dZ</time></trkpt>'
                    % (30.0 + i * 0.00003, 110.0 + i * 0.00004, 1 + i // 86400,
                       i // 3600 % 24, i // 60 % 60, i % 60))
        f.write('</trkseg></trk></gpx>')


def files_of(root, name):
    found = {}
    for folder, _, files in os.walk(root):
        for f in files:
            if f.startswith(name + ".") or os.path.basename(folder) == name:
                with open(os.path.join(folder, f), "rb") as g:
                    found[os.path.relpath(os.path.join(folder, f), root)] = g.read()
    return found


def wait_for(program, pattern, seen, timeout=120):
    deadline = time.time() + timeout
    while time.time() < deadline:
        lines = (program.read("portal_history.txt") or "").splitlines()
        for line in lines[seen:]:
            found = pattern.search(line)
            if found:
                return int(found.group(1)), int(found.group(2)), len(lines)
        time.sleep(0.2)
    raise e2e.Failure("the page did not say %s" % pattern.pattern)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--points", type=int, default=100000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    cli = os.path.join(build, "src/cli/vantu-cli")
    work = tempfile.mkdtemp(prefix="vantu-edit-bench-")
    display = e2e.Display()
    try:
        root = os.path.join(work, "navigator")
        os.makedirs(root)
        subprocess.run([cli, "make-sample", root], check=True, capture_output=True)
        simulator = {"LD_LIBRARY_PATH": os.path.join(build, "tools/navsim"), "NAVSIM_ROOT": root}
        gpx, package = os.path.join(work, "bench.gpx"), os.path.join(work, "Bench.zip")
        recorded_gpx(gpx, args.points)
        subprocess.run([cli, "import-gpx", gpx, "Bench", package], check=True, capture_output=True)
        subprocess.run([cli, "install", package], check=True, capture_output=True,
                       env=dict(os.environ, **simulator))
        listing = subprocess.run([cli, "call", "connToPDA", "r"], check=True, capture_output=True,
                                 text=True, env=dict(os.environ, **simulator)).stdout
        rbid = dict(re.findall(r"<title>([^<]*)</title><rbid>(\d+)</rbid>", listing))["Bench"]
        before = files_of(root, "Bench")
        e2e.Program.servers = e2e.Servers(work)
        program = e2e.Program(work, os.path.join(build, "src/app/gtk/vantu"), "",
                              portal=os.path.join(build, "src/app/gtk/portal"), env=simulator,
                              settings=[("portal.lastBook", rbid), ("portal.tiles", "none")])
        program.start()
        e2e.wait_for_pixels(os.path.join(work, "shot.png"), "#3a9d5d", (300, 40, 300, 4), 300,
                            "the navigator is not shown as connected", timeout=e2e.FIRST_PAINT_S)
        window = program.window()
        opened, saved, seen = [], [], 0
        e2e.click(window, e2e.EDIT_BOOKS)
        for run in range(args.runs):
            e2e.click(window, e2e.EDIT_OPEN_BOOK)
            points, ms, seen = wait_for(program, OPENED, seen)
            opened.append(ms)
            e2e.click(window, e2e.EDIT_SAVE_NAVIGATOR)
            points, ms, seen = wait_for(program, SAVED, seen)
            saved.append(ms)
            e2e.check(points == args.points, "the editor had %d points" % points)
            e2e.check(files_of(root, "Bench") == before, "the route book did not come back byte for byte")
            print("run %d: drawn %d ms, saved %d ms" % (run + 1, opened[-1], saved[-1]))
        program.kill()
        e2e.Program.servers.close()
        print("%d points: from the click to the drawn editor %d ms, to saved %d ms (medians of %d)"
              % (args.points, statistics.median(opened), statistics.median(saved), args.runs))
    finally:
        display.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
