#!/usr/bin/env bash
# Builds the third-party libraries of the Windows build as static libraries, from Debian's own
# sources, into a prefix under the build folder:
#   minizip, TinyXML and expat from Debian's source packages (zlib, tinyxml, expat), zlib itself
#   from libz-mingw-w64-dev, the single-header HTTP library (loopback servers of the tests) from the
#   cpp-httplib source package, GoogleTest from the sources Debian's googletest package ships,
#   nlohmann/json (header-only) copied from Debian's nlohmann-json3-dev.
# Usage: build-windows-deps.sh [PREFIX]   (default: build/windows-deps)
# Nothing of it is committed; a second run with the same versions does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
deps=${1:-$root/build/windows-deps}
prefix=$deps/prefix
toolchain=$root/cmake/toolchains/mingw-w64.cmake
cc=x86_64-w64-mingw32-gcc-posix
cxx=x86_64-w64-mingw32-g++-posix
ar=x86_64-w64-mingw32-ar
stamp_text="zlib tinyxml expat cpp-httplib googletest json $(dpkg-query -W -f='${Version} ' zlib1g libtinyxml-dev libexpat1-dev googletest nlohmann-json3-dev 2>/dev/null) v4"
if [ -f "$prefix/.built" ] && [ "$(cat "$prefix/.built")" = "$stamp_text" ]; then
    echo "Windows dependencies are up to date in $prefix"
    exit 0
fi

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

# Source packages need a deb-src entry; Debian's images ship without one.
src=$deps/src
mkdir -p "$src"
if ! ls "$src"/zlib-*/contrib/minizip/unzip.c "$src"/tinyxml-*/tinyxml.cpp \
        "$src"/expat-*/expat/lib/xmlparse.c "$src"/cpp-httplib-*/httplib.h >/dev/null 2>&1; then
    if ! apt-get source --print-uris zlib >/dev/null 2>&1; then
        echo "Adding a deb-src entry for Debian's source packages"
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$codename" | $sudo_cmd tee /etc/apt/sources.list.d/vantu-src.sources >/dev/null
        $sudo_cmd apt-get update >/dev/null
    fi
    (cd "$src" && apt-get source zlib tinyxml expat cpp-httplib)
fi
zlib_src=$(ls -d "$src"/zlib-*/ | head -1)
tinyxml_src=$(ls -d "$src"/tinyxml-*/ | head -1)
expat_src=$(ls -d "$src"/expat-*/expat/ | head -1)
httplib_src=$(ls -d "$src"/cpp-httplib-*/ | head -1)

rm -rf "$prefix"
mkdir -p "$prefix/include/minizip" "$prefix/lib"
obj=$deps/obj
rm -rf "$obj"
mkdir -p "$obj/minizip" "$obj/tinyxml"

echo "Building minizip"
mz=$zlib_src/contrib/minizip
for f in ioapi zip unzip mztools iowin32; do
    $cc -O2 -c "$mz/$f.c" -o "$obj/minizip/$f.o" -w
done
$ar rcs "$prefix/lib/libminizip.a" "$obj"/minizip/*.o
cp "$mz"/{ioapi,zip,unzip,mztools,iowin32,crypt}.h "$prefix/include/minizip/"

echo "Building TinyXML"
for f in tinyxml tinystr tinyxmlerror tinyxmlparser; do
    $cxx -O2 -DTIXML_USE_STL -c "$tinyxml_src/$f.cpp" -o "$obj/tinyxml/$f.o" -w
done
$ar rcs "$prefix/lib/libtinyxml.a" "$obj"/tinyxml/*.o
cp "$tinyxml_src"/{tinyxml,tinystr}.h "$prefix/include/"

echo "Building expat"
# Static, without its tools, tests and examples; consumers define XML_STATIC.
cmake -S "$expat_src" -B "$obj/expat" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
    -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
# Debian's security patches test the values of XML_DTD and XML_NS, which CMake defines empty.
sed -i 's/^#define XML_DTD$/#define XML_DTD 1/; s/^#define XML_NS$/#define XML_NS 1/' \
    "$obj/expat/expat_config.h"
cmake --build "$obj/expat" >/dev/null
cmake --install "$obj/expat" >/dev/null

cp "$httplib_src/httplib.h" "$prefix/include/"

# Header-only: the package's headers as they are.
[ -f /usr/include/nlohmann/json.hpp ] || { echo "nlohmann-json3-dev is missing (scripts/install-deps.sh)"; exit 1; }
cp -r /usr/include/nlohmann "$prefix/include/"

echo "Building GoogleTest"
cmake -S /usr/src/googletest -B "$obj/googletest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$obj/googletest" >/dev/null
cmake --install "$obj/googletest" >/dev/null

rm -rf "$obj"
echo "$stamp_text" > "$prefix/.built"
echo "Windows dependencies built in $prefix"
