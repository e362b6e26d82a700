#!/usr/bin/env bash
# The worst backups of at most 1 MB, restored onto the sample navigator through the simulator:
# each must be refused or accepted in under 2 s and 100 MB. Prints, per backup, its size, the
# outcome, the wall time and the peak memory (maximum resident set size, /usr/bin/time).
#   - 65,535 unique names 110 folders deep, the manifest deflated (about 200 KB);
#   - a stored manifest that fills 1 MB with short unique names and no entries;
#   - 1 MB of manifest with unique names 32 folders deep, as deep as a navigator's;
#   - a whole backup of 1 MB, 7,800 small files under real entries, with one more file where the
#     navigator has its route book folder: every check is made, and the last one refuses it;
#   - 1,000 small files under real entries, which are restored (its time is mostly the writing
#     of 1,000 files through the simulator).
# Usage: bench/hostile_restore.sh [VANTU_CLI] (by default this tree's release build)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-}
if [ -z "$cli" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release --target vantu-cli navsim >/dev/null
    cli=build/release/src/cli/vantu-cli
fi
[ -x /usr/bin/time ] || { echo "hostile_restore: /usr/bin/time is missing" >&2; exit 1; }
navsim=$(dirname "$(dirname "$(dirname "$cli")")")/tools/navsim
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import struct, sys, zlib
work = sys.argv[1]

def zip_of(entries):  # [(name bytes, data, deflate)] -> zip bytes
    out, central = b"", b""
    for name, data, deflate in entries:
        body = zlib.compress(data)[2:-4] if deflate else data
        crc, method = zlib.crc32(data), 8 if deflate else 0
        head = struct.pack("<HHHHHIIIHH", 20, 0x800, method, 0, 0x21, crc, len(body), len(data),
                           len(name), 0)
        central += b"PK\1\2" + struct.pack("<H", 20) + head + struct.pack(
            "<HHHII", 0, 0, 0, 0, len(out)) + name
        out += b"PK\3\4" + head + name + body
    return out + central + b"PK\5\6" + struct.pack("<HHHHIIH", 0, 0, len(entries), len(entries),
                                                   len(central), len(out), 0)

def manifest(lines):
    return ("vantu backup 2\n" + "".join(lines)).encode()

def fill(line_of, limit):
    lines, size, i = [], 15, 0
    while size + len(line_of(i)) < limit:
        lines.append(line_of(i))
        size += len(lines[-1])
        i += 1
    return lines

deep110 = "d\\" * 110
backups = {
    "deep-65535": zip_of([(b"manifest.txt", manifest(
        ["00000000 0 0 %s%d\n" % (deep110, i) for i in range(65535)]), True)]),
    "short-names-1mb": zip_of([(b"manifest.txt", manifest(
        fill(lambda i: "00000000 0 0 %d\n" % i, 1000000)), False)]),
    "deep32-1mb": zip_of([(b"manifest.txt", manifest(
        fill(lambda i: "00000000 0 0 %s%d\n" % ("d\\" * 32, i), 1000000)), False)]),
}
def whole(files):
    entries = [(("userdata\\" + n).encode(), d, False) for n, d in files]
    return zip_of(entries + [(b"manifest.txt", manifest(
        ["%08x %d 0 %s\n" % (zlib.crc32(d), len(d), n) for n, d in sorted(files)]), False)])
backups["7800-files-refused"] = whole([("b\\%d" % i, b"x") for i in range(7800)] +
                                      [("track", b"x")])
backups["1000-files"] = whole([("b\\%d" % i, b"x") for i in range(1000)])
for name, data in backups.items():
    open("%s/%s.zip" % (work, name), "wb").write(data)
PY

for backup in deep-65535 short-names-1mb deep32-1mb 7800-files-refused 1000-files; do
    rm -rf "$work/nav"
    "$cli" make-sample "$work/nav" >/dev/null
    rc=0
    NAVSIM_ROOT="$work/nav" LD_LIBRARY_PATH="$navsim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
        /usr/bin/time -f "%e %M" -o "$work/time" "$cli" restore "$work/$backup.zip" \
        >/dev/null 2>"$work/err" || rc=$?
    # time adds a line before its own when the command exits with a status other than 0.
    read -r seconds kb < <(tail -1 "$work/time")
    size=$(stat -c %s "$work/$backup.zip")
    printf '%-18s %8d bytes  exit %d  %5.2f s  %6.1f MB peak  %s\n' "$backup" "$size" "$rc" \
        "$seconds" "$(awk "BEGIN { print $kb / 1024 }")" \
        "$(grep -v '^item\|^status' "$work/err" | head -1 | cut -c1-90)"
done
