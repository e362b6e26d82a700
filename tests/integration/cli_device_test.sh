#!/usr/bin/env bash
# The device methods from the terminal against the simulated navigator: a sample storage card
# made by make-sample, listed, shown and its places changed through scripts/navsim-run.
set -euo pipefail
: "${VANTU_CLI:?}" "${VANTU_BUILD_DIR:?}" "${VANTU_SOURCE_DIR:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$VANTU_CLI" "$work/vantu-cli"
cli="$work/vantu-cli"
mkdir "$work/tmp" "$work/empty"
export TMPDIR="$work/tmp"
fail() { echo "FAIL: $*"; exit 1; }
nav() { VANTU_BUILD_DIR="$VANTU_BUILD_DIR" "$VANTU_SOURCE_DIR/scripts/navsim-run" "$@"; }

"$cli" make-sample "$work/nav" >/dev/null || fail "make-sample"

list=$(nav "$work/nav" "$cli" call connToPDA r)
want='<?xml version="1.0" encoding="GBK" ?><rblist count="5" page="1"><rb><title>Track0505</title><rbid>4</rbid></rb><rb><title>Track0504</title><rbid>3</rbid></rb><rb><title>西湖</title><rbid>2</rbid></rb><rb><title>长城一日游</title><rbid>1</rbid></rb><rb><title>Day1</title><rbid>0</rbid></rb></rblist>'
[ "$list" == "$want" ] || fail "connToPDA r: got [$list]"
[ -f "$work/nav/Storage Card/userdata/track/西湖/西湖.rut" ] ||
    fail "the route book titled 西湖 was not renamed to its title"

doc=$(nav "$work/nav" "$cli" call connToPDA r -- showRoadbook 0 | sed -n 2p)
case "$doc" in
    '<?xml version="1.0" encoding="GBK" ?><RouteBook type="lushu" author="Li" lastUpDate="20090321" startCity="Beijing" endCity="Beijing" id="" download="0" preview="0" name="Day1" mileage="23000" img=""><poilist><poi title="Gate"'*'</printlist><Description>A day in the old town</Description></RouteBook>') ;;
    *) fail "showRoadbook 0: got [${doc:0:300}...]" ;;
esac
track=$(nav "$work/nav" "$cli" call connToPDA r -- showRoadbook 4 | sed -n 2p)
case "$track" in
    *'author="佚名"'*'name="Track0505"'*'<lineId id="">'*) ;;
    *) fail "showRoadbook of a recorded track: got [${track:0:300}...]" ;;
esac
err=$(nav "$work/nav" "$cli" call showRoadbook 0 2>&1 >/dev/null)
[ "$err" == 'kankan("出现未知错误，建议重启程序！")' ] || fail "a bad rbid: got [$err]"

places=$(nav "$work/nav" "$cli" call GetPdaAddr)
want='<?xml version="1.0" encoding="GB2312" ?><point page="1" count="3"><point id="0" lastUpDate="20090506180409" URL="" hide="false" level="12" lng="11600000" lat="3900000" showName="1" iconIndex="4" nType="3">Home</point><point id="1" lastUpDate="20090507180409" URL="" hide="false" level="12" lng="11645500" lat="3991500" showName="1" iconIndex="8" nType="7">公司</point><point id="2" lastUpDate="20090508180409" URL="" hide="false" level="12" lng="11639200" lat="3990100" showName="1" iconIndex="2" nType="1">Gate &amp; garden &lt;east&gt;</point></point>'
[ "$places" == "$want" ] || fail "GetPdaAddr: got [$places]"

out=$(nav "$work/nav" "$cli" call poiToPDA '<p lng="121000000" lat="31000000">外滩</p>' \
    -- deleteSelectedPoi 1,3 -- GetPdaAddr | sed -n 3p)
case "$out" in
    *'count="2"><point id="0" '*'lng="121000000" lat="31000000" '*'>外滩</point><point id="1" '*'>公司</point></point>') ;;
    *) fail "poiToPDA and deleteSelectedPoi: got [$out]" ;;
esac
[ -z "$(ls -A "$work/tmp")" ] || fail "temporary files left: $(ls -A "$work/tmp")"

# No navigator: the device methods answer no value (exit status 1).
if nav "$work/empty" "$cli" call connToPDA r >"$work/out"; then fail "connToPDA without a navigator"; fi
[ ! -s "$work/out" ] || fail "connToPDA without a navigator printed [$(cat "$work/out")]"
echo "cli device: ok"
