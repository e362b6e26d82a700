#!/usr/bin/env python3
"""Checks that the file, folder, disk-space and profile seams reach the system only through the
table of system calls (syscalls_posix / syscalls_win32), which the fault tests replace entries of.

Usage: check-syscall-table.py NM ARCHIVE
  NM       the nm of the toolchain that built ARCHIVE (nm, x86_64-w64-mingw32-nm)
  ARCHIVE  the platform seam's static library

Lists the calls the table's object imports, then every symbol a seam object imports that is
neither the program's own C++ nor on the allow-list below, and fails on any.
"""
import re
import subprocess
import sys

# The seam's objects whose calls must go through the table, by the name of their source.
SEAMS = ("files", "file_ops", "file_info", "file_replace", "disk_space", "profile",
         "drive_folder", "private_folder", "full_path")
TABLE = "syscalls"

# Calls that are not system calls: memory and string helpers, the compiler's runtime, the C++
# exception machinery, and sanitizer instrumentation.
ALLOWED = {
    "memchr", "memcmp", "memcpy", "memmove", "memset", "strchr", "strcmp", "strlen", "strnlen",
    "strncmp", "strrchr", "atoi", "strtol", "strtoul", "strtod",
    "_Unwind_Resume", "_GLOBAL_OFFSET_TABLE_", "__stack_chk_fail", "__dso_handle",
    # errno's and GetLastError's slot: where a failure's code is read, not a call that fails.
    "__errno_location", "_errno", "GetLastError", "SetLastError",
    # glibc's accessor of the descriptor inside a DIR: reads the structure, calls nothing.
    "dirfd",
    # The process's own identity and environment, which never fail and touch no file.
    "getenv", "geteuid", "getpid", "GetCurrentProcess", "GetCurrentProcessId",
    # The private folder's access rule: a security descriptor built in memory for the calls in
    # the table, from the token of the process itself.
    "OpenProcessToken", "GetTokenInformation", "ConvertSidToStringSidA",
    "ConvertStringSecurityDescriptorToSecurityDescriptorA", "LocalFree",
    # The ANSI code page's tables, in memory.
    "IsDBCSLeadByteEx", "MultiByteToWideChar", "WideCharToMultiByte", "GetACP",
    # The wait between two tries of a folder a virus scanner holds for a moment.
    "Sleep",
}
ALLOWED_PREFIXES = ("__cxa_", "__gxx_personality", "_Unwind_", "__asan", "__ubsan", "__tsan",
                    "__sanitizer", "___chkstk", "__chkstk", "__mingw", "__emutls",
                    ".refptr.", "__imp___acrt_iob_func")
# C++ library parts that open or inspect files by themselves, around the table.
FORBIDDEN_CXX = re.compile(r"St10filesystem|basic_[io]?fstream|basic_filebuf|St7__cxx1114basic_fstream")


def imports(nm, archive):
    """{object name: set of imported symbols} for every member of the archive."""
    out = subprocess.run([nm, "-u", archive], check=True, capture_output=True, text=True).stdout
    table, member = {}, None
    for line in out.splitlines():
        line = line.strip()
        if line.endswith(":") and " " not in line:
            member = line[:-1]
            table[member] = set()
        elif line and member is not None:
            symbol = line.split()[-1]
            # MinGW names a DLL's function by its import slot.
            table[member].add(symbol[len("__imp_"):] if symbol.startswith("__imp_") else symbol)
    return table


def source_of(member):
    """'files_posix.cpp.o' -> 'files'"""
    stem = member.split(".")[0]
    return re.sub(r"_(posix|win32)$", "", stem)


def is_allowed(symbol):
    if symbol.startswith("_Z") or symbol.startswith("__Z"):
        return not FORBIDDEN_CXX.search(symbol)
    return symbol in ALLOWED or symbol.startswith(ALLOWED_PREFIXES)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    nm, archive = sys.argv[1], sys.argv[2]
    members = imports(nm, archive)
    table = [m for m in members if source_of(m) == TABLE and ("posix" in m or "win32" in m)]
    if len(table) != 1:
        sys.exit(f"check-syscall-table: no single table object in {archive}")
    through_table = {s for s in members[table[0]] if not is_allowed(s)}
    print(f"the table ({table[0]}): {' '.join(sorted(through_table))}")
    seams = [m for m in members if source_of(m) in SEAMS and ("posix" in m or "win32" in m)]
    if len(seams) < 5:
        sys.exit(f"check-syscall-table: the seam's objects are missing from {archive}")
    faults = []
    for member in sorted(seams):
        for symbol in sorted(members[member]):
            if is_allowed(symbol):
                continue
            where = "bypasses the table" if symbol in through_table else "is not in the table"
            faults.append(f"{member}: {symbol} {where}")
    for fault in faults:
        print(fault)
    print(f"{len(seams)} seam objects checked, {len(faults)} calls around the table")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
