#!/usr/bin/env bash
# Builds the Windows packages (windows-release preset, cpack) into build/windows-release and
# checks them: the installer is there, the zip holds the programs, the simulator under tools\,
# every file of the page and the README, and the program in it runs under wine.
# With VANTU_SIGN_PKCS12 and VANTU_SIGN_PASSWORD_FILE (a PKCS#12 file and a file holding its
# password) the programs and the installer are signed, and with VANTU_SIGN_TIMESTAMP_URL (an
# RFC 3161 server) timestamped; VANTU_UPDATE_MANIFEST_URL, when set, is the update address built
# in (none by default: no update check), and then VANTU_UPDATE_PUBLIC_KEY (the update key's
# public half) is needed too.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build/windows-release
fail() { echo "package-windows: $*" >&2; exit 1; }

bash scripts/build-windows-deps.sh >/dev/null || fail "the dependencies did not build"
settings=()
for name in VANTU_SIGN_PKCS12 VANTU_SIGN_PASSWORD_FILE VANTU_SIGN_TIMESTAMP_URL \
    VANTU_UPDATE_MANIFEST_URL VANTU_UPDATE_PUBLIC_KEY; do
    [ -n "${!name:-}" ] && settings+=("-D$name=${!name}")
done
cmake --preset windows-release "${settings[@]}" >/dev/null || fail "configure failed"
cmake --build --preset windows-release -j "$(nproc)" || fail "build failed"
(cd "$build" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null) || fail "cpack failed"
zip=$build/vantu-1.0.0-win64.zip
setup=$build/vantu-1.0.0-win64-setup.exe
[ -f "$zip" ] || fail "no $zip"
# The installer's own run is tested with the windows build (tests/win32/window/installer_test.sh);
# here: it is a 64-bit program, which a 64-bit-only system can start.
[ -f "$setup" ] || fail "no $setup"
file -b "$setup" | grep -q 'PE32+' || fail "the installer is not a 64-bit program: $(file -b "$setup")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work" || fail "the zip does not unpack"
top=$work/vantu-1.0.0-win64
# The installer installs what the zip holds (one install tree): every file of the page among it.
for f in vantu.exe vantu-cli.exe tools/rapi.dll portal/leaflet/leaflet.js portal/lib/Leaflet.Editable.js portal/lib/Chart.min.js README.txt $(find portal -type f); do
    [ -f "$top/$f" ] || fail "the zip lacks $f"
done
[ ! -e "$top/rapi.dll" ] || fail "the simulator must not sit beside the programs"
# No MinGW runtime library has to travel with the programs.
for program in vantu.exe vantu-cli.exe tools/rapi.dll; do
    if x86_64-w64-mingw32-objdump -p "$top/$program" | grep -qiE 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
        fail "$program needs a MinGW runtime DLL"
    fi
done

for p in wine64 /usr/lib/wine/wine64; do command -v "$p" >/dev/null && wine=$(command -v "$p") && break; done
[ -n "${wine:-}" ] || fail "wine64 is not installed"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
version=$("$wine" "$top/vantu-cli.exe" --version 2>/dev/null | tr -d '\r')
"$(dirname "$wine")/wineserver" -k 2>/dev/null
[ "$version" == "vantu-cli 1.0.0" ] || fail "the packaged vantu-cli.exe does not run: [$version]"
echo "package-windows: $(basename "$setup") ($(du -k "$setup" | cut -f1) KiB) and $(basename "$zip") ($(du -k "$zip" | cut -f1) KiB)"
