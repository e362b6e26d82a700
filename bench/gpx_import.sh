#!/usr/bin/env bash
# import-gpx of generated GPX files: 5 million track points (about 200 MB) and 1.4 million (about
# 55 MB), each point on a line of its own. For every vantu-cli given (by default this tree's
# release build) it prints the wall time and the peak memory (maximum resident set size, from
# /usr/bin/time -v) and the peak as a multiple of the file's size. The files are made here and
# removed afterwards.
# Usage: bench/gpx_import.sh [VANTU_CLI...]
#   e.g. bench/gpx_import.sh /tmp/main/build/release/src/cli/vantu-cli build/release/src/cli/vantu-cli
set -euo pipefail
cd "$(dirname "$0")/.."
clis=("$@")
if [ ${#clis[@]} -eq 0 ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release --target vantu-cli >/dev/null
    clis=(build/release/src/cli/vantu-cli)
fi
[ -x /usr/bin/time ] || { echo "gpx_import: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A track that zig-zags north-east in steps of 0.00001 to 0.00019 degree.
make_gpx() { # POINTS FILE
    python3 - "$1" "$2" <<'PY'
import sys
points, path = int(sys.argv[1]), sys.argv[2]
with open(path, "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<gpx version="1.1" creator="bench">\n'
            '<trk><name>bench</name><trkseg>\n')
    chunk = []
    for i in range(points):
        lng = 11600000 + (i % 20000) * 3
        lat = 3900000 + (i // 20000) * 7 + (i % 7)
        chunk.append('<trkpt lat="%d.%05d" lon="%d.%05d"/>\n' % (lat // 100000, lat % 100000,
                                                                 lng // 100000, lng % 100000))
        if len(chunk) == 100000:
            f.write("".join(chunk))
            chunk = []
    f.write("".join(chunk) + "</trkseg></trk>\n</gpx>\n")
PY
}

printf '%-9s %-8s %-10s %-52s\n' points "file MB" "wall s" "peak MB (x file)"
for points in 5000000 1400000; do
    gpx=$work/track-$points.gpx
    make_gpx "$points" "$gpx"
    bytes=$(stat -c %s "$gpx")
    for cli in "${clis[@]}"; do
        rm -f "$work/out.zip"
        status=0
        /usr/bin/time -v "$cli" import-gpx "$gpx" Bench "$work/out.zip" 2>"$work/time.log" >/dev/null || status=$?
        wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.log" |
            awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.1f", s }')
        peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.log")
        awk -v n="$points" -v b="$bytes" -v w="$wall" -v p="$peak" -v c="$cli" -v s="$status" \
            'BEGIN { printf "%-9s %-8.1f %-10s %d (%.2fx)  %s%s\n", n, b / 1048576, w, p / 1024,
                     p * 1024 / b, c, s == 0 ? "" : " (exit " s ")" }'
    done
done
