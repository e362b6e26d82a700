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
open(out + "deep.arg", "wb").write(b"<rb>" + b"<a x='1'><!-- </a> -->" * 300)

# GPX files (the first byte picks the size of the pieces they are read in): every element the
# reader takes, in UTF-8, UTF-16 and GBK, with a DOCTYPE, and nested past the limit.
gpx = ('<?xml version="1.0" encoding="%s"?>\n<!DOCTYPE gpx [<!ENTITY e "&#38;">]>\n'
       '<gpx version="1.1"><metadata><name>长城 &e;</name><desc><![CDATA[a<b]]></desc>'
       '<author><name>王</name></author></metadata>'
       '<wpt lat="40.35" lon="116.01"><name> 正门 &#10;</name><cmt>x</cmt></wpt>'
       '<rte><name>r</name><rtept lat="40" lon="116"><desc>d</desc></rtept></rte>'
       '<trk><name>t</name><number>3</number><trkseg><trkpt lat="40.36" lon="116.02">'
       '<time>2009-05-02T00:30:00.250+08:00</time></trkpt><trkpt lat="-1" lon="-180"/>'
       '</trkseg></trk></gpx>')
open(out + "utf8.gpx", "wb").write(b"\x05" + (gpx % "UTF-8").encode())
open(out + "utf16.gpx", "wb").write(b"\x02" + (gpx % "UTF-16").encode("utf-16"))
open(out + "gbk.gpx", "wb").write(b"\x40" + (gpx % "GBK").encode("gbk"))
open(out + "deep.gpx", "wb").write(b"\x00<gpx>" + b"<trk>" * 300)

# Update manifests and the program's documents.
open(out + "update.manifest", "wb").write(
    b"\xef\xbb\xbf<?xml version='1.0'?><do><b><check><path>p</path><md5>0a</md5></check>"
    b"<download><url>http://h/x</url><md5/></download><run/><exit/></b><c/></do>")
open(out + "deep.manifest", "wb").write(b"<do><b>" + b"<a>" * 300)
open(out + "list.doc", "wb").write(
    b'<rblist count="2"><rb><rbid>0</rbid><title>Day1</title></rb><rb><rbid>1</rbid></rb></rblist>')
open(out + "places.doc", "wb").write(
    b'<point page="1" count="1"><point id="0" lastUpDate="" lng="1" lat="2" showName="1" '
    b'iconIndex="5" nType="3">\xb1\xb1</point></point>')
open(out + "book.doc", "wb").write(
    b'<RouteBook name="T" mileage="5"><poilist><poi title="G" lng="1" lat="2" img="">x</poi>'
    b'</poilist><linelist><line title="L" id="2" lng="3" lat="4" img=""/></linelist><printlist>'
    b'<lineId id="1"><p lng="1" lat="2" /></lineId></printlist><Description>d</Description>'
    b'</RouteBook>')
PY
python3 - "$seeds" <<'PY'
import sys
out = sys.argv[1] + "/"
# Editing documents: a route book with every kind of record, texts as strings and as units, a
# short-layout track, and one with every optional field of the files' unused parts.
open(out + "book.edit", "w", encoding="utf-8").write(
    '{"format":"vantu-route-book","formatVersion":1,"name":"长城",'
    '"route":{"version":259,"magic":"SMG_RUT\\u0000Z","author":"王","lastUpDate":20090321,'
    '"startCity":"北京","endCity":"延庆","headerText":"a\\u0000b","recordIndex":"offsets",'
    '"records":[{"kind":"book","title":"Trip","lng":11639000,"lat":3990000,"mileage":5,'
    '"param1":1,"param2":100,"text":"Nice","picture":""},{"kind":"poi","title":[71,55296],'
    '"lng":-1,"lat":-2,"text":"x"},{"kind":7,"lng":0,"lat":0}],"trailing":"dGFpbA=="},'
    '"track":{"version":257,"segments":[{"lineId":3,"start":[2009,5,1,8,30,0],'
    '"origin":[11638990,3990010],"marker":5,"reserved":[1,2,3],'
    '"points":[[11639000,3990000,0,7,-3],[11639100,3990100,1000]]},{"points":[]}],'
    '"trailing":"AA=="},"sim":"AAAA","folderFiles":[{"name":"长城.tps","data":""}]}')
open(out + "short.edit", "w", encoding="utf-8").write(
    '{"format":"vantu-route-book","formatVersion":1,"track":{"version":256,'
    '"segments":[{"points":[[50,3990000,0],[32817,3990000,1]]}]}}')
PY

# target, then the seed files it starts from.
targets=(
    "fuzz_route_file trip.rut empty.rut"
    "fuzz_track_file drive.trk short.trk"
    "fuzz_route_title trip.rut empty.rut"
    "fuzz_thinning zigzag.thin edge.thin"
    "fuzz_poi_store v1.poistore v4.poistore short.poistore v0.poistore"
    "fuzz_unpack set.unpack climb.unpack python.unpack"
    "fuzz_page_arguments items.arg places.arg ids.arg deep.arg"
    "fuzz_gpx utf8.gpx utf16.gpx gbk.gpx deep.gpx"
    "fuzz_update_manifest update.manifest deep.manifest"
    "fuzz_document_json list.doc places.doc book.doc"
    "fuzz_edit_document book.edit short.edit"
)
# The XML readers try long inputs from the start: deep nesting needs kilobytes.
long_inputs=" fuzz_page_arguments fuzz_gpx fuzz_update_manifest fuzz_document_json "

status=0
for entry in "${targets[@]}"; do
    read -r name files <<<"$entry"
    [ "$only" = "  " ] || [[ "$only" == *" $name "* ]] || continue
    corpus="$work/corpus-$name"
    mkdir -p "$corpus"
    for f in $files; do cp "$seeds/$f" "$corpus/"; done
    echo "== $name (${seconds}s)"
    len_control=100
    [[ "$long_inputs" == *" $name "* ]] && len_control=0
    if ! "$bin/$name" -max_total_time="$seconds" -max_len=65536 -len_control=$len_control \
            -timeout=20 -rss_limit_mb=2048 \
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
