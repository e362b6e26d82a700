#!/usr/bin/env bash
# The editing document through the simulated navigator: every sample route book written as a
# document and back, onto an empty navigator and in place of itself, comes back as the same
# files; a name taken, a bad document and a bad name are refused with their exit statuses and
# leave the navigator as it was.
set -euo pipefail
: "${VANTU_CLI:?}" "${VANTU_BUILD_DIR:?}" "${VANTU_SOURCE_DIR:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$VANTU_CLI" "$work/vantu-cli"
cli="$work/vantu-cli"
mkdir "$work/tmp"
export TMPDIR="$work/tmp"
fail() { echo "FAIL: $*"; exit 1; }
nav() { VANTU_BUILD_DIR="$VANTU_BUILD_DIR" "$VANTU_SOURCE_DIR/scripts/navsim-run" "$@"; }
# The exit status of a command run with the simulator, its standard error in $work/err.
navstatus() { local rc=0; nav "$@" >/dev/null 2>"$work/err" || rc=$?; echo $rc; }

"$cli" make-sample "$work/a" >/dev/null || fail "make-sample"
"$cli" make-sample "$work/b" >/dev/null || fail "make-sample"
tracks() { echo "$work/$1/Storage Card/userdata/track"; }
rm -rf "$(tracks b)"/*
# The listing gives each route book the file name of its title: the copy below compares with that.
nav "$work/a" "$cli" call connToPDA r >/dev/null
cp -a "$(tracks a)" "$work/before"

names=(Day1 长城一日游 西湖 Track0504 Track0505)
for name in "${names[@]}"; do
    nav "$work/a" "$cli" edit-export "$name" "$work/$name.json" 2>"$work/err" ||
        fail "edit-export $name: $(cat "$work/err")"
    [ ! -s "$work/err" ] || fail "edit-export $name warned: $(cat "$work/err")"
    nav "$work/b" "$cli" edit-import "$work/$name.json" "$name" || fail "edit-import $name"
    nav "$work/a" "$cli" edit-import "$work/$name.json" "$name" --replace ||
        fail "edit-import --replace $name"
done
diff -r "$work/before" "$(tracks b)" || fail "a new navigator's copies differ from the originals"
diff -r "$work/before" "$(tracks a)" || fail "the replacements differ from the originals"
[ "$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(sum(len(s["points"]) for s in d["track"]["segments"]))' "$work/Track0505.json")" -eq 1500 ] ||
    fail "the document does not hold every track point"

# A name the navigator has (letter case aside) needs --replace; nothing changes without it.
[ "$(navstatus "$work/b" "$cli" edit-import "$work/Day1.json" day1)" -eq 3 ] ||
    fail "a name present: status $(cat "$work/err")"
grep -q "already" "$work/err" || fail "a name present: $(cat "$work/err")"
# A document that fails its checks names the field, and a name the navigator cannot hold is a
# usage error.
sed 's/"title":"Gate"/"title":"A title of far more than twenty units"/' "$work/Day1.json" >"$work/bad.json"
[ "$(navstatus "$work/b" "$cli" edit-import "$work/bad.json" Fresh)" -eq 4 ] ||
    fail "a bad document: status $(cat "$work/err")"
grep -q 'route.records\[1\].title: 37 UTF-16 units, at most 20' "$work/err" ||
    fail "a bad document: $(cat "$work/err")"
[ "$(navstatus "$work/b" "$cli" edit-import "$work/Day1.json" 'a:b')" -eq 2 ] || fail "a bad name"
diff -r "$work/before" "$(tracks b)" || fail "a refused import changed the navigator"
echo "edit-export and edit-import: ${#names[@]} route books back byte for byte"
