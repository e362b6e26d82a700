#!/usr/bin/env bash
# The program's main job: installs what is missing, builds, and starts the window with the
# bundled start page. When no navigator is attached, a simulated one holding sample route books
# and saved places plays its part. Without a display the window runs under a virtual one for a
# few seconds and a screenshot is saved.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
build=$(pwd)/build/dev
vantu=$build/src/app/gtk/vantu
cli=$build/src/cli/vantu-cli

run=("$vantu")
if "$cli" call connToPDA r >/dev/null 2>&1; then
    echo "== A navigator is attached: the window shows its route books."
elif [ -f "$build/tools/navsim/librapi.so" ] && "$cli" make-sample --help >/dev/null 2>&1; then
    root=$build/navsim-sample
    rm -rf "$root"
    mkdir -p "$root"
    "$cli" make-sample "$root" >/dev/null
    echo "== No navigator attached: a simulated one in $root plays its part."
    run=(bash scripts/navsim-run "$root" "$vantu")
else
    echo "== No navigator attached: the window starts without one."
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "${run[@]}"
fi

shot=$build/artifacts/vantu.png
mkdir -p "$(dirname "$shot")"
echo "== No display: running the window under xvfb-run for a screenshot."
VANTU_SHOT=$shot xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$@" & pid=$!
    sleep 10
    import -window root "$VANTU_SHOT"
    kill -TERM "$pid"
    wait "$pid"' run "${run[@]}"
echo "== Screenshot: $shot"
