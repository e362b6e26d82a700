#!/usr/bin/env bash
# The Windows installer under wine, in a prefix of its own: it installs silently, the installed
# window starts (and a second start ends at once, handing over to the first), and the uninstaller
# removes what was installed.
#   VANTU_BUILD_DIR   the windows build folder (with vantu.exe and vantu-cli.exe built)
# Run under a virtual display (xvfb-run): the window needs one.
set -uo pipefail
build=${VANTU_BUILD_DIR:?}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" WINEARCH=win64
cleanup() {
    "$wineserver" -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

cpack --config "$build/CPackConfig.cmake" -G NSIS -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAILED: cpack"; exit 1; }
setup=$(ls "$work"/package/*-setup.exe 2>/dev/null | head -n 1)
[ -n "$setup" ] || { echo "FAILED: no installer made"; exit 1; }

"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w
target=$WINEPREFIX/drive_c/vantu-test
"$wine" "$setup" /S '/D=C:\vantu-test' >/dev/null 2>&1
"$wineserver" -w

for f in vantu.exe vantu-cli.exe portal/index.html README.txt Uninstall.exe; do
    check "installed $f" test -f "$target/$f"
done
check "no simulator in the installer" test ! -e "$target/tools/rapi.dll"
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'KorvelVantu.lnk' | head -n 1)
check "Start-menu entry" test -n "$shortcut"

check "vantu-cli.exe runs" sh -c "'$wine' 'C:\\vantu-test\\vantu-cli.exe' --version 2>/dev/null | grep -q 'vantu-cli'"

"$wine" 'C:\vantu-test\vantu.exe' >/dev/null 2>&1 &
first=$!
sleep 8
check "the installed window keeps running" kill -0 "$first"
timeout 60 "$wine" 'C:\vantu-test\vantu.exe' >/dev/null 2>&1
check "a second start ends at once with status 0" test $? -eq 0
check "the first instance still runs" kill -0 "$first"
"$wineserver" -k 2>/dev/null
wait "$first" 2>/dev/null
"$wineserver" -w 2>/dev/null

"$wine" 'C:\vantu-test\Uninstall.exe' /S >/dev/null 2>&1
"$wineserver" -w
# The uninstaller runs from a copy of itself in the temporary folder; give it time to finish.
for _ in $(seq 1 50); do [ -e "$target/vantu.exe" ] || break; sleep 0.2; done
check "uninstalled vantu.exe" test ! -e "$target/vantu.exe"
check "uninstalled the page" test ! -e "$target/portal"
check "removed the Start-menu entry" test ! -e "$shortcut"

[ "$failures" -eq 0 ] && echo "installer: all checks passed" || echo "installer: $failures checks failed"
exit $((failures > 0))
