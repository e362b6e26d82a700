#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher layer, or when a lower layer keeps a
handler that a higher one installs.

The program's folders form layers that include only downwards, so that each layer can be read,
tested and ported with only the layers below it. Folders of one rank do not include each other.
platform/ (the seam) and common/ (what every layer shares) sit below them all; the generated
build_config.h and its template in src/ itself may be included anywhere.

The seam says no failure itself: a file or folder call hands the system's cause to its caller
(an OsError), and the layer that ends the work logs it once, with its context. So no file of
platform/ calls logOsError, nor logLine where it handles an OS error (errno, GetLastError(),
strerror, an OsError); only the log and the error value themselves define them.

Nor may a layer reach up at run time: a function of a lower layer named set... that takes a
std::function, a function pointer or a pointer to an object, called from a higher layer, is a
handler the higher layer installs for the lower one to call. What the core needs of its front
end it asks through the Seat it is given (common/seat.h). Tests may still install such hooks.

--self-test runs the rules over planted trees.
"""
import pathlib
import re
import sys
import tempfile

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


# The layers that must not keep a higher layer's handler (ranks below bridge/).
HANDLER_FREE_BELOW = 7
ALIAS = re.compile(r"using\s+(\w+)\s*=\s*(std::function\s*<|[\w:<>\s]+\(\s*\*\s*\)\s*\()")
SETTER = re.compile(r"\b(set\w*)\s*\(\s*(?:const\s+)?([\w:]+(?:\s*<[^()]*>)?)\s*([*&]?)")


def setters(text):
    """The set... functions a header declares whose parameter is a handler or an object pointer."""
    aliases = {m.group(1) for m in ALIAS.finditer(text)}
    found = set()
    for name, kind, ref in SETTER.findall(text):
        if kind.startswith("std::function") or kind in aliases or ref == "*":
            found.add(name)
    return found


def source_files(src):
    for file in sorted(src.rglob("*")):
        if file.suffix in (".h", ".cpp") and "/" in file.relative_to(src).as_posix():
            yield file.relative_to(src).as_posix(), file.read_text(encoding="utf-8", errors="replace")


def check_handlers(src):
    files = list(source_files(src))
    installers = {}  # setter name -> the layer that declares it
    for rel, text in files:
        own = layer_of(rel)
        if own and own[1] < HANDLER_FREE_BELOW and rel.endswith(".h"):
            for name in setters(text):
                installers[name] = own
    problems = []
    for rel, text in files:
        own = layer_of(rel)
        for name, theirs in installers.items():
            if own and own[1] > theirs[1] and re.search(r"\b" + name + r"\s*\(", text):
                problems.append(f"{rel} ({own[0]}) installs a handler in {theirs[0]} with {name}()")
    return problems


# The files that define the log and the error value's line.
SEAM_LOG_DEFINITIONS = {"platform/log.cpp", "platform/os_error.h", "platform/os_error.cpp"}
OS_ERROR_WORDS = re.compile(r"\b(errno|GetLastError|strerror\w*|OsError|lastOsError)\b")


def check_seam_logging(src):
    problems = []
    for rel, text in source_files(src):
        if not rel.startswith("platform/") or rel in SEAM_LOG_DEFINITIONS:
            continue
        if re.search(r"\blogOsError\s*\(", text):
            problems.append(f"{rel}: the seam logs an OS error (logOsError); hand it to the caller")
        elif re.search(r"\blogLine\s*\(", text) and OS_ERROR_WORDS.search(text):
            problems.append(f"{rel}: the seam logs an OS error (logLine); hand it to the caller")
    return problems


SELF_TESTS = [
    # (name, files, problems expected)
    ("a handler installed from above",
     {"platform/ask.h": "using Ask = std::function<bool()>;\nvoid setAskHandler(Ask ask);",
      "app/window.cpp": '#include "platform/ask.h"\nvoid f() { platform::setAskHandler({}); }'}, 1),
    ("a function pointer installed from above",
     {"tasks/draw.h": "using Draw = int (*)();\nvoid setDraw(Draw draw);",
      "bridge/b.cpp": "void g() { setDraw(nullptr); }"}, 1),
    ("a sink object installed from above",
     {"common/sink.h": "class Sink;\nvoid setSink(Sink* sink);",
      "cli/main.cpp": "void h(Sink& s) { setSink(&s); }"}, 1),
    ("a std::function parameter installed from above",
     {"device/d.h": "void setWatcher(std::function<void()> watcher);",
      "session/s.cpp": "void k() { setWatcher([] {}); }"}, 1),
    ("a hook only the layer itself and tests use",
     {"platform/clock.h": "class Clock;\nvoid setClock(Clock* clock);",
      "platform/clock.cpp": "void setClock(Clock* clock) {}"}, 0),
    ("a setter of plain values", {"tasks/t.h": "void setTimeouts(int connectMs, int stallMs);",
                                  "app/a.cpp": "void m() { setTimeouts(1, 2); }"}, 0),
    ("a seat passed down", {"common/seat.h": "class Seat {};",
                            "tasks/w.h": "void work(Seat& seat);",
                            "app/a.cpp": "void n(Seat& s) { work(s); }"}, 0),
    ("an include upwards", {"formats/x.cpp": '#include "app/window.h"', "app/window.h": ""}, 1),
    ("the seam logging an OS error",
     {"platform/posix/files_posix.cpp": "bool f() { logOsError(lastOsError()); return false; }",
      "platform/win32/files_win32.cpp": 'void g() { logLine("open: " + std::to_string(GetLastError())); }',
      "platform/transfer_watch.cpp": 'void h() { logLine("HTTP GET failed"); }',
      "platform/os_error.cpp": "void logOsError(const OsError& e) { logLine(describe(e)); }",
      "tasks/backup.cpp": "void k(const OsError& e) { logOsError(e); }"}, 2),
]


def self_test():
    failures = 0
    for name, files, expected in SELF_TESTS:
        with tempfile.TemporaryDirectory() as folder:
            root = pathlib.Path(folder)
            for rel, text in files.items():
                (root / rel).parent.mkdir(parents=True, exist_ok=True)
                (root / rel).write_text(text, encoding="utf-8")
            found = check(root) + check_handlers(root) + check_seam_logging(root)
        if len(found) != expected:
            failures += 1
            print(f"self-test {name!r}: {len(found)} problem(s), expected {expected}: {found}")
    print(f"layer check self-test: {len(SELF_TESTS) - failures} of {len(SELF_TESTS)} passed")
    return 1 if failures else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src")
    problems = check(src) + check_handlers(src) + check_seam_logging(src)
    for p in problems:
        print(p)
    if problems:
        print(f"layer check: {len(problems)} problem(s) against the one-way rule")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
