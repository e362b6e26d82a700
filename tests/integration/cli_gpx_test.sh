#!/usr/bin/env bash
# GPX both ways: a route book of the simulated navigator written as GPX 1.1 (well-formed, read
# by GPSBabel with every point and time), made into a package again and installed, keeping
# every point; the same through the page's methods for files on the PC; GPSBabel's own GPX
# imported; the summary; and the failures.
set -euo pipefail
: "${VANTU_CLI:?}" "${VANTU_BUILD_DIR:?}" "${VANTU_SOURCE_DIR:?}"
command -v gpsbabel >/dev/null || { echo "gpsbabel is missing (scripts/install-deps.sh)"; exit 1; }
source "${BASH_SOURCE%/*}/common.sh"
# The track points of a GPX file as "lat lon time" lines, in order.
points() { grep -o '<trkpt lat="[^"]*" lon="[^"]*"><time>[^<]*' "$1" | sed 's/<trkpt lat="\([^"]*\)" lon="\([^"]*\)"><time>/\1 \2 /'; }

"$cli" make-sample "$work/nav" >/dev/null || fail "make-sample"
tracks="$work/nav/Storage Card/userdata/track"
nav "$work/nav" "$cli" export-gpx 长城一日游 "$work/wall.gpx" || fail "export-gpx"
xmllint --noout "$work/wall.gpx" || fail "the GPX file is not well-formed"
head -2 "$work/wall.gpx" | grep -q '<gpx version="1.1" creator="vantu [0-9.]*"' || fail "not GPX 1.1"
count=$(points "$work/wall.gpx" | wc -l)
summary=$("$cli" view --summary "$tracks/长城一日游.trk" "$tracks/长城一日游/长城一日游.rut")
grep -qx "points: $count in 1 segment" <<<"$summary" || fail "the GPX holds $count points: $summary"
grep -qx 'name: 长城一日游' <<<"$summary" || fail "summary name: $summary"
grep -q '^time: 2009-05-02 08:30:0[01] to 2009-05-02 08:4[0-9]:[0-9][0-9] (1[0-9] min [0-9][0-9] s)$' <<<"$summary" ||
    fail "summary time: $summary"
grep -q '^length: [0-9]*\.[0-9]\{3\} km$' <<<"$summary" || fail "summary length: $summary"

# GPSBabel reads every track point with its time, the place and both legs.
gpsbabel -t -i gpx -f "$work/wall.gpx" -o unicsv -F "$work/track.csv" || fail "gpsbabel tracks"
[ "$(($(wc -l <"$work/track.csv") - 1))" -eq "$count" ] || fail "GPSBabel read $(wc -l <"$work/track.csv") lines for $count points"
head -2 "$work/track.csv" | tail -1 | grep -q '2009/05/02' || fail "GPSBabel sees no time: $(head -2 "$work/track.csv")"
gpsbabel -w -i gpx -f "$work/wall.gpx" -o unicsv -F - | grep -q 'Gate' || fail "GPSBabel misses the place"
[ "$(gpsbabel -r -i gpx -f "$work/wall.gpx" -o unicsv -F - | grep -c 'Leg')" -eq 2 ] || fail "GPSBabel misses the legs"

# Back to a package: installed on the navigator and written out again, every point is there.
"$cli" import-gpx "$work/wall.gpx" 长城回程 "$work/back.zip" || fail "import-gpx"
nav "$work/nav" "$cli" install "$work/back.zip" 2>/dev/null || fail "install of the imported package"
nav "$work/nav" "$cli" export-gpx 长城回程 "$work/again.gpx" || fail "export-gpx of the installed package"
points "$work/wall.gpx" >"$work/wall.points"
points "$work/again.gpx" >"$work/again.points"
cmp -s "$work/wall.points" "$work/again.points" || fail "the round trip changed points: $(diff "$work/wall.points" "$work/again.points" | head -5)"
grep -q '<wpt lat="[0-9.]*" lon="[0-9.]*"><name>Gate</name><desc>The main gate</desc></wpt>' "$work/again.gpx" ||
    fail "the place did not come back"
[ "$(grep -c '<rtept' "$work/again.gpx")" -eq 2 ] || fail "the legs did not come back"

# GPSBabel's GPX (its own writer, GPX 1.0 here) imports with every point.
gpsbabel -i gpx -f "$work/wall.gpx" -o gpx,gpxver=1.0 -F "$work/babel.gpx" || fail "gpsbabel gpx"
"$cli" import-gpx "$work/babel.gpx" Babel "$work/babel.zip" || fail "import-gpx of GPSBabel's GPX"
mkdir "$work/unpacked"
python3 - "$work/babel.zip" "$work/unpacked" <<'PY' || fail "the package made from GPX"
import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert sorted(z.namelist()) == ['Babel.trk', 'Babel\\Babel.rut'], z.namelist()
for n in z.namelist():
    target = os.path.join(sys.argv[2], *n.split('\\'))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    open(target, 'wb').write(z.read(n))
PY
"$cli" export-gpx --track "$work/unpacked/Babel.trk" --route "$work/unpacked/Babel/Babel.rut" "$work/babel-back.gpx" ||
    fail "export-gpx of local files"
points "$work/babel-back.gpx" | cmp -s - "$work/wall.points" || fail "GPSBabel's GPX lost points"

