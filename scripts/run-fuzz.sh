#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan + UBSan) and runs every target for a short
# fixed time on seeds generated here. FUZZ_SECONDS sets the time per target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
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

# target, then the seed files it starts from.
targets=(
    "fuzz_route_file trip.rut empty.rut"
    "fuzz_track_file drive.trk short.trk"
    "fuzz_route_title trip.rut empty.rut"
    "fuzz_thinning zigzag.thin edge.thin"
)

status=0
for entry in "${targets[@]}"; do
    read -r name files <<<"$entry"
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
