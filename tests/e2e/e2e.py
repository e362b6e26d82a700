#!/usr/bin/env python3
"""End-to-end scenarios of the window: the real program under a virtual display of its own,
loading test pages from loopback servers, driven with xdotool and checked through what the pages
record.

    e2e.py SCENARIO

Environment: VANTU_E2E (the window built with the test pages), VANTU (the program),
VANTU_PORTAL (the bundled page), VANTU_CLI, NAVSIM_DIR (the simulator's folder), E2E_ARTIFACTS
(a folder for screenshots).
"""
import functools
import json
import http.server
import os
import re
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES = os.path.join(HERE, "pages")
# Two loopback addresses: two origins on one machine. The ports are whatever is free.
TRUSTED_HOST, FOREIGN_HOST = "127.77.0.1", "127.77.0.2"
OFFLINE_COLOUR = "C4C8D4"
# How long a page may take to show (the bundled page its route books): on a machine busy with
# builds beside the tests, the web view's first paint alone can take most of a minute.
FIRST_PAINT_S = 100


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(command, **options):
    """subprocess.run, bounded: a tool that hangs fails the scenario with its name, well before
    the test's own time limit would end it without one."""
    options.setdefault("timeout", 90)
    try:
        return subprocess.run(command, **options)
    except subprocess.TimeoutExpired:
        raise Failure("%s did not end within %d s" % (" ".join(command[:3]), options["timeout"]))


def solid_png(rgb, size=256):
    """A PNG of one colour."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    row = b"\0" + bytes(rgb) * size
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(row * size)) + chunk(b"IEND", b""))


# The map tiles of the loopback tile server: one dark colour, under which the attribution's
# pale box stands out.
TILE_COLOUR = "#204060"
TILE_PNG = solid_png((0x20, 0x40, 0x60))


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    # The headers of every tile request, for the checks of what is sent.
    tile_requests = []
    # What pages that cannot write the record report, in order of arrival.
    reports = []

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path.startswith("/report?"):
            QuietHandler.reports.append(urllib.parse.unquote(self.path[len("/report?"):]))
            self.send_response(204)
            self.end_headers()
            return
        if self.path.startswith("/tiles/"):
            QuietHandler.tile_requests.append((self.path, dict(self.headers.items())))
            self.send_response(200)
            self.send_header("Content-Type", "image/png")
            self.send_header("Content-Length", str(len(TILE_PNG)))
            self.end_headers()
            self.wfile.write(TILE_PNG)
            return
        # A package that takes a minute to arrive: a download to pause.
        if self.path.startswith("/slow.zip"):
            self.send_response(200)
            self.send_header("Content-Type", "application/zip")
            self.send_header("Content-Length", "600")
            self.end_headers()
            try:
                for _ in range(600):
                    self.wfile.write(b"P")
                    self.wfile.flush()
                    time.sleep(0.1)
            except OSError:
                pass
            return
        super().do_GET()


class Servers:
    """The test pages over http on two origins and over https with a self-signed certificate,
    each on a free port, and an address where nothing listens."""

    def __init__(self, workdir):
        cert, key = os.path.join(workdir, "cert.pem"), os.path.join(workdir, "key.pem")
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=" + TRUSTED_HOST, "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        handler = functools.partial(QuietHandler, directory=PAGES)
        self.servers = []
        self.urls = {}
        for name, host, tls in (("http", TRUSTED_HOST, False), ("foreign", FOREIGN_HOST, False),
                                ("https", TRUSTED_HOST, True)):
            server = http.server.ThreadingHTTPServer((host, 0), handler)
            if tls:
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                context.load_cert_chain(cert, key)
                server.socket = context.wrap_socket(server.socket, server_side=True)
            threading.Thread(target=server.serve_forever, daemon=True).start()
            self.servers.append(server)
            self.urls[name] = "%s://%s:%d" % ("https" if tls else "http", host,
                                              server.server_address[1])
        with socket.socket() as probe:
            probe.bind((TRUSTED_HOST, 0))
            self.urls["refused"] = "http://%s:%d" % (TRUSTED_HOST, probe.getsockname()[1])

    def close(self):
        for server in self.servers:
            server.shutdown()
            server.server_close()


class Display:
    """A virtual X display of this run's own (Xvfb picks a free display number)."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            byte = os.read(read, 1)
            if not byte:
                raise Failure("Xvfb did not start")
            number += byte
        os.close(read)
        os.environ["DISPLAY"] = ":" + number.decode().strip()

    def close(self):
        self.process.terminate()
        self.process.wait()