# The page's methods for files on the PC, their dialog answered by --file or a line of input: a
# GPX file installed and saved again keeps every point; a cancel does nothing; a refusal exits 3.
nav "$work/nav" "$cli" call --file "$work/wall.gpx" installGpxFromPC 城墙 >"$work/out" 2>/dev/null ||
    fail "installGpxFromPC: $(cat "$work/out")"
grep -q '^<pcfile status="started" file="wall.gpx" name="城墙" dropped="0">' "$work/out" ||
    fail "installGpxFromPC: $(cat "$work/out")"
rbid=$(nav "$work/nav" "$cli" call connToPDA r | grep -o '<title>城墙</title><rbid>[0-9]*' | grep -o '[0-9]*$')
echo "$work/page" | nav "$work/nav" "$cli" call connToPDA r -- saveGpxToPC "$rbid" >"$work/out" 2>/dev/null ||
    fail "saveGpxToPC: $(cat "$work/out")"
points "$work/page.gpx" | cmp -s - "$work/wall.points" || fail "the page's GPX round trip changed points"
echo | nav "$work/nav" "$cli" call installPackageFromPC "" 2>/dev/null | grep -q 'status="cancelled"' ||
    fail "a cancelled dialog"
rc=0
nav "$work/nav" "$cli" call --file "$work/wall.gpx" installGpxFromPC 城墙 >"$work/out" 2>/dev/null || rc=$?
[ "$rc" -eq 3 ] && grep -q 'status="refused"' "$work/out" || fail "a taken name: $rc $(cat "$work/out")"
# A path that GBK cannot hold (Thai) would name another file: refused.
cp "$work/wall.gpx" "$work/ก.gpx"
rc=0
nav "$work/nav" "$cli" call --file "$work/ก.gpx" installGpxFromPC Thai >"$work/out" 2>/dev/null || rc=$?
[ "$rc" -eq 3 ] && grep -q '代码页' "$work/out" || fail "a path GBK cannot hold: $rc $(cat "$work/out")"

# Failures: not GPX, nothing the navigator can show, a name it cannot hold, a bad route file.
run() { # run EXPECTED-STATUS ARGS...
    local want=$1 rc=0; shift
    "$cli" "$@" >/dev/null 2>"$work/err" || rc=$?
    [ "$rc" -eq "$want" ] || fail "vantu-cli $*: exit status $rc, expected $want: $(cat "$work/err")"
}
printf '<kml/>' >"$work/kml.gpx"
run 4 import-gpx "$work/kml.gpx" K "$work/k.zip"
grep -q 'not a GPX document' "$work/err" || fail "not GPX: $(cat "$work/err")"
printf '<gpx><trk><trkseg><trkpt lat="40.7" lon="-74.0"/></trkseg></trk></gpx>' >"$work/west.gpx"
run 4 import-gpx "$work/west.gpx" W "$work/w.zip"
python3 -c "print('<gpx>' + '<a>' * 40000)" >"$work/deep.gpx"
run 4 import-gpx "$work/deep.gpx" D "$work/d.zip"
grep -q 'deep.gpx: elements nested deeper than 256 levels (at line 1)' "$work/err" || fail "deep: $(cat "$work/err")"
# What is left out or read as '?' is named: the lines of dropped points and of bad bytes.
printf '<gpx>\n<wpt lat="39" lon="116"><name>\377</name></wpt>\n<trk><trkseg>\n<trkpt lat="40.7" lon="-74.0"/>\n<trkpt lat="40" lon="116"/></trkseg></trk></gpx>' >"$work/mixed.gpx"
run 0 import-gpx "$work/mixed.gpx" M "$work/m.zip"
grep -q '1 track points west of .* cannot show them (line 4)$' "$work/err" || fail "dropped: $(cat "$work/err")"
grep -q "mixed.gpx: 1 characters not valid in its encoding (UTF-8) were read as '?' (line 2)$" "$work/err" ||
    fail "bad bytes: $(cat "$work/err")"
run 2 import-gpx "$work/wall.gpx" 'a/b' "$work/ab.zip"
run 4 import-gpx "$work/none.gpx" N "$work/n.zip"
run 4 export-gpx --track "$tracks/Day1.trk" --route "$tracks/Day1.trk" "$work/x.gpx"
# A file that cannot be read or written is named with the system's cause.
for case in "import-gpx|$work/absent.gpx|cannot read $work/absent.gpx: No such file or directory" \
    "install|$work/absent.zip|cannot read $work/absent.zip: No such file or directory" \
    "edit-import|$work/absent.json|cannot read $work/absent.json: No such file or directory" \
    "export-gpx|$work/no/x.gpx|cannot write $work/no/x.gpx: No such file or directory"; do
    IFS='|' read -r command path want <<<"$case"
    case $command in
        import-gpx) run 4 import-gpx "$path" A "$work/a.zip" ;;
        install) run 4 install "$path" ;;
        edit-import) run 4 edit-import "$path" A ;;
        export-gpx) run 0 export-gpx --track "$tracks/Day1.trk" "$work/ok.gpx"
            run 4 export-gpx --track "$tracks/Day1.trk" "$path" ;;
    esac
    grep -qF "vantu-cli $command: $want" "$work/err" || fail "$command $path: $(cat "$work/err")"
done
[ ! -e "$work/k.zip" ] && [ ! -e "$work/w.zip" ] && [ ! -e "$work/d.zip" ] || fail "a package was written for bad input"
[ -z "$(ls -A "$work/tmp")" ] || fail "temporary files left: $(ls -A "$work/tmp")"
echo "cli gpx: ok"
