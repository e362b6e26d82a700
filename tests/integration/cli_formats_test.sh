#!/usr/bin/env bash
# vantu-cli's view and convert-track commands on navigator files generated here: the whole route
# book document (UTF-8 and GBK), the document without a route file, the converted route file
# byte for byte, and the failures.
set -euo pipefail
: "${VANTU_CLI:?}" "${VANTU_SOURCE_DIR:?}"
source "${BASH_SOURCE%/*}/common.sh"
support="$VANTU_SOURCE_DIR/tests/support"
python3 "$support/route_files.py" "$work"
expect() { # expect "description" "expected" command...
    local what=$1 want=$2; shift 2
    local got
    got=$("$@") || fail "$what: exit status $?"
    [ "$got" == "$want" ] || fail "$what: expected [$want], got [$got]"
}

decl='<?xml version="1.0" encoding="UTF-8" ?>'
p() { printf '<p lng="%s" lat="%s" />' "$1" "$2"; }
segment1="$(p 11639000 3990000)$(p 11639010 3990005)$(p 11639020 3990012)"
segment2="$(p 11640000 3991000)$(p 11640015 3991020)"
trip="$decl"'<RouteBook type="lushu" author="李四" lastUpDate="20090321" startCity="北京" endCity="天津" id="" download="0" preview="0" name="一日游" mileage="230000" img=""><poilist><poi title="Gate &quot;A&quot;" lng="11639000" lat="3990000" img="gate.jpg">open</poi></poilist><linelist><line title="Leg 1" id="2" lng="11640000" lat="3991000" img="">North</line><line title="Leg 2" id="3" lng="11640015" lat="3991020" img=""></line></linelist><printlist><lineId id="1">'"$segment1"'</lineId><lineId id="2">'"$segment2"'</lineId></printlist><Description>Nice &amp; easy</Description></RouteBook>'
expect "track and route file" "$trip" "$cli" view "$work/drive.trk" "$work/trip.rut"

"$cli" view --ansi "$work/drive.trk" "$work/trip.rut" >"$work/ansi.xml"
printf '%s\n' "${trip/encoding=\"UTF-8\"/encoding=\"GBK\"}" | iconv -f UTF-8 -t GBK | cmp -s - "$work/ansi.xml" ||
    fail "--ansi must print the document's GBK bytes"

bare() { # bare NAME POINTS: the document of a track without a route file
    printf '%s<RouteBook type="lushu" author="佚名" lastUpDate="" startCity="" endCity="" id="" name="%s" mileage="" img=""><poilist></poilist><linelist></linelist><printlist><lineId id="">%s</lineId></printlist><Description></Description></RouteBook>' \
        "$decl" "$1" "$2"
}
expect "short-layout track alone, named after its file" "$(bare short "$segment1$segment2")" \
    "$cli" view "$work/short.trk"
expect "--name, escaped" "$(bare 'Day &amp; night' "$segment1$segment2")" \
    "$cli" view --name 'Day & night' "$work/drive.trk" "$work/empty.rut"
expect "no track" "$(bare trip '')" "$cli" view --name trip - "$work/empty.rut"

# convert-track: the exact route file, then what viewing it shows.
"$cli" convert-track "$work/drive.trk" "名字ABCDEFGHIJKLMNOPQRSTU" "$work/converted.rut"
python3 - "$support" "$work/expected.rut" <<'PY'
import struct, sys
sys.path.insert(0, sys.argv[1])
import route_files as r
notice = "尊敬的用户，您好。这条轨迹不是完整的路书，请您选择适当工具编辑成路书。"
title = "名字ABCDEFGHIJKLMNOPQ"  # 19 units
records = [r.record(title, 0, 11639020, 3990012, mileage=1427, content=notice),
           r.record(title, 2, 11639020, 3990012, mileage=1427)]
data = r.route("佚名", "StartPos", "EndPos", "北京Korvel软件技术有限公司", records)
open(sys.argv[2], "wb").write(data)
PY
cmp "$work/expected.rut" "$work/converted.rut" || fail "converted route file differs"
"$cli" view - "$work/converted.rut" | grep -q 'name="名字ABCDEFGHIJKLMNOPQ" mileage="1427"' ||
    fail "the converted route book does not view as expected"
"$cli" convert-track - bare "$work/bare.rut"
"$cli" view - "$work/bare.rut" | grep -q 'mileage="100"' || fail "without a track the mileage is 100"

# Failures: usage errors exit 2; unreadable files are reported (exit 4), and the document still
# printed.
set +e
"$cli" view >/dev/null 2>&1
[ $? -eq 2 ] || fail "view without files must exit 2"
"$cli" convert-track "$work/drive.trk" x >/dev/null 2>&1
[ $? -eq 2 ] || fail "convert-track with two arguments must exit 2"
out=$("$cli" view "$work/trip.rut" "$work/drive.trk" 2>"$work/err")
rc=$?
"$cli" convert-track "$work/drive.trk" x "$work/no/such/folder.rut" 2>/dev/null
rc2=$?
set -e
[ $rc -eq 4 ] || fail "swapped files must exit 4, got $rc"
[ "$out" == "$(bare trip '')" ] || fail "swapped files must still print the empty document"
grep -q 'trip.rut is not a track file' "$work/err" || fail "the bad track file is not reported"
grep -q 'drive.trk is not a route file' "$work/err" || fail "the bad route file is not reported"
[ $rc2 -eq 4 ] || fail "convert-track into a missing folder must exit 4, got $rc2"
echo "cli formats: all passed"
