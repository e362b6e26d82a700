#!/usr/bin/env bash
# vantu-cli.exe under wine (code page 936): its sample card is byte for byte the Linux build's,
# GBK names included; settings round-trip; the page's device methods work against the simulator
# installed as the system's remote API library (scripts/test-windows.sh sets up the prefix);
# paths reach the program as given; route books come back from their editing documents.
set -euo pipefail
: "${VANTU_WIN_CLI:?}" "${VANTU_WINE:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# A copy in a folder of its own: the settings file goes beside the program.
mkdir "$work/bin"
cp "$VANTU_WIN_CLI" "$work/bin/vantu-cli.exe"
cli() { "$VANTU_WINE" "$work/bin/vantu-cli.exe" "$@" | tr -d '\r'; }
windows_path() { echo "Z:${1//\//\\}"; }

[ "$(cli --version)" == "vantu-cli 1.0.0" ] || fail "--version: got [$(cli --version)]"

# The same sample from both builds.
cli make-sample "$(windows_path "$work/win")" >/dev/null || fail "make-sample"
[ -f "$work/win/Storage Card/userdata/track/长城一日游.trk" ] ||
    fail "make-sample did not write the Chinese name as the Linux side reads it"
if [ -n "${VANTU_LINUX_CLI:-}" ]; then
    "$VANTU_LINUX_CLI" make-sample "$work/linux" >/dev/null || fail "Linux make-sample"
    diff -r "$work/linux" "$work/win" || fail "the samples differ"
    [ "$(cd "$work/linux" && find . | sort)" == "$(cd "$work/win" && find . | sort)" ] ||
        fail "the samples hold different names"
elif [ -n "${CI:-}" ]; then
    fail "no Linux build to compare the sample with (VANTU_LINUX_CLI)"
fi

# Settings beside the program.
cli call writeValue k int:-5 >/dev/null || fail "writeValue"
[ "$(cli call getValue k)" == "-5" ] || fail "getValue k: got [$(cli call getValue k)]"
[ -f "$work/bin/vantu.ini" ] || fail "the settings file is not beside the program"

# The simulator as the remote API.
export NAVSIM_ROOT
NAVSIM_ROOT=$(windows_path "$work/win")
list=$(cli call connToPDA r)
want='<?xml version="1.0" encoding="UTF-8" ?><rblist count="5" page="1"><rb><title>Track0505</title><rbid>4</rbid></rb><rb><title>Track0504</title><rbid>3</rbid></rb><rb><title>西湖</title><rbid>2</rbid></rb><rb><title>长城一日游</title><rbid>1</rbid></rb><rb><title>Day1</title><rbid>0</rbid></rb></rblist>'
[ "$list" == "$want" ] || fail "connToPDA r: got [$list]"
[ -f "$work/win/Storage Card/userdata/track/西湖/西湖.rut" ] ||
    fail "the route book titled 西湖 was not renamed to its title"
places=$(cli call GetPdaAddr)
case "$places" in
    *'count="3"'*'>公司</point>'*) ;;
    *) fail "GetPdaAddr: got [$places]" ;;
esac
# Paths as given: one the code page cannot hold is refused (4) with nothing written, not even
# under the name with '?' in its place; one it holds is written under its own name.
rc=0; cli export 西湖 "$(windows_path "$work/o😀.zip")" >/dev/null 2>"$work/err" || rc=$?
[ $rc -eq 4 ] && grep -q "code page" "$work/err" || fail "a path beyond the code page: status $rc"
[ -z "$(find "$work" -maxdepth 1 -name 'o*.zip')" ] || fail "a refused path was written"
cli export 西湖 "$(windows_path "$work/西湖.zip")" >/dev/null || fail "export to a GBK name"
[ -s "$work/西湖.zip" ] || fail "the package is not under its own name"
# The editing document: each route book written as one and back in place of itself is the same
# files.
cp -a "$work/win/Storage Card/userdata/track" "$work/before"
for name in Day1 长城一日游 西湖 Track0504 Track0505; do
    cli edit-export "$name" "$(windows_path "$work/$name.json")" >/dev/null || fail "edit-export $name"
    cli edit-import "$(windows_path "$work/$name.json")" "$name" --replace >/dev/null ||
        fail "edit-import $name"
done
diff -r "$work/before" "$work/win/Storage Card/userdata/track" || fail "edit-import changed files"
rc=0; cli edit-import "$(windows_path "$work/Day1.json")" Day1 >/dev/null 2>&1 || rc=$?
[ $rc -eq 3 ] || fail "edit-import of a name present: status $rc"
# A file that cannot be read or written is named with the system's cause, as FormatMessage
# gives it.
absent=$(windows_path "$work/absent.gpx")
rc=0; cli import-gpx "$absent" A "$(windows_path "$work/a.zip")" >/dev/null 2>"$work/err" || rc=$?
[ $rc -eq 4 ] && grep -qE "^vantu-cli import-gpx: cannot read .*absent\.gpx: [^ ]" "$work/err" ||
    fail "import-gpx of a missing file: status $rc: $(cat "$work/err")"
rc=0; cli export-gpx --track "$(windows_path "$work/win/Storage Card/userdata/track/Day1.trk")" \
    "$(windows_path "$work/no/x.gpx")" >/dev/null 2>"$work/err" || rc=$?
[ $rc -eq 4 ] && grep -qE "^vantu-cli export-gpx: cannot write .*x\.gpx: [^ ]" "$work/err" ||
    fail "export-gpx into a missing folder: status $rc: $(cat "$work/err")"
rc=0; cli backup "$(windows_path "$work/no/b.zip")" >/dev/null 2>"$work/err" || rc=$?
[ $rc -eq 4 ] && grep -qE "^vantu-cli backup: cannot write .*b\.zip: [^;]+; no backup was written" "$work/err" ||
    fail "backup into a missing folder: status $rc: $(cat "$work/err")"
echo "vantu-cli.exe: sample, settings and the simulated navigator all as on Linux"
