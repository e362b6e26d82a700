#!/usr/bin/env bash
# Installs packages of N one-byte entries (a route book's track plus N-1 files in its folder) on
# the simulated navigator and prints the wall time of each install and what it left behind.
# Usage: bench/package_entries.sh BUILD_DIR [LIMIT_SECONDS] [N...]
#   BUILD_DIR holds src/cli/vantu-cli and tools/navsim/librapi.so (a release build for figures
#   to keep; any build to compare two versions).
set -euo pipefail
build=$(cd "$1" && pwd)
limit=${2:-120}
shift $(($# > 1 ? 2 : 1))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 2000 4000 50000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LD_LIBRARY_PATH="$build/tools/navsim" TMPDIR="$work/tmp" XDG_RUNTIME_DIR=
mkdir -p "$work/tmp"
printf '%-8s %-10s %-6s %s\n' entries seconds exit "left on the navigator"
for n in "${sizes[@]}"; do
    python3 - "$work/p$n.zip" "$n" <<'PY'
import sys, zipfile
path, n = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, 'w', zipfile.ZIP_STORED) as z:
    z.writestr('B.trk', b'x')
    for i in range(n - 1):
        z.writestr('B/%d.tps' % i, b'x')
PY
    rm -rf "$work/nav"
    mkdir -p "$work/nav/Storage Card/userdata/track"
    start=$(date +%s.%N)
    rc=0
    NAVSIM_ROOT="$work/nav" timeout "$limit" "$build/src/cli/vantu-cli" install "$work/p$n.zip" \
        >/dev/null 2>"$work/err" || rc=$?
    end=$(date +%s.%N)
    left=$(find "$work/nav/Storage Card/userdata/track" -mindepth 1 | wc -l)
    printf '%-8s %-10s %-6s %s\n' "$n" "$(echo "$end - $start" | bc)" "$rc" "$left entries"
done
