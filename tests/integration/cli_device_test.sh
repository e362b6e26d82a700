#!/usr/bin/env bash
# The device methods from the terminal against the simulated navigator: a sample storage card
# made by make-sample, listed, shown and its places changed through scripts/navsim-run.
set -euo pipefail
: "${VANTU_CLI:?}" "${VANTU_BUILD_DIR:?}" "${VANTU_SOURCE_DIR:?}"
source "${BASH_SOURCE%/*}/common.sh"
mkdir "$work/empty"

"$cli" make-sample "$work/nav" >/dev/null || fail "make-sample"

list=$(nav "$work/nav" "$cli" call connToPDA r)
want='<?xml version="1.0" encoding="UTF-8" ?><rblist count="5" page="1"><rb><title>Track0505</title><rbid>4</rbid></rb><rb><title>Track0504</title><rbid>3</rbid></rb><rb><title>西湖</title><rbid>2</rbid></rb><rb><title>长城一日游</title><rbid>1</rbid></rb><rb><title>Day1</title><rbid>0</rbid></rb></rblist>'
[ "$list" == "$want" ] || fail "connToPDA r: got [$list]"
[ -f "$work/nav/Storage Card/userdata/track/西湖/西湖.rut" ] ||
    fail "the route book titled 西湖 was not renamed to its title"

doc=$(nav "$work/nav" "$cli" call connToPDA r -- showRoadbook 0 | sed -n 2p)
case "$doc" in
    '<?xml version="1.0" encoding="UTF-8" ?><RouteBook type="lushu" author="Li" lastUpDate="20090321" startCity="Beijing" endCity="Beijing" id="" download="0" preview="0" name="Day1" mileage="23000" img=""><poilist><poi title="Gate"'*'</printlist><Description>A day in the old town</Description></RouteBook>') ;;
    *) fail "showRoadbook 0: got [${doc:0:300}...]" ;;
esac
track=$(nav "$work/nav" "$cli" call connToPDA r -- showRoadbook 4 | sed -n 2p)
case "$track" in
    *'author="佚名"'*'name="Track0505"'*'<lineId id="">'*) ;;
    *) fail "showRoadbook of a recorded track: got [${track:0:300}...]" ;;
esac
rc=0; err=$(nav "$work/nav" "$cli" call showRoadbook 0 2>&1 >/dev/null) || rc=$?
[ $rc -eq 3 ] || fail "a bad rbid must exit 3, got $rc"
[ "$err" == 'status 2: 出现未知错误，建议重启程序！' ] || fail "a bad rbid: got [$err]"

places=$(nav "$work/nav" "$cli" call GetPdaAddr)
want='<?xml version="1.0" encoding="UTF-8" ?><point page="1" count="3"><point id="0" lastUpDate="20090506180409" URL="" hide="false" level="12" lng="11600000" lat="3900000" showName="1" iconIndex="4" nType="3">Home</point><point id="1" lastUpDate="20090507180409" URL="" hide="false" level="12" lng="11645500" lat="3991500" showName="1" iconIndex="8" nType="7">公司</point><point id="2" lastUpDate="20090508180409" URL="" hide="false" level="12" lng="11639200" lat="3990100" showName="1" iconIndex="2" nType="1">Gate &amp; garden &lt;east&gt;</point></point>'
[ "$places" == "$want" ] || fail "GetPdaAddr: got [$places]"

out=$(nav "$work/nav" "$cli" call poiToPDA '<p lng="121000000" lat="31000000">外滩</p>' \
    -- deleteSelectedPoi 1,3 -- GetPdaAddr | sed -n 3p)
case "$out" in
    *'count="2"><point id="0" '*'lng="121000000" lat="31000000" '*'>外滩</point><point id="1" '*'>公司</point></point>') ;;
    *) fail "poiToPDA and deleteSelectedPoi: got [$out]" ;;
esac
[ -z "$(ls -A "$work/tmp")" ] || fail "temporary files left: $(ls -A "$work/tmp")"

