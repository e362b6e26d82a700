#!/usr/bin/env bash
# Backup and restore of a navigator of about 200 MB through the navigator simulator, as a ratio to
# plain copies of the same files through it (the program's copyFromDevice and copyToDevice, file
# by file): plain time / backup time, so 1 is as fast as the plain copy; the goal is at least 0.8.
# Medians of five runs of three iterations each, in wall time and in the process's CPU time (the
# machine may be shared: the CPU time shows the work itself).
#
#   bash bench/backup_bench.sh        (builds the release preset's benchmark first)
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f /work/env.sh ] && source /work/env.sh
cmake --preset release >/dev/null
cmake --build --preset release --target backup_bench navsim >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
LD_LIBRARY_PATH="build/release/tools/navsim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    build/release/bench/backup_bench --benchmark_repetitions=5 --benchmark_out="$out" \
    --benchmark_out_format=json >/dev/null
python3 - "$out" <<'PY'
import json, sys
runs = {b['run_name'].split('/')[0]: b for b in json.load(open(sys.argv[1]))['benchmarks']
        if b.get('aggregate_name') == 'median'}
def line(label, plain, ours):
    p, o = runs[plain], runs[ours]
    print(f"{label}: plain copy {p['real_time']:.0f} ms ({p['bytes_per_second'] / 1e6:.0f} MB/s, "
          f"CPU {p['cpu_time']:.0f} ms), {ours[3:].lower()} {o['real_time']:.0f} ms "
          f"({o['bytes_per_second'] / 1e6:.0f} MB/s, CPU {o['cpu_time']:.0f} ms): ratio "
          f"{p['real_time'] / o['real_time']:.2f} (CPU {p['cpu_time'] / o['cpu_time']:.2f})")
line('from the navigator', 'BM_PlainCopyFromNavigator', 'BM_Backup')
line('to the navigator', 'BM_PlainCopyToNavigator', 'BM_Restore')
PY
