#!/usr/bin/env bash
# The finished product: vantu answers --help and --version without a window, `cmake --install`
# lays out programs, page, simulator, desktop entry, icon and manual pages, and the Debian package
# carries them with its dependencies and runs from a throw-away root.
set -euo pipefail
: "${VANTU_BUILD_DIR:?}" "${VANTU_SOURCE_DIR:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
version=$(sed -nE 's/^project\(vantu VERSION ([0-9.]+).*/\1/p' "$VANTU_SOURCE_DIR/CMakeLists.txt")
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
vantu=$VANTU_BUILD_DIR/src/app/gtk/vantu

# Without a display: the options must answer before anything opens a window.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$vantu" --version) || fail "vantu --version failed"
[ "$out" == "vantu $version" ] || fail "vantu --version printed [$out]"
env -u DISPLAY "$vantu" --help | grep -q -- "--version" || fail "vantu --help does not explain --version"
set +e
env -u DISPLAY "$vantu" --bogus >/dev/null 2>"$work/err"; rc=$?
set -e
[ $rc -eq 2 ] && grep -q "unknown argument '--bogus'" "$work/err" ||
    fail "an unknown argument must say so and exit 2 (got $rc: $(cat "$work/err"))"

# cmake --install into a staging folder.
cmake --install "$VANTU_BUILD_DIR" --prefix "$work/usr" >/dev/null
for f in bin/vantu bin/vantu-cli lib/vantu/librapi.so share/applications/vantu.desktop \
         share/icons/hicolor/scalable/apps/vantu.svg share/man/man1/vantu.1.gz \
         share/man/man1/vantu-cli.1.gz; do
    [ -e "$work/usr/$f" ] || fail "cmake --install did not install $f"
done
desktop-file-validate "$work/usr/share/applications/vantu.desktop" || fail "the desktop file is not valid"
for page in vantu vantu-cli; do
    zcat "$work/usr/share/man/man1/$page.1.gz" | grep -q "vantu $version" ||
        fail "the $page manual page does not carry version $version"
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$work/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null |
        grep . && fail "man reports problems in $page.1"
done
# The installed program finds its page in ../share/vantu/portal, every file of it, with the
# system's map library.
page_files=$(cd "$VANTU_SOURCE_DIR" && find portal -type f | sort)
for f in $page_files; do
    cmp -s "$VANTU_SOURCE_DIR/$f" "$work/usr/share/vantu/$f" || fail "cmake --install did not install $f"
done
[ -f "$work/usr/share/vantu/portal/leaflet/leaflet.js" ] || fail "the installed page has no map library"
page_libraries="portal/lib/Leaflet.Editable.js portal/lib/Chart.min.js"
for f in $page_libraries; do
    [ -f "$work/usr/share/vantu/$f" ] || fail "the installed page lacks $f"
done

# The Debian package.
(cd "$work" && cpack -G DEB --config "$VANTU_BUILD_DIR/CPackConfig.cmake" -B "$work/pkg" >/dev/null) ||
    fail "cpack could not build the package"
deb=$(ls "$work"/pkg/vantu_"$version"_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no vantu_${version}_*.deb: $(ls "$work/pkg")"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in "fonts-noto-cjk | fonts-wqy-microhei" libjs-leaflet libwebkit2gtk-4.1 libgtk-3 libcurl libminizip libtinyxml; do
    grep -q -- "$needed" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/vantu usr/bin/vantu-cli usr/lib/vantu/librapi.so usr/share/applications/vantu.desktop \
         usr/share/man/man1/vantu-cli.1.gz $(printf 'usr/share/vantu/%s\n' $page_files $page_libraries); do
    [ -e "$root/$f" ] || fail "the package lacks /$f"
done
# The map library is libjs-leaflet's, linked, never a copy of its own.
[ "$(readlink "$root/usr/share/vantu/portal/leaflet")" == /usr/share/javascript/leaflet ] ||
    fail "the package's page does not link to the system's Leaflet"
for f in usr/bin/vantu usr/bin/vantu-cli usr/lib/vantu/librapi.so; do
    ldd "$root/$f" | grep "not found" && fail "/$f needs a library the system lacks"
done
out=$(env -u DISPLAY "$root/usr/bin/vantu" --version) || fail "the packaged vantu does not run"
[ "$out" == "vantu $version" ] || fail "the packaged vantu --version printed [$out]"
# The packaged command line runs; its own --version is checked once it answers one.
cli="$root/usr/bin/vantu-cli"
"$cli" --help >/dev/null || fail "the packaged vantu-cli does not run"
if "$cli" --help | grep -q -- "--version"; then
    "$cli" --version | grep -q "$version" || fail "vantu-cli --version does not say $version"
fi
echo "package: all checks passed"