# A places text or ids that poiToPDA or deleteSelectedPoi refuse: exit status 3, no change.
rc=0; nav "$work/nav" "$cli" call poiToPDA '<p lng="1" lat="2">unclosed' 2>"$work/err" || rc=$?
[ $rc -eq 3 ] && grep -q 'poiToPDA refused' "$work/err" || fail "a bad place text: status $rc"
rc=0; nav "$work/nav" "$cli" call deleteSelectedPoi 0,7 2>"$work/err" >/dev/null || rc=$?
[ $rc -eq 3 ] && grep -q 'deleteSelectedPoi refused' "$work/err" || fail "a bad place id: status $rc"
[ "$(nav "$work/nav" "$cli" call GetPdaAddr)" == "$(nav "$work/nav" "$cli" call GetPdaAddr)" ] &&
    nav "$work/nav" "$cli" call GetPdaAddr | grep -q 'count="2"' || fail "refused edits changed the places"

# UTF-8 output declares UTF-8, so that XML tools read the names right; --ansi keeps GBK.
nav "$work/nav" "$cli" call connToPDA r >"$work/list.xml"
head -c 39 "$work/list.xml" | grep -qF '<?xml version="1.0" encoding="UTF-8" ?>' ||
    fail "the UTF-8 list does not declare UTF-8: $(head -c 60 "$work/list.xml")"
[ "$(xmllint --xpath 'string(//rb[rbid=1]/title)' "$work/list.xml")" == "长城一日游" ] ||
    fail "xmllint misreads the list"
nav "$work/nav" "$cli" call --ansi connToPDA r >"$work/list-gbk.xml"
[ "$(xmllint --xpath 'string(//rb[rbid=1]/title)' "$work/list-gbk.xml")" == "长城一日游" ] ||
    fail "xmllint misreads the GBK list"
nav "$work/nav" "$cli" call connToPDA r -- showRoadbook 1 | sed -n 2p | xmllint --noout - ||
    fail "the route book document is not well-formed"

# --json: the documents as objects that a script can use.
nav "$work/nav" "$cli" call --json connToPDA r -- GetPdaAddr -- showRoadbook 0 -- showRoadbook 4 \
    >"$work/json"
python3 - "$work/json" <<'PY' || fail "--json documents"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding='utf-8')]
books, places, day1, bare = lines
assert books['count'] == 5 and books['routeBooks'][3] == {'rbid': 1, 'title': '长城一日游'}, books
assert places['count'] == 2 and places['places'][0]['name'] == '外滩', places
assert places['places'][1] == {'id': 1, 'name': '公司', 'lng': 11645500, 'lat': 3991500,
                               'lastUpDate': '20090507180409', 'nType': 7, 'iconIndex': 8,
                               'showName': 1}, places['places'][1]
assert day1['name'] == 'Day1' and day1['mileage'] == 23000 and day1['lastUpDate'] == 20090321
assert day1['description'] == 'A day in the old town'
assert day1['pois'] == [dict(day1['pois'][0], title='Gate', text='The main gate', img='')]
assert [l['title'] for l in day1['lines']] == ['Leg 1', 'Leg 2'] and day1['lines'][0]['id'] == 2
assert sum(len(g['points']) for g in day1['printList']) > 1
assert bare['author'] == '佚名' and bare['mileage'] == '' and bare['lines'] == []
PY

# A package saved from the navigator installs on another one, with the import's messages.
nav "$work/nav" "$cli" export 西湖 "$work/lake.zip" || fail "export"
nav "$work/nav" "$cli" export Track0504 "$work/bare.zip" || fail "export of a recorded track"
python3 - "$work/lake.zip" "$work/bare.zip" <<'PY' || fail "the saved packages"
import sys, zipfile
def names(path):
    return sorted(n.encode('cp437').decode('gbk') for n in zipfile.ZipFile(path).namelist())
