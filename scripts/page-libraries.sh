#!/usr/bin/env bash
# The libraries that the bundled page uses besides Leaflet: the map editor (Leaflet.Editable) and
# the profile chart (Chart.js), from npm at the versions of cmake/page_libraries/package-lock.json,
# installed under build/page-libraries (never committed). The build copies them into the page's
# lib/ folder (cmake/bundled_portal.cmake runs this script when they are missing); the page
# checks (scripts/check-page.sh) parse them as ES5. Quick when they are installed already.
set -euo pipefail
cd "$(dirname "$0")/.."
pinned=$(pwd)/cmake/page_libraries
target=$(pwd)/build/page-libraries

command -v npm >/dev/null || { echo "page-libraries: npm is not installed" >&2; exit 1; }
mkdir -p "$target"
stamp=$target/node_modules/.installed-lock
if ! cmp -s "$pinned/package-lock.json" "$stamp"; then
    echo "Installing the page's libraries from npm"
    cp "$pinned"/package.json "$pinned"/package-lock.json "$target"/
    (cd "$target" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$target/package-lock.json" "$stamp"
fi
