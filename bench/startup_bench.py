#!/usr/bin/env python3
"""The window's start: from the process's start to the bundled page having listed the route books
of the sample navigator (the simulator), against the floor, the engine alone (startup_floor)
showing a copy of the same page with the same list written in. Both run on one virtual display,
cold and warm, side by side in one run; the medians are printed with the program's own marks.

    cmake --preset release && cmake --build --preset release -j2 --target startup_floor
    python3 bench/startup_bench.py [--build build/release] [--runs 5] [--drop-caches]

Cold: the system's file cache dropped before each start (as root: --drop-caches is required for
the cold runs, which are otherwise left out). Warm: right after an earlier start. Each program
keeps one home and one program folder throughout, so that the engine's own caches and the
program's settings are there as after a first start. The program's end is its mark "page
listed": the second frame after the page was given its first list; the program also says how
long it took to answer the page's calls until then, its own part of the page's start. The
floor's page posts the same two frames after it was parsed.
"""

import argparse
import os
import pathlib
import queue
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from e2e import Display  # noqa: E402  a virtual display of its own, as the window's tests use

MARK = re.compile(r"start-up: (.+?) at [0-9.]+ ms \(monotonic clock ([0-9.]+) ms\)")
CALLS = re.compile(r"start-up: (\d+) page calls answered in ([0-9.]+) ms")
MARKS = ["program running", "settings read", "engine ready", "first listing answered",
         "page listed", "page loaded", "window shown"]
SIZE = ("880", "562")  # the window's first size
PROBE = ("<script>requestAnimationFrame(function () { requestAnimationFrame(function () {"
         " window.webkit.messageHandlers.listed.postMessage(''); }); });</script>\n")


def now_ms():
    return time.monotonic() * 1000


class Bench:
    def __init__(self, args, work, display):
        self.build = os.path.abspath(args.build)
        self.work = work
        self.display = display
        self.vantu = os.path.join(self.build, "src/app/gtk/vantu")
        self.portal = os.path.join(self.build, "src/app/gtk/portal")
        self.floor = os.path.join(self.build, "bench/startup_floor")
        self.navsim = os.path.join(self.build, "tools/navsim")
        self.root = os.path.join(work, "navigator")
        os.makedirs(self.root)
        subprocess.run([os.path.join(self.build, "src/cli/vantu-cli"), "make-sample", self.root],
                       check=True, capture_output=True)
        self.floor_page = self.write_floor_page()

    def env(self, home):
        for d in ("", "run", "tmp"):
            os.makedirs(os.path.join(home, d), mode=0o700, exist_ok=True)
        return {"PATH": os.environ["PATH"], "DISPLAY": self.display, "LANG": "C.UTF-8",
                "HOME": home, "XDG_RUNTIME_DIR": os.path.join(home, "run"),
                "TMPDIR": os.path.join(home, "tmp"),
                "XDG_CACHE_HOME": os.path.join(home, "cache"),
                "XDG_DATA_HOME": os.path.join(home, "data"),
                "XDG_CONFIG_HOME": os.path.join(home, "config")}

    def books(self):
        """The list as the program gives it to the page, by the terminal's same call."""
        env = dict(os.environ, LD_LIBRARY_PATH=self.navsim, NAVSIM_ROOT=self.root)
        out = subprocess.run([os.path.join(self.build, "src/cli/vantu-cli"), "call", "connToPDA",
                              "r"], check=True, capture_output=True, text=True, env=env).stdout
        return re.findall(r"<title>([^<]*)</title><rbid>(\d+)</rbid>", out)

    def write_floor_page(self):
        """The bundled page with the list written in as the page draws it, and the probe."""
        folder = os.path.join(self.work, "floor-page")
        shutil.copytree(self.portal, folder, symlinks=False)
        books = self.books()
        items = "".join(
            '<li class="%s" tabindex="0"><input type="checkbox" value="%s" tabindex="-1">'
            '<span class="title">%s</span></li>' % ("selected" if i == 0 else "", rbid, title)
            for i, (title, rbid) in enumerate(books))
        path = os.path.join(folder, "index.html")
        with open(path, encoding="utf-8") as f:
            page = f.read()
        for old, new in (
                ('<ul id="bookList" class="list"></ul>',
                 '<ul id="bookList" class="list">%s</ul>' % items),
                ('<span id="bookCount" class="count"></span>',
                 '<span id="bookCount" class="count">共 %d 个</span>' % len(books)),
                ('<div id="device" class="device off">未连接导航仪</div>',
                 '<div id="device" class="device on">导航仪已连接</div>'),
                ("</body>", PROBE + "</body>")):
            if old not in page:
                sys.exit("the bundled page has no %s: the floor's copy needs updating" % old)
            page = page.replace(old, new, 1)
        with open(path, "w", encoding="utf-8") as f:
            f.write(page)
        return pathlib.Path(path).as_uri()

    def home(self, kind):
        return os.path.join(self.work, kind)

    def prepare(self, cold):
        if cold:
            subprocess.run(["sync"], check=True)
            with open("/proc/sys/vm/drop_caches", "w") as f:
                f.write("3\n")

    def program(self, cold):
        home = self.home("program")
        folder = os.path.join(home, "program")
        if not os.path.exists(folder):
            os.makedirs(folder)
            shutil.copy2(self.vantu, folder)
            shutil.copytree(self.portal, os.path.join(folder, "portal"))
        env = self.env(home)
        env.update(LD_LIBRARY_PATH=self.navsim, NAVSIM_ROOT=self.root, VANTU_STARTUP_MARKS="1")
        self.prepare(cold)
        start = now_ms()
        process = subprocess.Popen([os.path.join(folder, "vantu")], cwd=folder, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l) for l in process.stderr], daemon=True).start()
        marks = read_marks(lines, start, time.monotonic() + 60, "page listed")
        # What comes soon after the list (the window shown at the load's end) is kept too.
        marks.update(read_marks(lines, start, time.monotonic() + 0.5))
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(15)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        if "page listed" not in marks:
            sys.exit("the program never listed the route books: %r" % marks)
        return marks

    def floor_run(self, cold):
        env = self.env(self.home("floor"))
        self.prepare(cold)
        start = now_ms()
        out = subprocess.run([self.floor, self.floor_page] + list(SIZE), env=env,
                             capture_output=True, text=True, timeout=60).stdout
        match = re.search(r"listed ([0-9.]+)", out)
        if not match:
            sys.exit("the floor never listed the route books")
        return float(match.group(1)) - start


