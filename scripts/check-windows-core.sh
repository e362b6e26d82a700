#!/usr/bin/env bash
# Compiles every source of the portable core with mingw-w64 (syntax only), so that nothing
# POSIX-only slips into it. Uses the Linux headers of minizip, TinyXML, expat and nlohmann/json.
set -uo pipefail
cd "$(dirname "$0")/.."
cxx=x86_64-w64-mingw32-g++-posix
command -v $cxx >/dev/null || cxx=x86_64-w64-mingw32-g++
gen=$(mktemp -d)
sed -e 's/@[A-Z_]*@//g' src/build_config.h.in > "$gen/build_config.h"
bad=0
# The Linux headers of TinyXML, expat, minizip and nlohmann/json (header-only), reached through a private include folder (the Linux
# /usr/include cannot be put on a mingw include path as a whole).
inc=$(mktemp -d)
cp /usr/include/tinyxml.h /usr/include/expat.h /usr/include/expat_external.h "$inc/"
mkdir -p "$inc/minizip" && cp /usr/include/minizip/*.h "$inc/minizip/"
cp -r /usr/include/nlohmann "$inc/"
for f in src/formats/*.cpp src/device/*.cpp src/ops/*.cpp src/tasks/*.cpp src/update/*.cpp \
         src/bridge/*.cpp src/app/*.cpp src/platform/*.cpp; do
    [ -f "$f" ] || continue
    if ! $cxx -std=c++20 -fsyntax-only -Wall -Wextra -Werror -DXML_STATIC -DXML_DTD -Isrc -I"$gen" \
            -I"$inc" -I"$inc/minizip" "$f"; then
        echo "does not compile for Windows: $f"
        bad=1
    fi
done
rm -rf "$gen" "$inc"
exit $bad
