#!/usr/bin/env bash
# vantu-cli's call and shell commands: settings round trips, typed arguments, unknown names,
# S_FALSE exit status, several calls in one process, ANSI output.
set -euo pipefail
: "${VANTU_CLI:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The CLI keeps vantu.ini beside its executable: run a private copy.
cp "$VANTU_CLI" "$work/vantu-cli"
cli="$work/vantu-cli"
fail() { echo "FAIL: $*"; exit 1; }
expect() { # expect "description" "expected" command...
    local what=$1 want=$2; shift 2
    local got
    got=$("$@") || true
    [ "$got" == "$want" ] || fail "$what: expected [$want], got [$got]"
}

expect "writeValue answers true" "true" "$cli" call writeValue k int:-5
expect "getValue reads it back" "-5" "$cli" call getValue k
out=$("$cli" call getvalue k; echo "rc=$?")
[ "$out" == "rc=0" ] || fail "unknown name must print nothing and exit 0, got [$out]"
grep -q $'^k=-5\r$' "$work/vantu.ini" || fail "vantu.ini does not hold k=-5"

expect "typed values" $'true\n1.5\ntrue\n-1\ntrue\nplain' \
    "$cli" call writeValue a num:1.5 -- getValue a -- writeValue b bool:true -- getValue b \
    -- writeValue c str:plain -- getValue c
"$cli" call writeValue city 北京 >/dev/null
expect "Chinese text round trip" "北京" "$cli" call getValue city
ansi=$("$cli" call --ansi getValue city | od -An -tx1 | tr -d ' \n')
[ "$ansi" == "b1b1bea90a" ] || fail "--ansi must print the GBK bytes, got $ansi"

# A device method without a navigator answers no value and exit status 1.
set +e
"$cli" call connToPDA r >"$work/out" 2>/dev/null
rc=$?
set -e
[ $rc -eq 1 ] || fail "connToPDA without a navigator must exit 1, got $rc"
[ ! -s "$work/out" ] || fail "connToPDA without a navigator must print nothing"

# Several calls: one line each, an empty line for no value.
got=$("$cli" call getValue k -- PauseTask p -- getValue k | od -An -c | tr -s ' ')
[ "$got" == " - 5 \n \n - 5 \n" ] || fail "one line per call expected, got [$got]"

# The shell reads one call per line with quoting.
got=$(printf 'writeValue "two words" "a b"\ngetValue "two words"\n# comment\ngetValue nothing\n' | "$cli" shell; echo end)
[ "$got" == $'true\na b\n\nend' ] || fail "shell output [$got]"

"$cli" --help | grep -q "vantu-cli call" || fail "--help lists call"
"$cli" call --help | grep -q "Example" || fail "call --help has an example"
echo "cli foundation: ok"
