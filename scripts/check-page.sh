#!/usr/bin/env bash
# The bundled page (portal/) in the engine that Windows users have, IE11 in the WebBrowser
# control: its scripts parse as ES5 and use no API that IE11 lacks (eslint with
# eslint-plugin-compat), its styles nothing that IE11 lacks (stylelint with a doiuse-based
# plugin), every page opens its head with the IE=edge line, and the map library that the build
# bundles (leaflet.js of VANTU_LEAFLET_DIR, /usr/share/javascript/leaflet by default) parses as
# ES5 and is the version the map code was tested with, and so do the map editor and the chart
# (scripts/page-libraries.sh). The tools come from npm at the versions of
# tests/portal_checks/package-lock.json and are installed under build/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
checks=$root/tests/portal_checks
tools=$root/build/portal-checks

for program in node npm; do
    command -v "$program" >/dev/null || { echo "check-page: $program is not installed" >&2; exit 1; }
done
mkdir -p "$tools"
cp "$checks"/package.json "$checks"/package-lock.json "$checks"/*.config.js "$tools"/
stamp=$tools/node_modules/.installed-lock
if ! cmp -s "$tools/package-lock.json" "$stamp"; then
    echo "Installing the page's checking tools from npm"
    (cd "$tools" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$tools/package-lock.json" "$stamp"
fi

bin=$tools/node_modules/.bin
status=0
echo "== scripts: ES5 and IE11's APIs"
"$bin/eslint" --config "$tools/eslint.config.js" --max-warnings 0 portal || status=1
echo "== styles: IE11's CSS"
"$bin/stylelint" --config "$tools/stylelint.config.js" "portal/**/*.css" || status=1
echo "== pages: IE=edge first in the head"
node "$checks/check_pages.js" portal || status=1
echo "== the bundled map library: ES5 and the tested version"
NODE_PATH=$tools/node_modules node "$checks/check_leaflet.js" \
    "${VANTU_LEAFLET_DIR:-/usr/share/javascript/leaflet}/leaflet.js" || status=1
echo "== the bundled editor and chart: ES5 and the pinned versions"
bash scripts/page-libraries.sh
NODE_PATH=$tools/node_modules node "$checks/check_page_libraries.js" \
    "${VANTU_PAGE_LIBRARIES_DIR:-$root/build/page-libraries/node_modules}" || status=1
exit $status
