#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan + UBSan) and runs every target for a short
# fixed time on seeds generated here. The time per target is the first argument, else
# FUZZ_SECONDS, else 20: `scripts/run-fuzz.sh 600` is a ten-minute campaign per target. Names
# after it pick targets: `scripts/run-fuzz.sh 300 fuzz_unpack`.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-20}}
shift || true
only=" $* "
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
bin=build/fuzz/tests/fuzz
# Undefined behaviour fails a run like a crash does.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds="$work/seeds"
mkdir -p "$seeds"
# Seed generators: each writes valid files into $seeds.
python3 tests/support/route_files.py "$seeds"
python3 - "$seeds" <<'PY'
import struct, sys
# Thinning inputs: a start position, a step scale and length, then steps (zig-zag, spiral-like).
with open(sys.argv[1] + "/zigzag.thin", "wb") as f:
    f.write(struct.pack("<iiBB", 11600000, 3900000, 3, 40) + struct.pack("<hhhh", 10, 300, 10, -300))
with open(sys.argv[1] + "/edge.thin", "wb") as f:
    f.write(struct.pack("<iiBB", 2**31 - 5000, -2**31, 63, 0) + struct.pack("<hhhhhh", 32767, -32768, -7, 9, 1, 1))
PY
python3 - "$seeds" <<'PY'
import io, struct, sys, zipfile
out = sys.argv[1] + "/"

def store(version, count, records, size):
    head = struct.pack("<5i", count, 7, 8, version, 16)
    body = b""
    for i in range(records):
        r = bytearray(size)
        r[0:16] = struct.pack("<4i", 3, 5, 11600000 + i, 3900000)
        name = ("Place %d" % i).encode("utf-16-le")
        r[16:16 + len(name)] = name
        r[208:212] = struct.pack("<i", 1)
        if size == 556:
            r[216:240] = struct.pack("<6i", 2009, 3, 21, 8, 5, 9)
        body += bytes(r)
    return head + body

# Place stores: an edit byte (bit 0-1 places to add, bit 2 delete), the ids line, the store.
seeds = {
    "v1.poistore": b"\x05" + b"0\n" + store(1, 2, 2, 216),
    "v4.poistore": b"\x07" + b"2,0\n" + store(4, 3, 3, 556) + b"old bytes after the records",
    "short.poistore": b"\x04" + b"1,1\n" + store(2, 3, 2, 308) + b"part",
    "v0.poistore": b"\x07" + b"0\n" + store(0, 4, 0, 0),
}
for name, data in seeds.items():
    open(out + name, "wb").write(data)

# Packages: entries described for the target to pack (flags, name, 0, length, content), and a
# zip archive as it is.
def entry(flags, name, content=b""):
    return bytes([flags]) + name.encode() + b"\0" + bytes([len(content)]) + content
open(out + "set.unpack", "wb").write(
    entry(0, "X.trk", b"SMG_TRACK" + bytes(40)) + entry(0, "X.sim", b"sim") +
    entry(1, "X/") + entry(0, "X/X.rut", b"SMG_RUT") + entry(4, "X\\X.tps", b"tps"))
open(out + "climb.unpack", "wb").write(
    entry(1, "../victim.trk") + entry(0, "sub/Y.trk", b"t") + entry(2, "../up.sim", b"s"))
buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w") as z:
    z.writestr("A.trk", b"SMG_TRACK")
    z.writestr("A/A.rut", b"SMG_RUT")
open(out + "python.unpack", "wb").write(buffer.getvalue())

# Page arguments: an import item list, places to add, ids to delete.
open(out + "items.arg", "wb").write(
    b"<rb><url>http://h/a.zip?x=1&y=%41</url><name>A</name></rb><rb><url>u</url></rb><x/>")
open(out + "places.arg", "wb").write(
    b'<p lng="11600000" lat="3900000">Home</p><p lat="-5">\xb1\xb1\xbe\xa9</p><q/>')
open(out + "ids.arg", "wb").write(b"2,0,,1")
PY

# target, then the seed files it starts from.
targets=(
    "fuzz_route_file trip.rut empty.rut"
    "fuzz_track_file drive.trk short.trk"
    "fuzz_route_title trip.rut empty.rut"
    "fuzz_thinning zigzag.thin edge.thin"
    "fuzz_poi_store v1.poistore v4.poistore short.poistore v0.poistore"
    "fuzz_unpack set.unpack climb.unpack python.unpack"
    "fuzz_page_arguments items.arg places.arg ids.arg"
)

status=0
for entry in "${targets[@]}"; do
    read -r name files <<<"$entry"
    [ "$only" = "  " ] || [[ "$only" == *" $name "* ]] || continue
    corpus="$work/corpus-$name"
    mkdir -p "$corpus"
    for f in $files; do cp "$seeds/$f" "$corpus/"; done
    echo "== $name (${seconds}s)"
    if ! "$bin/$name" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$work/$name-" "$corpus" 2>"$work/$name.log"; then
        tail -n 40 "$work/$name.log"
        mkdir -p build/fuzz/crashes
        cp "$work/$name"-* build/fuzz/crashes/ 2>/dev/null || true
        echo "== $name FAILED (inputs kept in build/fuzz/crashes)"
        status=1
    else
        grep -E 'stat::number_of_executed_units|cov:' "$work/$name.log" | tail -n 2
    fi
done
exit $status