def read_marks(lines, start, deadline, until=None):
    """The program's marks from its log lines, in ms from its start, until a mark or a time."""
    marks = {}
    while until not in marks and time.monotonic() < deadline:
        try:
            line = lines.get(timeout=0.1)
        except queue.Empty:
            continue
        match, calls = MARK.search(line), CALLS.search(line)
        if match:
            marks[match.group(1)] = float(match.group(2)) - start
        elif calls:
            marks["page calls"] = float(calls.group(2))
    return marks


def median(values):
    return statistics.median(values) if values else float("nan")


def report(results, runs):
    print("start-up in ms from the process's start, median of %d runs" % runs)
    print("%-36s %9s %9s" % ("", "cold", "warm"))
    for mark in MARKS:
        row = [median([m[mark] for m in results[kind]["program"] if mark in m])
               for kind in ("cold", "warm")]
        print("%-36s %9.1f %9.1f" % ("program: " + mark, *row))
    calls = [median([m["page calls"] for m in results[kind]["program"] if "page calls" in m])
             for kind in ("cold", "warm")]
    print("%-36s %9.1f %9.1f" % ("program: answering the page's calls", *calls))
    floor = [median(results[kind]["floor"]) for kind in ("cold", "warm")]
    listed = [median([m["page listed"] for m in results[kind]["program"]])
              for kind in ("cold", "warm")]
    print("%-36s %9.1f %9.1f" % ("floor: listed", *floor))
    print("%-36s %9.2f %9.2f" % ("program / floor", *(p / f for p, f in zip(listed, floor))))
    print("%-36s %9.1f %9.1f" % ("program's own part (program - floor)",
                                 *(p - f for p, f in zip(listed, floor))))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--drop-caches", action="store_true",
                        help="run the cold starts too, dropping the system's file cache before "
                        "each (root)")
    args = parser.parse_args()
    display = Display()
    work = tempfile.mkdtemp(prefix="vantu-startup-bench-")
    try:
        bench = Bench(args, work, os.environ["DISPLAY"])
        results = {kind: {"program": [], "floor": []} for kind in ("cold", "warm")}
        # The first starts make the homes' caches and the program's settings.
        bench.program(False)
        bench.floor_run(False)
        for kind in ("cold", "warm") if args.drop_caches else ("warm",):
            for _ in range(args.runs):
                results[kind]["program"].append(bench.program(kind == "cold"))
                results[kind]["floor"].append(bench.floor_run(kind == "cold"))
        report(results, args.runs)
    finally:
        display.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
