#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need. Does nothing when they
# are all present already (so repeated runs cost a second).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git python3
    zlib1g-dev libminizip-dev libtinyxml-dev libexpat1-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libcurl4-openssl-dev libssl-dev libcpp-httplib-dev
    libgtk-3-dev libwebkit2gtk-4.1-dev
    # The page's map library, copied into the build and the Windows packages.
    libjs-leaflet
    clang libclang-rt-14-dev clang-format
    g++-mingw-w64-x86-64 libz-mingw-w64-dev
    # The Windows build: its tests run under wine with the Chinese code page (locales), its
    # dependencies come from Debian's source packages (dpkg-dev unpacks them), its installer
    # from NSIS; programs and installer are signed with osslsigncode.
    wine wine64 locales nsis osslsigncode
    xvfb xauth xdotool openssl imagemagick zip unzip nodejs
    # A CJK font, or the page's Chinese shows as boxes; and what packaging and its test use.
    fonts-wqy-microhei desktop-file-utils dpkg-dev file man-db
    gpsbabel libxml2-utils
)

# The page's checks install their tools with npm: Debian's own nodejs comes without it.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