class Program:
    """One start of the program from a fresh program folder, with its own home and temp folder."""

    started = []
    servers = None

    def __init__(self, workdir, executable, scenario, settings=None, portal=None, tmpdir=None,
                 env=None):
        self.folder = os.path.join(workdir, "program")
        os.makedirs(self.folder, exist_ok=True)
        self.executable = os.path.join(self.folder, os.path.basename(executable))
        shutil.copy2(executable, self.executable)
        if portal:
            shutil.copytree(portal, os.path.join(self.folder, "portal"), dirs_exist_ok=True)
        self.write("e2e-scenario.txt", scenario)
        urls = Program.servers.urls
        self.write("e2e-servers.txt", json.dumps(urls))
        self.write("e2e-hosts.txt", "start=%s/start.html\nalternate=%s/start.html\ntrusted=%s\n"
                   % (urls["http"], urls["https"], urls["https"]))
        if settings:
            self.write("vantu.ini", "[xxx]\r\n" + "".join("%s=%s\r\n" % kv for kv in settings))
        self.tmpdir = tmpdir or os.path.join(workdir, "tmp")
        home = os.path.join(workdir, "home")
        runtime = os.path.join(workdir, "run")
        for d in (home, runtime, os.path.join(workdir, "tmp")):
            os.makedirs(d, mode=0o700, exist_ok=True)
        self.env = {k: v for k, v in os.environ.items() if k in ("PATH", "DISPLAY", "XAUTHORITY")}
        self.env.update(HOME=home, XDG_RUNTIME_DIR=runtime, TMPDIR=self.tmpdir,
                        XDG_CACHE_HOME=os.path.join(home, "cache"),
                        XDG_DATA_HOME=os.path.join(home, "data"),
                        XDG_CONFIG_HOME=os.path.join(home, "config"), LANG="C.UTF-8")
        self.env.update(env or {})
        self.log = open(os.path.join(workdir, "program.log"), "ab")
        self.process = None
        Program.started.append(self)

    def write(self, name, text):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(text.encode("gbk"))

    def read(self, name):
        try:
            with open(os.path.join(self.folder, name), "rb") as f:
                return f.read().decode("gbk")
        except FileNotFoundError:
            return None

    def start(self):
        process = subprocess.Popen([self.executable], cwd=self.folder, env=self.env,
                                   stdout=self.log, stderr=self.log)
        if self.process is None:
            self.process = process
        return process

    def record(self):
        text = self.read("e2e-record.txt") or ""
        return [line for line in text.splitlines() if not line.startswith("timing ")]

    def timing(self):
        text = self.read("e2e-record.txt") or ""
        return [line for line in text.splitlines() if line.startswith("timing ")]

    def wait_for(self, line, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if line in self.record():
                return
            check(self.process.poll() is None, "the program ended early (%s)" % self.process.returncode)
            time.sleep(0.1)
        raise Failure("no %r in the record: %r" % (line, self.record()))

    def window(self):
        out = xdotool("search", "--sync", "--onlyvisible", "--pid", str(self.process.pid))
        return out.split()[0]

    def stop(self, timeout=15):
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("the program did not end after SIGTERM")

    def settings(self):
        values = {}
        for line in (self.read("vantu.ini") or "").splitlines():
            if "=" in line:
                key, value = line.split("=", 1)
                values[key.strip()] = value.strip()
        return values

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def xdotool(*args):
    return run(["xdotool"] + list(args), check=True, capture_output=True, text=True,
                          timeout=20).stdout


def screenshot(path):
    run(["import", "-window", "root", path], check=True, timeout=30)


def pixel(path, x, y):
    out = run(["convert", path, "-format", "%%[hex:p{%d,%d}]" % (x, y), "info:"],
                         check=True, capture_output=True, text=True).stdout
    return out.strip().upper()[:6]


def wait_for_colour(path, x, y, colour, timeout=FIRST_PAINT_S):
    deadline = time.time() + timeout
    while time.time() < deadline:
        screenshot(path)
        if pixel(path, x, y) == colour:
            return
        time.sleep(0.3)
    raise Failure("the screen at (%d, %d) is %s, not %s" % (x, y, pixel(path, x, y), colour))


def compare(got, expected):
    if got != expected:
        lines = ["record differs:"]
        for i in range(max(len(got), len(expected))):
            g = got[i] if i < len(got) else "<none>"
            e = expected[i] if i < len(expected) else "<none>"
            lines.append(("   " if g == e else "!! ") + g + ("" if g == e else "   (expected %s)" % e))
        raise Failure("\n".join(lines))


METHOD_NAMES = ("getValue,writeValue,getFileText,writeFileText,SetUsername,connToPDA,GetPdaAddr,"
                "poiToPDA,deleteSelectedPoi,showRoadbook,importToPDA,deleteSelected,exportFromPDA,"
                "PauseTask,installPackageFromPC,installGpxFromPC,saveGpxToPC,backupToPC,restoreFromPC,"
                "backupOutcome,editRouteBook,saveEditToPDA,saveEditToPC")

TYPED_VALUES = [("number:12", "12"), ("number:-5", "-5"), ("number:1.5", "1.5"),
                ("number:3000000000", "3000000000"), ("boolean:true", "-1"),
                ("boolean:false", "0"), ('"abc"', "abc"), ('"中文，路书"', "中文，路书"),
                ("undefined", "")]

METHODS_RECORD = (
    ['call getValue("missing") -> ""'] +
    [line for i, (arg, stored) in enumerate(TYPED_VALUES) for line in (
        'call writeValue("v%d",%s) -> boolean:true' % (i, arg),
        'call getValue("v%d") -> "%s"' % (i, stored))] +
    ['call writeValue("v6",object:null) -> boolean:true',
     'call getValue("v6") -> "abc"',
     'call writeValue("int",number:12) -> boolean:true',
     'call getValue() -> ""',
     'call getFileText() -> boolean:true',
     'call getFileText("a.txt","b.txt") -> boolean:true',
     r'call writeFileText("e2e-text.txt","line1\nline2 \"q\" <b>&amp; 中文") -> boolean:true',
     r'call getFileText("e2e-text.txt") -> "line1\nline2 \"q\" <b>&amp; 中文"',
     'call getFileText("missing.txt") -> ""',
     'call writeFileText("e2e-number.txt",number:42) -> boolean:true',
     'call getFileText("e2e-number.txt") -> "42"',
     'SetUsername answers string',
     'call connToPDA("r") -> undefined',
     'call GetPdaAddr() -> undefined',
     r'call poiToPDA("<p lng=\"11600000\" lat=\"3900000\">Home</p>") -> undefined',
     'call deleteSelectedPoi("0") -> undefined',
     'call showRoadbook("0") -> undefined',
     'call importToPDA("<rb><url>http://127.77.0.1/none.zip</url><name>x</name></rb>")'
     ' -> undefined',
     'call deleteSelected("0") -> undefined',
     'call exportFromPDA("0") -> undefined',
     'call PauseTask("p") -> undefined',
     'external keys ' + METHOD_NAMES,
     'after assignment object',
     'delete answers false',
     'unknown method undefined',
     'frame https: external object',
     'frame https: getValue -> "12"',
     'frame https: writeValue -> boolean:true',
     'frame foreign: external object',
     'frame foreign: getValue -> undefined',
     'frame foreign: writeValue -> undefined',
     'frame sandboxed: external object',
     'frame sandboxed: getValue -> undefined',
     'frame sandboxed: writeValue -> undefined',
     '== ready'])


def methods(env, workdir):
    """Every method with typed arguments from the http start page; frames of a trusted https
    origin, a foreign origin and a sandboxed frame; a right click, Enter and Esc; the closing."""
    program = Program(workdir, env["VANTU_E2E"], "methods")
    program.start()
    program.wait_for("== ready")
    compare(program.record(), METHODS_RECORD)
    print("\n".join(program.timing()))

    window = program.window()
    xdotool("mousemove", "--window", window, "120", "45", "click", "3")
    program.wait_for('page onRButtonDown("120","45")')
    program.wait_for("dom contextmenu")
    xdotool("key", "--window", window, "Return", "Escape")
    program.wait_for("dom keydown Escape")
    check(program.process.poll() is None, "Enter or Esc closed the window")
    # Dragging across the page's text selects nothing.
    xdotool("mousemove", "--window", window, "2", "25", "mousedown", "1",
            "mousemove", "--window", window, "150", "28", "mouseup", "1")
    program.wait_for('dom selection ""')
    check(program.stop() == 0, "the program did not end cleanly")

    after = program.record()[len(METHODS_RECORD):]
    compare(sorted(after[:3]), sorted(['dom mousedown button 2 at 120,45',
                                       'page onRButtonDown("120","45")', 'dom contextmenu']))
    compare(after[3:], ["dom keydown Enter", "dom keydown Escape", "dom mousedown button 0 at 2,25",
                        'dom selection ""', "page onWinExit()"])
    settings = program.settings()
    check(settings.get("from-https") == "1", "the trusted https frame could not write")
    check("from-foreign" not in settings and "from-sandboxed" not in settings,
          "an untrusted frame wrote a setting: %r" % settings)
    for key, value in (("left", "0"), ("top", "0"), ("width", "882"), ("height", "562"),
                       ("iszoomed", "0")):
        check(settings.get(key) == value, "%s is %r after closing, not %s" % (key, settings.get(key), value))


def https_alt_page(env, workdir):
    """A stored "_GoogleAdsense" text opens the alternate page (https here) with the text as its
    query; the stored placement is restored, and the moved window's placement saved."""
    program = Program(workdir, env["VANTU_E2E"], "second_page", settings=[
        ("_GoogleAdsense", "campaign42"), ("left", "100"), ("top", "80"), ("width", "1000"),
        ("height", "700"), ("iszoomed", "1")])
    program.start()
    program.wait_for("== ready")
    compare(program.record(), ["page https: ?campaign42",
                               'call writeValue("int",number:7) -> boolean:true',
                               'call getValue("int") -> "7"', "== ready"])
    print("\n".join(program.timing()))
    window = program.window()
    geometry = xdotool("getwindowgeometry", window)
    check("Position: 100,80" in geometry and "Geometry: 1000x700" in geometry,
          "the window is not at the stored placement:\n" + geometry)
    xdotool("windowmove", window, "150", "120", "windowsize", window, "1100", "720")
    time.sleep(1)
    check(program.stop() == 0, "the program did not end cleanly")
    settings = program.settings()
    for key, value in (("left", "150"), ("top", "120"), ("width", "1100"), ("height", "720"),
                       ("iszoomed", "0")):
        check(settings.get(key) == value, "%s is %r after closing, not %s" % (key, settings.get(key), value))


def local_page(env, workdir):
    """The program itself (not the test build) with a test page as its bundled page: a local file
    page is served through its key."""
    portal = os.path.join(workdir, "portal")
    shutil.copytree(PAGES, portal)
    shutil.copy(os.path.join(PAGES, "start.html"), os.path.join(portal, "index.html"))
    program = Program(workdir, env["VANTU"], "second_page", portal=portal)
    program.start()
    program.wait_for("== ready")
    compare(program.record(), ["page file: ", 'call writeValue("int",number:7) -> boolean:true',
                               'call getValue("int") -> "7"', "== ready"])
    print("\n".join(program.timing()))
    check(program.stop() == 0, "the program did not end cleanly")


def offline(env, workdir, scenario):
    program = Program(workdir, env["VANTU_E2E"], scenario)
    program.start()
    shot = os.path.join(env["E2E_ARTIFACTS"], scenario + ".png")
    wait_for_colour(shot, 5, 5, OFFLINE_COLOUR)
    # Written into the run's own closed folder under the runtime folder, never into a folder of
    # a fixed name in the shared temporary folder.
    runtime = program.env["XDG_RUNTIME_DIR"]
    folders = [os.path.join(runtime, d) for d in os.listdir(runtime) if d.startswith("vantu-")]
    check(len(folders) == 1, "no single folder of the run in %r" % os.listdir(runtime))
    folder = folders[0]
    check(os.stat(folder).st_mode & 0o777 == 0o700, "the run's folder is open to others")
    check(not os.path.exists(os.path.join(program.tmpdir, "vantu")),
          "a folder was made in the shared temporary folder")
    with open(os.path.join(folder, "nolink.html"), "rb") as f:
        page = f.read()
    check(page.startswith(b'<html xmlns="http://www.w3.org/1999/xhtml"') and b"\n" not in page,
          "nolink.html is not the offline page")
    check("不能连接".encode("gbk") in page, "nolink.html is not GBK")
    size = run(["identify", "-format", "%m %wx%h", os.path.join(folder, "nolink.gif")],
                          check=True, capture_output=True, text=True).stdout
    check(size == "GIF 507x230", "nolink.gif is %r" % size)
    # The picture is centred, 160 pixels down.
    check(pixel(shot, (882 - 507) // 2 + 10, 160 + 10) != OFFLINE_COLOUR,
          "no picture on the offline page")
    check(program.stop() == 0, "the program did not end cleanly")
    check(not os.path.exists(folder), "the run's folder is left behind")


def offline_refused(env, workdir):
    """A refused connection shows the offline page built in the temporary folder."""
    offline(env, workdir, "offline_refused")


def offline_404(env, workdir):
    """An HTTP error answer of the main frame shows the offline page."""
    offline(env, workdir, "offline_404")


def text_page(env, workdir):
    """With no folder the program can make its own, the text page asks the user to connect."""
    # Folders where nobody, not even root, can make a folder.
    program = Program(workdir, env["VANTU_E2E"], "text_page", tmpdir="/proc",
                      env={"XDG_RUNTIME_DIR": "/proc"})
    program.start()
    shot = os.path.join(env["E2E_ARTIFACTS"], "text_page.png")
    # The text page is white; the test page before it is white too, so wait for the text.
    deadline = time.time() + FIRST_PAINT_S
    while time.time() < deadline:
        screenshot(shot)
        dark = run(["convert", shot, "-crop", "300x40+0+0", "-threshold", "50%",
                               "-format", "%[fx:mean]", "info:"],
                              check=True, capture_output=True, text=True).stdout
        if float(dark) < 0.999 and pixel(shot, 5, 5) == "FFFFFF":
            break
        time.sleep(0.3)
    else:
        raise Failure("no text page")
    check(program.stop() == 0, "the program did not end cleanly")


def foreign_main(env, workdir):
    """A frame of a trusted origin gets no value while the window's main document is of a foreign
    origin: what a request claims is checked against the address of the view that sent it."""
    program = Program(workdir, env["VANTU_E2E"], "foreign_main")
    program.start()
    deadline = time.time() + FIRST_PAINT_S
    while not QuietHandler.reports:
        check(time.time() < deadline, "the framed page reported nothing")
        check(program.process.poll() is None, "the program ended early")
        time.sleep(0.2)
    compare(QuietHandler.reports[0].split("\n"),
            ["external object", "getValue -> undefined", "writeValue -> undefined"])
    check("from-trusted" not in program.settings(), "the frame wrote a setting")
    check(program.stop() == 0, "the program did not end cleanly")


def single_instance(env, workdir):
    """A second start presents the first instance's window and ends; no second window."""
    program = Program(workdir, env["VANTU_E2E"], "second_page")
    program.start()
    program.wait_for("== ready")
    program.window()
    started = time.time()
    second = program.start()
    check(second.wait(20) == 0, "the second start failed")
    check(time.time() - started < 10, "the second start took too long")
    windows = xdotool("search", "--onlyvisible", "--name", "KorvelVantu").split()
    check(len(windows) == 1, "%d windows" % len(windows))
    check(program.process.poll() is None, "the first instance ended")
    check(program.stop() == 0, "the program did not end cleanly")


def script_dialogs(env, workdir):
    """The page's confirm, prompt and alert boxes are the program's own dialogs, titled with its
    name, and their answers reach the page."""
    program = Program(workdir, env["VANTU_E2E"], "script_dialogs")
    program.start()
    answers = (("Return", "confirm true"), ("Escape", "prompt object:null"), ("Return", "alert closed"))
    for i, (key, line) in enumerate(answers):
        dialog = xdotool("search", "--sync", "--onlyvisible", "--name", "^KorvelVantu$").split()[0]
        if i == 0:
            screenshot(os.path.join(env["E2E_ARTIFACTS"], "script_dialog.png"))
        # Without a window manager nothing gives the dialog the focus: the test does.
        xdotool("windowfocus", dialog)
        time.sleep(0.3)
        xdotool("key", key)
        program.wait_for(line)
    program.wait_for("== ready")
    check(program.stop() == 0, "the program did not end cleanly")


def count_colour(path, colour, box):
    """How many pixels inside box (w, h, x, y) have about that colour."""
    out = run(["convert", path, "-crop", "%dx%d+%d+%d" % box, "+repage", "-fuzz", "6%",
                          "-fill", "black", "+opaque", colour, "-fill", "white", "-opaque", colour,
                          "-format", "%[fx:mean*w*h]", "info:"],
                         check=True, capture_output=True, text=True).stdout
    return float(out)


def simulated_navigator(env, workdir):
    root = os.path.join(workdir, "navigator")
    os.makedirs(root)
    run([env["VANTU_CLI"], "make-sample", root], check=True, capture_output=True)
    return {"LD_LIBRARY_PATH": env["NAVSIM_DIR"], "NAVSIM_ROOT": root}


def notifications(env, workdir):
    """What a method or a task posts reaches the page as calls of its functions, in order, after
    the method has returned: a bad route book number, a deletion, a download that fails."""
    program = Program(workdir, env["VANTU_E2E"], "notifications",
                      env=simulated_navigator(env, workdir))
    program.start()
    program.wait_for("== ready")
    unknown = 'page kankan("出现未知错误，建议重启程序！")'
    compare(program.record(), [
        'connToPDA answers <?xml version="1.0" encoding="GBK" ?><rblist count="5" page="1">',
        'call showRoadbook("-1") -> ""', 'call showRoadbook("99") -> ""', unknown, unknown,
        'call deleteSelected("0") -> ""', 'page currentLushu("1","delete")', 'page kankan(" ")',
        'call importToPDA("<rb><url>%s/none.zip</url><name>New</name></rb>") -> ""'
        % Program.servers.urls["http"], 'page currentLushu("1","down")', 'page kankan("下载路书失败，网络异常！")',
        'connToPDA answers <rblist count="4" page="1">', "== ready"])
    check(program.stop() == 0, "the program did not end cleanly")


def bundled_page(env, workdir):
    """The program with its bundled page and a simulated navigator holding the sample data: the
    page lists the route books and draws one on its map. The screenshot is kept."""
    simulator = simulated_navigator(env, workdir)
    listing = run([env["VANTU_CLI"], "call", "connToPDA", "r"], check=True,
                             capture_output=True, text=True,
                             env=dict(os.environ, **simulator)).stdout
    books = dict(re.findall(r"<title>([^<]*)</title><rbid>(\d+)</rbid>", listing))
    check("长城一日游" in books, "the sample has no route book 长城一日游: " + listing)
    program = Program(workdir, env["VANTU"], "", portal=env["VANTU_PORTAL"], env=simulator,
                      settings=[("portal.lastBook", books["长城一日游"]), ("portal.tiles", "none")])
    program.start()
    shot = os.path.join(env["E2E_ARTIFACTS"], "bundled_page.png")
    deadline = time.time() + FIRST_PAINT_S
    while True:
        screenshot(shot)
        badge = count_colour(shot, "#3a9d5d", (300, 40, 300, 4))  # "navigator connected"
        track = count_colour(shot, "#d9534f", (560, 500, 310, 50))
        if badge > 300 and track > 300:
            break
        check(time.time() < deadline, "no route book on the map (%d badge pixels, %d track "
              "pixels)" % (badge, track))
        time.sleep(0.5)
    check(program.stop() == 0, "the program did not end cleanly")
    check(program.settings().get("portal.tab") == "books", "the page kept no settings")


def wait_for_pixels(shot, colour, box, least, what, timeout=20):
    deadline = time.time() + timeout
    while True:
        screenshot(shot)
        found = count_colour(shot, colour, box)
        if found >= least:
            return
        check(time.time() < deadline, "%s (%d pixels of %s)" % (what, found, colour))
        time.sleep(0.3)


def bundled_page_use(env, workdir):
    """The bundled page as its users meet it: readable Chinese on a machine with the program's
    dependencies, the right-click menu, a saved place whose name holds "&", and a download that
    the user pauses. The screenshots are kept."""
    fonts = run(["fc-list", ":lang=zh", "family"], capture_output=True, text=True).stdout
    check(fonts.strip(), "no CJK font is installed: the page's Chinese would show as boxes")
    simulator = simulated_navigator(env, workdir)
    slow = Program.servers.urls["http"] + "/slow.zip"
    program = Program(workdir, env["VANTU"], "", portal=env["VANTU_PORTAL"], env=simulator,
                      settings=[("portal.queue", "慢慢下载\t" + slow), ("portal.tiles", "none")])
    program.start()
    art = env["E2E_ARTIFACTS"]
    shot = os.path.join(art, "chinese_text.png")
    wait_for_pixels(shot, "#3a9d5d", (300, 40, 300, 4), 300, "the navigator is not shown as connected",
                    timeout=FIRST_PAINT_S)
    wait_for_pixels(shot, "#d9534f", (560, 500, 310, 50), 300, "no route book on the map")
    window = program.window()

    # The menu opens where the right button goes down and stays open.
    xdotool("mousemove", "--window", window, "600", "300", "click", "3")
    shot = os.path.join(art, "context_menu.png")
    wait_for_pixels(shot, "#ffffff", (140, 60, 605, 305), 5000, "no menu at the right click")
    time.sleep(1)
    screenshot(shot)
    check(count_colour(shot, "#ffffff", (140, 60, 605, 305)) >= 5000, "the menu closed by itself")
    xdotool("key", "--window", window, "Escape")

    # Saved places: the sample's "Gate &amp; garden <east>" reads as written.
    xdotool("mousemove", "--window", window, "112", "65", "click", "1")
    shot = os.path.join(art, "place_with_ampersand.png")
    wait_for_pixels(shot, "#2f6fb5", (60, 3, 82, 84), 60, "the saved places' tab did not open")
    time.sleep(0.5)
    screenshot(shot)

    # A download from a server that sends a byte every tenth of a second, paused.
    xdotool("mousemove", "--window", window, "186", "65", "click", "1")
    time.sleep(0.5)
    xdotool("mousemove", "--window", window, "%d" % START_IMPORT[0], "%d" % START_IMPORT[1],
            "click", "1")
    shot = os.path.join(art, "paused_import.png")
    wait_for_pixels(shot, "#2f6fb5", (280, 8, 10, TASK_BAR_Y - 4), 20, "no progress bar for the download")
    xdotool("mousemove", "--window", window, "%d" % PAUSE_BUTTON[0], "%d" % PAUSE_BUTTON[1],
            "click", "1")
    wait_for_pixels(shot, "#b36b00", (280, 40, 10, TASK_BAR_Y - 34), 20, "the task does not show as paused")
    # While paused, the download gets no further: the bar stands still.
    time.sleep(1)
    screenshot(shot)
    still = os.path.join(workdir, "still.png")
    time.sleep(1)
    screenshot(still)
    check(count_colour(shot, "#b36b00", (280, 8, 10, TASK_BAR_Y - 4)) ==
          count_colour(still, "#b36b00", (280, 8, 10, TASK_BAR_Y - 4)), "the paused bar moves")
    # The history tab ends with the about line and its version.
    xdotool("mousemove", "--window", window, "262", "65", "click", "1")
    wait_for_pixels(os.path.join(art, "about_line.png"), "#2f6fb5", (60, 3, 226, 84), 60,
                    "the history tab did not open")
    check(program.stop() == 0, "the program did not end cleanly")


# A walk with names in Chinese, one of them outside GB2312 (喆), the other with a GBK byte that
# is ASCII ("镕" is E9 46).
WALK = ('<gpx version="1.1" creator="e2e" xmlns="http://www.topografix.com/GPX/1/1"><metadata>'
        '<name>长城徒步·喆园</name></metadata><wpt lat="40.43" lon="116.56"><name>慕田峪</name></wpt>'
        '<trk><name>慕田峪—箭扣，镕</name><trkseg>' +
        "".join('<trkpt lat="%.5f" lon="%.5f"/>' % (40.43 + i * 0.004, 116.56 - i * 0.006)
                for i in range(10)) + '</trkseg></trk></gpx>')
# The route's card over the map, in a window of the first start's size.
CARD_BOX = (360, 130, 306, 50)


def crop(shot, box, out):
    run(["convert", shot, "-crop", "%dx%d+%d+%d" % box, "+repage", out], check=True)


def differing_pixels(a, b):
    """How many pixels of two pictures differ by more than a shade (the translucent card lets
    the map's faint redrawing through)."""
    out = run(["compare", "-metric", "AE", "-fuzz", "10%", a, b, "null:"],
                         capture_output=True, text=True)
    return int(float(out.stderr.split()[0]))


def open_gpx(env, workdir):
    """GPX files chosen from the PC show on the bundled page's map, read by the page itself: two
    track segments in the first two track colours, and a walk whose Chinese names read the same
    from a GBK file (declared so) as from a UTF-8 one. The screenshots are kept."""
    gpx = os.path.join(workdir, "drive.gpx")
    with open(gpx, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?><gpx version="1.1" creator="e2e" '
                'xmlns="http://www.topografix.com/GPX/1/1"><trk><name>Drive</name><trkseg>' +
                "".join('<trkpt lat="%.5f" lon="%.5f"/>' % (31.2 + i * 0.01, 121.4 + i * 0.01)
                        for i in range(10)) + '</trkseg><trkseg>' +
                "".join('<trkpt lat="%.5f" lon="%.5f"/>' % (31.29 - i * 0.01, 121.49 + i * 0.002)
                        for i in range(10)) + '</trkseg></trk></gpx>')
    walks = {}
    for encoding in ("UTF-8", "GBK"):
        walks[encoding] = os.path.join(workdir, encoding, "walk.gpx")
        os.makedirs(os.path.dirname(walks[encoding]))
        with open(walks[encoding], "wb") as f:
            f.write(('<?xml version="1.0" encoding="%s"?>' % encoding + WALK).encode(encoding))
    program = Program(workdir, env["VANTU"], "", portal=env["VANTU_PORTAL"],
                      settings=[("portal.tiles", "none")])
    program.start()
    art = env["E2E_ARTIFACTS"]
    # The page is there when its tabs are.
    wait_for_pixels(os.path.join(art, "open_gpx.png"), "#2f6fb5", (60, 3, 10, 84), 60,
                    "the page did not show", timeout=FIRST_PAINT_S)
    window = program.window()

    def open_file(path, name, ready, what):
        """Opens `path` with 打开文件… and waits until `ready(shot, card)`: the screenshot `name`
        and the route's card cut from it. Answers the card."""
        xdotool("mousemove", "--window", window, "%d" % OPEN_FILE[0], "%d" % OPEN_FILE[1], "click", "1")
        answer_file_chooser(program, window, "ctrl+l", path)
        shot, card = os.path.join(art, name), os.path.join(workdir, name)

        def shown():
            screenshot(shot)
            crop(shot, CARD_BOX, card)
            return ready(shot, card)
        wait_until(shown, what, 30)
        return card

    def on_map(shot, colour):
        return count_colour(shot, colour, MAP_BOX) >= 100

    utf8 = open_file(walks["UTF-8"], "open_gpx_utf8.png", lambda shot, card: on_map(shot, "#d9534f"),
                     "the UTF-8 walk is not on the map")
    time.sleep(1)  # the card as it settles
    screenshot(os.path.join(art, "open_gpx_utf8.png"))
    crop(os.path.join(art, "open_gpx_utf8.png"), CARD_BOX, utf8)
    # Between the two walks another file, so that the card cannot simply stay.
    open_file(gpx, "open_gpx.png", lambda shot, card: on_map(shot, "#2f7ed8") and
              on_map(shot, "#d9534f") and differing_pixels(card, utf8) > 1000,
              "the file's two segments and its card are not on the map")
    open_file(walks["GBK"], "open_gpx_gbk.png", lambda shot, card: differing_pixels(card, utf8) == 0,
              "the GBK file's names do not read as the UTF-8 file's (screenshot open_gpx_gbk.png)")
    check(program.stop() == 0, "the program did not end cleanly")


# The map in a window of the first start's size: the pane right of the 300-pixel side bar, below
# the header; the corner where the attribution lies; the legend, which holds the note.
MAP_BOX = (560, 500, 310, 50)
ATTRIBUTION_BOX = (200, 14, 680, 546)
NOTE_BOX = (260, 50, 310, 500)


def route_book_program(env, workdir, settings, book="长城一日游"):
    """The program with its bundled page, a simulated navigator with the sample data and the
    route book `book` shown first."""
    simulator = simulated_navigator(env, workdir)
    listing = run([env["VANTU_CLI"], "call", "connToPDA", "r"], check=True,
                             capture_output=True, text=True,
                             env=dict(os.environ, **simulator)).stdout
    books = dict(re.findall(r"<title>([^<]*)</title><rbid>(\d+)</rbid>", listing))
    check(book in books, "the sample has no route book %s: %s" % (book, listing))
    program = Program(workdir, env["VANTU"], "", portal=env["VANTU_PORTAL"], env=simulator,
                      settings=[("portal.lastBook", books[book])] + settings)
    program.start()
    return program


def program_version(env):
    return run([env["VANTU_CLI"], "--version"], check=True, capture_output=True,
                          text=True).stdout.split()[-1]


def map_tiles(env, workdir):
    """A route book over tiles from a loopback tile server that the tile setting points at, with
    the attribution of the setting; each tile request names the program and its version and
    carries nothing else about the user. The screenshot is kept."""
    tiles = Program.servers.urls["http"] + "/tiles/{z}/{x}/{y}.png"
    program = route_book_program(env, workdir, [("portal.tiles", tiles),
                                                ("portal.tileAttribution", "e2e tiles")])
    shot = os.path.join(env["E2E_ARTIFACTS"], "map_tiles.png")
    wait_for_pixels(shot, TILE_COLOUR, MAP_BOX, 100000, "no tiles on the map", timeout=FIRST_PAINT_S)
    wait_for_pixels(shot, "#d9534f", MAP_BOX, 300, "no route book over the tiles")
    # rgba(255, 255, 255, 0.7) over the tiles.
    wait_for_pixels(shot, "#bcc6cf", ATTRIBUTION_BOX, 300, "no attribution over the tiles")
    window = program.window()

    # The zoom button asks for the tiles of the next level.
    levels = lambda: {int(path.split("/")[2]) for path, _ in QuietHandler.tile_requests}
    deepest = max(levels())
    xdotool("mousemove", "--window", window, "%d" % ZOOM_IN[0], "%d" % ZOOM_IN[1], "click", "1")
    wait_until(lambda: max(levels()) > deepest, "the zoom button asked for no deeper tiles", 20)

    # A right click on the map takes that place's coordinates for a saved place.
    xdotool("mousemove", "--window", window, "600", "300", "click", "3")
    time.sleep(1)
    xdotool("mousemove", "--window", window, "%d" % ADD_PLACE_HERE[0], "%d" % ADD_PLACE_HERE[1],
            "click", "1")
    time.sleep(0.5)
    xdotool("type", "--delay", "20", "TilePoint")
    xdotool("key", "Return")
    time.sleep(2)
    check(program.stop() == 0, "the program did not end cleanly")
    places = run([env["VANTU_CLI"], "call", "GetPdaAddr"], check=True, capture_output=True,
                            text=True, env=dict(os.environ, **program.env)).stdout
    found = re.search(r'lng="(\d+)" lat="(\d+)"[^>]*>TilePoint<', places)
    check(found, "no saved place from the right click: " + places)
    # Where the route book lies: north-west of Beijing.
    lng, lat = int(found.group(1)), int(found.group(2))
    check(11580000 < lng < 11640000 and 4020000 < lat < 4050000,
          "the right click took %d, %d" % (lng, lat))

    requests = QuietHandler.tile_requests
    agent = "KorvelVantu/" + program_version(env)
    for _, headers in requests:
        names = {name.lower() for name in headers}
        check(agent in headers.get("User-Agent", ""), "a tile request without %s: %r" % (agent, headers))
        check(not names & {"referer", "cookie", "origin"}, "a tile request tells more: %r" % headers)


def map_grid(env, workdir):
    """Where no tile comes (the tile setting names an address where nothing listens), the map
    falls back to the grid with a quiet note, and the route book shows on it. The screenshot is
    kept."""
    tiles = Program.servers.urls["refused"] + "/{z}/{x}/{y}.png"
    program = route_book_program(env, workdir, [("portal.tiles", tiles)])
    shot = os.path.join(env["E2E_ARTIFACTS"], "map_grid.png")
    wait_for_pixels(shot, "#e9efe5", MAP_BOX, 100000, "the map did not fall back to the grid",
                    timeout=FIRST_PAINT_S)
    wait_for_pixels(shot, "#d9534f", MAP_BOX, 300, "no route book on the grid")
    # The note's brown text in the legend.
    wait_for_pixels(shot, "#8a6d3b", NOTE_BOX, 30, "no note that the map has no tiles")
    check(program.stop() == 0, "the program did not end cleanly")


def answer_file_chooser(program, window, keys, path):
    """Waits for the program's file chooser, then types `path` into it (after `keys`) and
    accepts."""
    deadline = time.time() + 30
    while True:
        windows = xdotool("search", "--onlyvisible", "--pid", str(program.process.pid)).split()
        chooser = [w for w in windows if w != window]
        if chooser:
            break
        check(time.time() < deadline, "no file chooser")
        time.sleep(0.5)
    xdotool("windowfocus", chooser[0])
    time.sleep(0.5)
    xdotool("key", keys)
    xdotool("type", "--delay", "20", path)
    time.sleep(0.5)
    xdotool("key", "Return")


def answer_replace_question(program, window):
    """Waits for the question whether to replace a file, over the file chooser, and answers
    "替换" (alt+r)."""
    deadline = time.time() + 30
    while True:
        windows = xdotool("search", "--onlyvisible", "--pid", str(program.process.pid)).split()
        others = [w for w in windows if w != window]
        if len(others) >= 2:
            break
        check(time.time() < deadline, "no question whether to replace the file")
        time.sleep(0.5)
    xdotool("windowfocus", others[-1])
    time.sleep(0.5)
    xdotool("key", "alt+r")


def wait_until(condition, what, timeout=60):
    deadline = time.time() + timeout
    while not condition():
        check(time.time() < deadline, what)
        time.sleep(0.3)


def page_on_grid(env, workdir, shot):
    """The bundled page on the grid with the sample's 西湖 shown, and its window."""
    program = route_book_program(env, workdir, [("portal.tiles", "none")], book="西湖")
    wait_for_pixels(os.path.join(env["E2E_ARTIFACTS"], shot), "#d9534f", MAP_BOX, 300,
                    "no route book on the map", timeout=FIRST_PAINT_S)
    return program, program.window()


def navigator_file(root, name):
    """Where the simulated navigator in `root` holds the file `name`."""
    found = [os.path.join(d, name) for d, _, files in os.walk(root) if name in files]
    return found[0] if found else os.path.join(root, "missing", name)


def pc_files(env, workdir):
    """From the bundled page against the simulated navigator: a route book package and a GPX file
    from the PC installed, and the route book shown saved as GPX. The test answers the real GTK
    file chooser by typing the path into it. Screenshots are kept."""
    ride = os.path.join(workdir, "ride.gpx")
    with open(ride, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?><gpx version="1.1" creator="e2e" '
                'xmlns="http://www.topografix.com/GPX/1/1"><trk><name>Ride</name><trkseg>' +
                "".join('<trkpt lat="%.5f" lon="%.5f"/>' % (30.2 + i * 0.01, 120.1 + i * 0.01)
                        for i in range(10)) +
                '<trkpt lat="-1.0" lon="120.2"/></trkseg></trk></gpx>')
    package = os.path.join(workdir, "package.zip")
    run([env["VANTU_CLI"], "import-gpx", ride, "Packaged", package], check=True,
                   capture_output=True)
    saved = os.path.join(workdir, "saved", "west-lake.gpx")
    os.makedirs(os.path.dirname(saved))
    program, window = page_on_grid(env, workdir, "pc_files.png")
    root = program.env["NAVSIM_ROOT"]
    art = env["E2E_ARTIFACTS"]

    def click(button):
        xdotool("mousemove", "--window", window, str(button[0]), str(button[1]), "click", "1")

    click(INSTALL_PACKAGE)
    answer_file_chooser(program, window, "ctrl+l", package)
    wait_until(lambda: os.path.exists(navigator_file(root, "Packaged.trk")),
               "the package was not installed")
    # The task's end and the list read again.
    time.sleep(2)
    screenshot(os.path.join(art, "pc_install_package.png"))

    click(INSTALL_GPX)
    answer_file_chooser(program, window, "ctrl+l", ride)
    wait_until(lambda: os.path.exists(navigator_file(root, "ride.trk")),
               "the GPX file was not installed")
    # The page says that the point south of the equator was left out.
    wait_for_pixels(os.path.join(art, "pc_install_gpx.png"), "#3b3f4a", (400, 60, 420, 440), 2000,
                    "no message about the point left out")
    time.sleep(2)

    click(SAVE_GPX)
    answer_file_chooser(program, window, "ctrl+a", saved)
    wait_until(lambda: os.path.exists(saved), "the route book was not saved as GPX")
    time.sleep(0.5)
    with open(saved, encoding="utf-8") as f:
        text = f.read()
    check(text.startswith('<?xml version="1.0" encoding="UTF-8"?>') and "<name>西湖</name>" in text
          and "<trkpt" in text, "the saved file is not the route book as GPX: %r" % text[:300])
    screenshot(os.path.join(art, "pc_save_gpx.png"))
    check(program.stop() == 0, "the program did not end cleanly")


def pc_backup(env, workdir):
    """A backup of the simulated navigator and its restore from the bundled page, the file
    chooser answered by the test: a deleted file comes back, a changed one is kept until the user
    agrees, in the page's own dialog, to replace it. Screenshots are kept."""
    program, window = page_on_grid(env, workdir, "pc_backup.png")
    root = program.env["NAVSIM_ROOT"]
    art = env["E2E_ARTIFACTS"]
    backup = os.path.join(workdir, "backup", "navigator.zip")
    os.makedirs(os.path.dirname(backup))

    def read(path):
        with open(path, "rb") as f:
            return f.read()

    # An older backup at the name, which the user types without its extension: the chooser
    # asks about the completed name before anything is replaced.
    with open(backup, "wb") as f:
        f.write(b"an older backup")
    xdotool("mousemove", "--window", window, "%d" % BACKUP[0], "%d" % BACKUP[1], "click", "1")
    answer_file_chooser(program, window, "ctrl+a", backup[:-len(".zip")])
    answer_replace_question(program, window)
    wait_until(lambda: read(backup)[:2] == b"PK", "no backup was written")
    time.sleep(2)
    screenshot(os.path.join(art, "pc_backup.png"))

    changed, deleted = navigator_file(root, "Day1.sim"), navigator_file(root, "Day1.tps")
    kept, lost = read(changed), read(deleted)
    with open(changed, "wb") as f:
        f.write(b"changed on the navigator")
    os.remove(deleted)

    xdotool("mousemove", "--window", window, "%d" % RESTORE[0], "%d" % RESTORE[1], "click", "1")
    answer_file_chooser(program, window, "ctrl+l", backup)
    # The page asks about the file that differs, in its own dialog, while the restore waits with
    # nothing written yet.
    wait_for_pixels(os.path.join(art, "pc_restore_question.png"), "#2f6fb5", (300, 170, 291, 198),
                    800, "the page does not ask about the file that differs")
    check(read(changed) == b"changed on the navigator" and not os.path.exists(deleted),
          "the restore wrote before the page answered")
    xdotool("mousemove", "--window", window, "%d" % QUESTION_OK[0], "%d" % QUESTION_OK[1], "click",
            "1")
    wait_until(lambda: read(changed) == kept, "the file that differs was not replaced")
    wait_until(lambda: os.path.exists(deleted), "the deleted file was not restored")
    check(read(deleted) == lost, "the restored file is not the backup's")
    time.sleep(1)
    screenshot(os.path.join(art, "pc_restore.png"))
    check(program.stop() == 0, "the program did not end cleanly")


def recorded_walk(path, points):
    """A GPX track recorded a point a second going north, with altitudes, standing still for
    20 seconds a third of the way."""
    def north(i):
        return i if i < points // 3 else max(points // 3, i - 20)
    with open(path, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?><gpx version="1.1" creator="e2e" '
                'xmlns="http://www.topografix.com/GPX/1/1"><trk><name>Walk</name><trkseg>' +
                "".join('<trkpt lat="%.5f" lon="116.30000"><ele>%d</ele><time>2024-05-01T08:%02d:%02dZ'
                        '</time></trkpt>' % (40.0 + north(i) * 0.0001, 100 + (i * 7) % 60, i // 60, i % 60)
                        for i in range(points)) + '</trkseg></trk></gpx>')


def edit_profile(env, workdir):
    """A recorded GPX track opened in the bundled page's editor: its figures and the profile of
    altitude against distance under the map; hovering the chart marks that point on the map.
    The screenshot is kept."""
    walk = os.path.join(workdir, "walk.gpx")
    recorded_walk(walk, 240)
    program, window = page_on_grid(env, workdir, "edit_profile.png")
    click(window, EDIT_BOOKS)
    click(window, EDIT_OPEN_GPX)
    answer_file_chooser(program, window, "ctrl+l", walk)
    shot = os.path.join(env["E2E_ARTIFACTS"], "edit_profile.png")
    wait_for_pixels(shot, "#2f7ed8", PROFILE_BOX, 300, "no profile under the editor's map")
    xdotool("mousemove", "--window", window, "%d" % (PROFILE_BOX[2] + PROFILE_BOX[0] // 2),
            "%d" % (PROFILE_BOX[3] + PROFILE_BOX[1] // 2))
    wait_for_pixels(shot, "#c9302c", EDIT_MAP_BOX, 40, "hovering the chart marks no point on the map")
    check(program.stop() == 0, "the program did not end cleanly")


def cli_json(env, program, *args):
    """What vantu-cli edit-export writes of a route book of the program's navigator."""
    out = os.path.join(program.tmpdir, "exported.json")
    run([env["VANTU_CLI"], "edit-export", *args, out], check=True, capture_output=True,
                   env=dict(os.environ, **program.env))
    with open(out, encoding="utf-8") as f:
        return json.load(f)


def saved_in_history(program, name, timeout=60):
    wait_until(lambda: "路书“%s”已存到导航仪" % name in (program.read("portal_history.txt") or ""),
               "the page did not say that %s was saved" % name, timeout)


def type_into(window, field, box, text, shot):
    """Types text into the page's input at field, inside box (w, h, x, y); shot is a scratch
    screenshot. WebKit hands key presses to the page apart from mouse events, so keys typed right
    after the click can reach what had the focus before it: Shift is pressed until the page
    rings the field (its focus ring shows while the keyboard is in use)."""
    click(window, field)
    deadline = time.time() + 20
    while True:
        xdotool("key", "shift")
        time.sleep(0.3)
        screenshot(shot)
        if count_colour(shot, "#2f6fb5", box) >= 100:
            break
        check(time.time() < deadline, "the page did not put the focus in the field")
    xdotool("type", "--delay", "20", text)


def edit_new_book(env, workdir):
    """A route book made in the bundled page's editor, 20 points clicked on the map and 3 POIs,
    saved to the simulated navigator under a new name: the list has it, the viewer draws its
    track (by the Line the page gives it), and vantu-cli reads it back with its points and POIs; written again from that document it is the
    same files byte for byte. The screenshots are kept."""
    program, window = page_on_grid(env, workdir, "edit_new_book.png")
    art, root = env["E2E_ARTIFACTS"], program.env["NAVSIM_ROOT"]
    click(window, EDIT_BOOKS)
    click(window, EDIT_NEW)
    for k in range(20):
        click(window, (420 + k * 20, 180 + (k % 4) * 25))
    click(window, EDIT_ADD_POI)
    for k in range(3):
        click(window, (460 + k * 130, 330))
    type_into(window, EDIT_NAME, EDIT_NAME_BOX, "Made20", os.path.join(workdir, "field.png"))
    wait_for_pixels(os.path.join(art, "edit_new_book.png"), "#2f6fb5", EDIT_MAP_BOX, 100,
                    "no POIs on the editor's map (the one just put is chosen, in orange)")
    click(window, EDIT_SAVE_NAVIGATOR)
    saved_in_history(program, "Made20")
    listing = run([env["VANTU_CLI"], "call", "connToPDA", "r"], check=True, text=True,
                             capture_output=True, env=dict(os.environ, **program.env)).stdout
    check(">Made20<" in listing, "the navigator does not list Made20: " + listing)
    # The viewer draws it, from the page's list in the navigator's order.
    click(window, BOOKS_TAB)
    titles = re.findall(r"<title>([^<]*)</title>", listing)
    row = FIRST_BOOK[1] + BOOK_ROW * titles.index("Made20")
    click(window, (FIRST_BOOK[0], row))
    # The map shows 西湖 until the page has read Made20 and marked its row (the pointer moved
    # off it: a row under the pointer is nearly the chosen one's colour).
    xdotool("mousemove", "--window", window, "600", "500")
    wait_for_pixels(os.path.join(workdir, "row.png"), "#e3edf9", (150, 16, 130, row - 8), 1000,
                    "the page does not show Made20")
    wait_for_pixels(os.path.join(art, "edit_new_book_viewed.png"), "#d9534f", MAP_BOX, 300,
                    "the viewer does not draw Made20")
    document = cli_json(env, program, "Made20")
    points = document["track"]["segments"][0]["points"]
    kinds = [r["kind"] for r in document["route"]["records"]]
    check(len(points) == 20 and kinds == ["book", "poi", "poi", "poi", "line"],
          "Made20 holds %d points and the records %r" % (len(points), kinds))
    check(document["route"]["records"][0]["title"] == "Made20", "Made20's book has no title")
    again = os.path.join(workdir, "again.json")
    with open(again, "w", encoding="utf-8") as f:
        json.dump(document, f, ensure_ascii=False)
    run([env["VANTU_CLI"], "edit-import", again, "Again"], check=True,
                   capture_output=True, env=dict(os.environ, **program.env))
    for first, second in (("Made20.trk", "Again.trk"), ("Made20.rut", "Again.rut")):
        with open(navigator_file(root, first), "rb") as a, open(navigator_file(root, second), "rb") as b:
            check(a.read() == b.read(), "%s and %s differ" % (first, second))
    check(program.stop() == 0, "the program did not end cleanly")


def colour_centre(shot, colour, box):
    """The middle of the pixels of about that colour inside box (w, h, x, y), in the window."""
    out = run(["convert", shot, "-crop", "%dx%d+%d+%d" % box, "+repage", "-fuzz", "6%",
                          "-fill", "black", "+opaque", colour, "-fill", "white", "-opaque", colour,
                          "txt:-"], check=True, capture_output=True, text=True).stdout
    found = [tuple(map(int, m)) for m in re.findall(r"^(\d+),(\d+): \(255,255,255", out, re.M)]
    check(found, "no pixel of %s" % colour)
    return (box[2] + sum(x for x, _ in found) // len(found), box[3] + sum(y for _, y in found) // len(found))


def edit_replace(env, workdir):
    """A route book of the navigator opened in the editor: its POI dragged, the move undone with
    Ctrl+Z and done again with Ctrl+Y, and the route book saved in place of the one opened:
    vantu-cli reads the POI back where it was dragged, and the rest as it was. The screenshot
    is kept."""
    program, window = page_on_grid(env, workdir, "edit_replace.png")
    before = cli_json(env, program, "西湖")
    click(window, EDIT_BOOKS)
    click(window, EDIT_OPEN_BOOK)
    # The viewer's map, with the same POI, shows until the editor, with its save button, has
    # drawn its own.
    shot = os.path.join(env["E2E_ARTIFACTS"], "edit_replace.png")
    wait_for_pixels(shot, "#2f6fb5", EDIT_SAVE_NAVIGATOR_BOX, 500, "the page did not open 西湖")
    # The map is made smaller when the profile comes under it, on a turn of its own.
    wait_for_pixels(shot, "#2f7ed8", PROFILE_BOX, 300, "no profile under the editor's map")
    time.sleep(0.5)
    wait_for_pixels(shot, "#2f6fb5", EDIT_MAP_BOX, 60, "the POI is not on the editor's map")
    x, y = colour_centre(shot, "#2f6fb5", EDIT_MAP_BOX)
    xdotool("mousemove", "--window", window, str(x), str(y), "mousedown", "1")
    for step in range(1, 11):
        xdotool("mousemove", "--window", window, str(x + step * 6), str(y + step * 4))
        time.sleep(0.05)
    xdotool("mouseup", "1")
    time.sleep(1)
    xdotool("key", "--window", window, "ctrl+z")
    time.sleep(1)
    xdotool("key", "--window", window, "ctrl+y")
    time.sleep(1)
    click(window, EDIT_SAVE_NAVIGATOR)
    saved_in_history(program, "西湖")
    screenshot(shot)
    after = cli_json(env, program, "西湖")
    moved = [i for i, (a, b) in enumerate(zip(before["route"]["records"], after["route"]["records"]))
             if a != b]
    check(len(moved) == 1 and before["route"]["records"][moved[0]]["kind"] == "poi",
          "not just the POI changed: %r" % moved)
    poi = after["route"]["records"][moved[0]]
    poi.update(lng=before["route"]["records"][moved[0]]["lng"], lat=before["route"]["records"][moved[0]]["lat"])
    check(after == before, "more than the POI's place changed")
    check(program.stop() == 0, "the program did not end cleanly")


def click(window, button):
    xdotool("mousemove", "--window", window, str(button[0]), str(button[1]), "click", "1")


# Where the bundled page has its import button, its pause button and its task bar, in a window
# of the first start's size.
OPEN_FILE = (56, 144)
START_IMPORT = (62, 460)
PAUSE_BUTTON = (35, 539)
TASK_BAR_Y = 517
ZOOM_IN = (854, 76)
ADD_PLACE_HERE = (640, 381)
INSTALL_PACKAGE = (50, 181)
INSTALL_GPX = (140, 181)
SAVE_GPX = (225, 181)
BACKUP = (58, 214)
RESTORE = (156, 214)
QUESTION_OK = (553, 337)
# The editor: its button in the route books' tab, its own buttons, its map and the profile.
EDIT_BOOKS = (242, 216)
BOOKS_TAB = (37, 65)
FIRST_BOOK = (120, 243)
BOOK_ROW = 31
EDIT_NEW = (48, 109)
EDIT_OPEN_BOOK = (146, 109)
EDIT_OPEN_GPX = (70, 143)
EDIT_ADD_POI = (117, 281)
EDIT_NAME = (198, 329)
EDIT_NAME_BOX = (180, 30, 108, 313)
EDIT_SAVE_NAVIGATOR = (55, 375)
EDIT_SAVE_NAVIGATOR_BOX = (70, 20, 20, 365)
EDIT_MAP_BOX = (580, 350, 300, 50)
PROFILE_BOX = (560, 140, 310, 410)


SCENARIOS = {f.__name__: f for f in (methods, https_alt_page, local_page, offline_refused,
                                     offline_404, text_page, foreign_main, single_instance,
                                     notifications, bundled_page, bundled_page_use, script_dialogs,
                                     open_gpx, map_tiles, map_grid, pc_files, pc_backup, edit_profile,
                                     edit_new_book, edit_replace)}


def main():
    scenario = SCENARIOS[sys.argv[1]]
    env = dict(os.environ)
    os.makedirs(env["E2E_ARTIFACTS"], exist_ok=True)
    workdir = tempfile.mkdtemp(prefix="vantu-e2e-")
    program_log = os.path.join(workdir, "program.log")
    cleanup = []
    try:
        cleanup.append(Display())
        Program.servers = Servers(workdir)
        cleanup.append(Program.servers)
        scenario(env, workdir)
        print("%s: passed" % sys.argv[1])
        return 0
    except Failure as failure:
        print("%s: FAILED\n%s" % (sys.argv[1], failure))
        if os.path.exists(program_log):
            with open(program_log, "rb") as f:
                sys.stdout.write(f.read().decode("utf-8", "replace")[-4000:])
        return 1
    finally:
        for program in Program.started:
            program.kill()
        for thing in reversed(cleanup):
            thing.close()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
