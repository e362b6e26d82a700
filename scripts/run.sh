#!/usr/bin/env bash
# The program's main job: installs what is missing, builds, and runs it. Until the window host is
# built this demonstrates the page's methods through vantu-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
cli=build/dev/src/cli/vantu-cli
echo "== The page's settings methods, through the same external object as the page:"
set -x
"$cli" call writeValue greeting "你好，导航仪" -- getValue greeting -- writeValue k int:-5 -- getValue k
"$cli" call connToPDA r || echo "(no navigator attached: the device methods answer no value)"
