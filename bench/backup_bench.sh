#!/usr/bin/env bash
# Backup and restore of a navigator of about 200 MB through the navigator simulator, as a ratio to
# plain copies of the same files through it (the program's copyFromDevice and copyToDevice, file
# by file): plain time / backup time, so 1 is as fast as the plain copy; the goal is at least 0.8
# in every run. Five runs of five iterations each, each run's ratio and then the medians, in
# wall time and in the process's CPU time (the machine may be shared: the CPU time shows the
# work itself). The benchmarks take turns in each of the five rounds, so that a plain copy and the
# run it is compared with meet the same state of the machine.
#
#   bash bench/backup_bench.sh        (builds the release preset's benchmark first)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target backup_bench navsim >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
LD_LIBRARY_PATH="build/release/tools/navsim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    build/release/bench/backup_bench --benchmark_repetitions=5 \
    --benchmark_enable_random_interleaving=true --benchmark_out="$out" \
    --benchmark_out_format=json >/dev/null
python3 - "$out" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))['benchmarks']
def of(name, kind):
    return [b for b in results if b['run_name'].split('/')[0] == name and
            (b.get('aggregate_name') == 'median' if kind == 'median' else
             b.get('run_type') == 'iteration')]
def line(label, plain, ours):
    runs = list(zip(of(plain, 'run'), of(ours, 'run'))) + [(of(plain, 'median')[0],
                                                             of(ours, 'median')[0])]
    for i, (p, o) in enumerate(runs):
        which = 'median' if i == len(runs) - 1 else 'run %d' % (i + 1)
        print(f"{label}, {which}: plain copy {p['real_time']:.0f} ms "
              f"({p['bytes_per_second'] / 1e6:.0f} MB/s, CPU {p['cpu_time']:.0f} ms), "
              f"{ours[3:].lower()} {o['real_time']:.0f} ms "
              f"({o['bytes_per_second'] / 1e6:.0f} MB/s, CPU {o['cpu_time']:.0f} ms): ratio "
              f"{p['real_time'] / o['real_time']:.2f} (CPU {p['cpu_time'] / o['cpu_time']:.2f})")
line('from the navigator', 'BM_PlainCopyFromNavigator', 'BM_Backup')
line('to the navigator', 'BM_PlainCopyToNavigator', 'BM_Restore')
PY
