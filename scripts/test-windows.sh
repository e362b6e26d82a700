#!/usr/bin/env bash
# The Windows build's tests: builds the dependencies (once; kept in build/windows-deps), the
# `windows` preset, then runs its tests under wine with the Chinese ANSI code page (936) in a
# fresh wine prefix that has
#   - the navigator simulator installed as the system's remote API library (system32\rapi.dll),
#   - a removable drive R: (a folder under the build tree, marked as a floppy drive).
# wine can exit 0 when a program did not even start, so the counts are checked here: every test
# program must list its tests, and ctest must have run at least as many tests as they list.
# Ends with ctest's summary line ("N% tests passed, N tests failed out of N").
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# The window's tests need a display, and wine binds a prefix to the display it first met: the
# whole run goes under one virtual display where there is none, large enough for the window's
# minimum size at 200%.
if [ -z "${DISPLAY:-}" ] && [ -z "${VANTU_UNDER_XVFB:-}" ] && command -v xvfb-run >/dev/null; then
    exec env VANTU_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1920x1200x24" bash "$0" "$@"
fi
build=$root/build/windows
jobs=$(nproc)

for p in wine64 /usr/lib/wine/wine64; do command -v "$p" >/dev/null && wine=$(command -v "$p") && break; done
if [ -z "${wine:-}" ]; then echo "test-windows: wine64 is not installed" >&2; exit 1; fi
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

# GetACP() is 936 only under a Chinese locale.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    echo "Generating the zh_CN.UTF-8 locale"
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 || { echo "test-windows: cannot make zh_CN.UTF-8" >&2; exit 1; }
fi

bash scripts/build-windows-deps.sh || exit 1
# A throw-away certificate: the build signs the programs and the installer with it, and the
# installer's test verifies the signatures. Made once: the signed programs must match it.
signing=$build/signing
if [ ! -f "$signing/test.p12" ]; then
    mkdir -p "$signing"
    printf 'throw-away' >"$signing/password"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=KorvelVantu test signing" \
        -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/cert.pem" \
        2>/dev/null &&
        openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/cert.pem" \
            -out "$signing/test.p12" -passout "file:$signing/password" ||
        { echo "test-windows: cannot make the test certificate" >&2; exit 1; }
fi
# A throw-away update key: the build carries its public half, and the installer's test signs the
# new version with it.
if [ ! -f "$signing/update-public.pem" ]; then
    openssl ecparam -name prime256v1 -genkey -noout -out "$signing/update-key.pem" &&
        openssl ec -in "$signing/update-key.pem" -pubout -out "$signing/update-public.pem" \
            2>/dev/null ||
        { echo "test-windows: cannot make the test update key" >&2; exit 1; }
fi
# The installed copy updates itself from a loopback server (tests/win32/window/installer_test.sh)
# at this address; the port is the worktree's own, so that the tests of several checkouts on one
# machine do not meet.
port=$((20000 + $(printf '%s' "$root" | cksum | cut -d' ' -f1) % 20000))
if ! cmake --preset windows -DVANTU_SIGN_PKCS12="$signing/test.p12" \
        -DVANTU_SIGN_PASSWORD_FILE="$signing/password" \
        -DVANTU_UPDATE_MANIFEST_URL="http://127.0.0.1:$port/vantu3/update/update.xml" \
        -DVANTU_UPDATE_PUBLIC_KEY="$signing/update-public.pem" \
        -DVANTU_UPDATE_SIGNING_KEY="$signing/update-key.pem" >/dev/null ||
    ! cmake --build --preset windows -j "$jobs"; then
    echo "test-windows: BUILD FAILED"
    exit 1
fi

export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export WINEARCH=win64

echo "== a fresh wine prefix"
"$wineserver" -k 2>/dev/null
rm -rf "$WINEPREFIX"
"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w
sys32=$WINEPREFIX/drive_c/windows/system32
if [ ! -d "$sys32" ]; then echo "test-windows: wineboot made no prefix" >&2; exit 1; fi
cp "$build/tools/navsim/rapi.dll" "$sys32/rapi.dll"
removable=$build/wine-removable
rm -rf "$removable" && mkdir -p "$removable"
ln -sfn "$removable" "$WINEPREFIX/dosdevices/r:"
"$wine" reg add 'HKLM\Software\Wine\Drives' /v 'r:' /t REG_SZ /d floppy /f >/dev/null 2>&1
"$wineserver" -w
export VANTU_TEST_REMOVABLE_DRIVE='R:'
export VANTU_TEST_REMOVABLE_FOLDER=$removable
# The Linux build's command line, whose sample card the Windows one must write byte for byte.
default_linux_cli=$root/build/dev/src/cli/vantu-cli
if [ -z "${VANTU_LINUX_CLI:-}" ] && [ -x "$default_linux_cli" ]; then
    export VANTU_LINUX_CLI=$default_linux_cli
fi

acp=$("$wine" reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null |
    sed -nE 's/.*ACP +REG_SZ +([0-9]+).*/\1/p')
echo "wine's ANSI code page: ${acp:-unknown}"
if [ "$acp" != "936" ]; then echo "test-windows: the prefix's ANSI code page is not 936" >&2; exit 1; fi

# What each test program says it holds.
listed=0
for exe in "$build"/tests/unit_tests.exe "$build"/tests/integration_tests.exe \
           "$build"/tests/tasks/task_tests.exe "$build"/tests/win32/win32_host_tests.exe \
           "$build"/tests/win32/window/win32_window_tests.exe; do
    n=$("$wine" "$exe" --gtest_list_tests 2>/dev/null | grep -c '^  ')
    echo "$(basename "$exe"): $n tests listed"
    if [ "$n" -eq 0 ]; then echo "test-windows: $(basename "$exe") lists no tests (did it start?)" >&2; exit 1; fi
    listed=$((listed + n))
done

log=$(mktemp)
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 300 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
ran=$(sed -nE 's/.* failed out of ([0-9]+).*/\1/p' "$log" | tail -n 1)
if [ -z "$ran" ] || [ "$ran" -lt "$listed" ]; then
    echo "test-windows: ctest ran ${ran:-no} tests, the programs list $listed" >&2
    rc=1
fi
grep -E '\[  SKIPPED \]' -h "$build"/Testing/Temporary/LastTest.log 2>/dev/null | sort -u | head -50
"$wineserver" -k 2>/dev/null
rm -f "$log"
exit $rc
