#!/usr/bin/env bash
# Installs packages of N one-byte entries (a route book's track plus N-1 files in its folder) on
# the navigator and prints the wall time of each install and what it left behind.
# Usage: bench/package_entries.sh [--drive] BUILD_DIR [LIMIT_SECONDS] [N...]
#   BUILD_DIR holds src/cli/vantu-cli and tools/navsim/librapi.so (a release build for figures
#   to keep; any build to compare two versions).
#   --drive: the navigator is a folder presented as a removable drive (bound under /media in a
#   mount namespace of its own, which needs root) instead of the simulator.
set -euo pipefail
drive=0
if [ "${1:-}" = --drive ]; then
    drive=1
    shift
fi
build=$(cd "$1" && pwd)
limit=${2:-120}
shift $(($# > 1 ? 2 : 1))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 2000 4000 50000)
script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

if [ $drive -eq 1 ] && [ -z "${VANTU_BENCH_NAMESPACE:-}" ]; then
    # Only this script's processes see the drive: nothing else looking for drives finds it.
    exec env VANTU_BENCH_NAMESPACE=1 unshare --mount --propagation private \
        bash "$script" --drive "$build" "$limit" "${sizes[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work/tmp" XDG_RUNTIME_DIR=
mkdir -p "$work/tmp"
if [ $drive -eq 1 ]; then
    mount -t tmpfs none /media
    mkdir /media/nav
    track="$work/nav/userdata/track"
else
    export LD_LIBRARY_PATH="$build/tools/navsim" NAVSIM_ROOT="$work/nav"
    track="$work/nav/Storage Card/userdata/track"
fi
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
    [ $drive -eq 0 ] || umount /media/nav 2>/dev/null || true
    rm -rf "$work/nav"
    mkdir -p "$track"
    [ $drive -eq 0 ] || mount --bind "$work/nav" /media/nav
    start=$(date +%s.%N)
    rc=0
    timeout "$limit" "$build/src/cli/vantu-cli" install "$work/p$n.zip" >/dev/null \
        2>"$work/err" || rc=$?
    end=$(date +%s.%N)
    left=$(find "$track" -mindepth 1 | wc -l)
    seconds=$(awk "BEGIN { printf \"%.2f\", $end - $start }")
    printf '%-8s %-10s %-6s %s\n' "$n" "$seconds" "$rc" "$left entries"
done
[ $drive -eq 0 ] || umount /media/nav