assert names(sys.argv[1]) == ['西湖.sim', '西湖.trk', '西湖\\西湖.rut', '西湖\\西湖.tps'], names(sys.argv[1])
assert names(sys.argv[2]) == ['Track0504.sim', 'Track0504.trk', 'Track0504\\Track0504.rut']
PY
[ ! -d "$work/nav/Storage Card/userdata/track/Track0504" ] || fail "export changed the navigator"
mkdir -p "$work/nav2/Storage Card/userdata/track"
nav "$work/nav2" "$cli" install --name 湖 "$work/lake.zip" 2>"$work/err" || fail "install: $(cat "$work/err")"
[ "$(cat "$work/err")" == $'item 1: import\nstatus 0: finished' ] || fail "install messages: [$(cat "$work/err")]"
cmp "$work/nav/Storage Card/userdata/track/西湖/西湖.rut" "$work/nav2/Storage Card/userdata/track/湖/湖.rut" ||
    fail "the installed route file differs"
nav "$work/nav2" "$cli" install "$work/bare.zip" 2>/dev/null || fail "install of a saved recorded track"
[ "$(nav "$work/nav2" "$cli" call connToPDA r)" == '<?xml version="1.0" encoding="UTF-8" ?><rblist count="2" page="1"><rb><title>Track0504</title><rbid>1</rbid></rb><rb><title>西湖</title><rbid>0</rbid></rb></rblist>' ] ||
    fail "installed list: $(nav "$work/nav2" "$cli" call connToPDA r)"
rc=0; nav "$work/nav2" "$cli" install "$work/bare.zip" 2>"$work/err" || rc=$?
[ $rc -eq 3 ] && grep -q 'already' "$work/err" || fail "installing over a route book: status $rc"
# Refused with the statuses the help gives: a name the navigator holds in another letter case
# (3), a name install refuses (2, for import-gpx too), a path the code page cannot hold (4;
# nothing is written in its place, not even to the name with '?' for the lost character).
printf 'keep' >"$work/o?.zip"
for row in "3|install --name TRACK0504 $work/bare.zip|already" \
    "2|import-gpx $work/none.gpx a&b $work/ab.zip|cannot name" \
    "4|export 西湖 $work/o😀.zip|code page" "4|install $work/o😀.zip|code page" \
    "4|backup $work/o😀.zip|code page" "4|restore $work/o😀.zip|code page"; do
    IFS='|' read -r want command message <<<"$row"
    cp "$work/lake.zip" "$work/o😀.zip"
    rc=0; nav "$work/nav2" "$cli" $command 2>"$work/err" || rc=$?
    [ $rc -eq "$want" ] && grep -q "$message" "$work/err" || fail "$command: status $rc: $(cat "$work/err")"
done
[ "$(cat "$work/o?.zip")" == keep ] && [ ! -e "$work/ab.zip" ] || fail "a refused command wrote a file"
rc=0; nav "$work/nav2" "$cli" install "$work/none.zip" 2>/dev/null || rc=$?
[ $rc -eq 4 ] || fail "installing a missing package: status $rc"
printf 'not a zip' >"$work/bad.zip"
rc=0; nav "$work/nav2" "$cli" install "$work/bad.zip" 2>"$work/err" || rc=$?
[ $rc -eq 4 ] && grep -q 'is not a zip package' "$work/err" || fail "a bad package: status $rc"
rc=0; nav "$work/nav" "$cli" export Nowhere "$work/x.zip" 2>/dev/null || rc=$?
[ $rc -eq 3 ] || fail "exporting a route book that is not there: status $rc"
[ -z "$(ls -A "$work/tmp")" ] || fail "temporary files left: $(ls -A "$work/tmp")"

# No navigator: the device methods answer no value (exit status 1).
if nav "$work/empty" "$cli" call connToPDA r >"$work/out"; then fail "connToPDA without a navigator"; fi
[ ! -s "$work/out" ] || fail "connToPDA without a navigator printed [$(cat "$work/out")]"
rc=0; nav "$work/empty" "$cli" install "$work/lake.zip" 2>/dev/null || rc=$?
[ $rc -eq 1 ] || fail "install without a navigator: status $rc"
echo "cli device: ok"
