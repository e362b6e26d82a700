#!/usr/bin/env bash
# vantu-cli's call and shell commands: settings round trips, typed arguments, unknown names,
# the exit statuses, several calls in one process, ANSI and JSON output, version and methods,
# the signature of an update.
set -euo pipefail
# The CLI keeps vantu.ini beside its executable: common.sh runs a private copy.
source "${BASH_SOURCE%/*}/common.sh"
expect() { # expect "description" "expected" command...
    local what=$1 want=$2; shift 2
    local got
    got=$("$@") || true
    [ "$got" == "$want" ] || fail "$what: expected [$want], got [$got]"
}

expect "writeValue answers true" "true" "$cli" call writeValue k int:-5
expect "getValue reads it back" "-5" "$cli" call getValue k
# An unknown method (names are case-sensitive) is a usage error, and nothing runs.
out=$("$cli" call writeValue u 1 -- getvalue k 2>"$work/err"; echo "rc=$?")
[ "$out" == "rc=2" ] || fail "unknown name must print nothing and exit 2, got [$out]"
grep -q "unknown method 'getvalue'" "$work/err" || fail "unknown method not named: $(cat "$work/err")"
! grep -q '^u=' "$work/vantu.ini" || fail "a call ran although another one was unknown"
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

# The shell reads one call per line with quoting; an unknown method answers an empty line and
# makes the exit status 2.
got=$(printf 'writeValue "two words" "a b"\ngetValue "two words"\n# comment\ngetValue nothing\n' | "$cli" shell; echo end)
[ "$got" == $'true\na b\n\nend' ] || fail "shell output [$got]"
got=$(printf 'Nope\ngetValue k\n' | "$cli" shell 2>/dev/null; echo "rc=$?")
[ "$got" == $'\n-5\nrc=2' ] || fail "shell with an unknown method: [$got]"

# --json: texts as JSON strings, true, null for no value.
expect "--json scalars" $'"-5"\ntrue\nnull\n"a\\"b\\\\c"' \
    "$cli" call --json getValue k -- writeValue q 'a"b\c' -- PauseTask p -- getValue q

# One version, from the build.
version=$("$cli" --version)
[[ "$version" =~ ^vantu-cli\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version printed [$version]"
[ "$("$cli" methods | wc -l)" -eq 23 ] || fail "methods must list the 14 and the program's 9"
"$cli" --help | grep -q '^  3  the program reported a failure' || fail "--help documents the exit statuses"

"$cli" --help | grep -q "vantu-cli call" || fail "--help lists call"
"$cli" call --help | grep -q "Example" || fail "call --help has an example"
# sign-update: openssl accepts the signature (r and s put into DER for it); a public key signs
# nothing.
openssl ecparam -name prime256v1 -genkey -noout -out "$work/key.pem"
openssl ec -in "$work/key.pem" -pubout -out "$work/public.pem" 2>/dev/null
printf 'the next version' >"$work/program"
signature=$("$cli" sign-update "$work/key.pem" "$work/program")
python3 - "$signature" "$work/signature.der" <<'EOF'
import base64, sys
raw = base64.b64decode(sys.argv[1], validate=True)
def integer(b):
    b = b.lstrip(b"\0") or b"\0"
    b = b"\0" + b if b[0] & 0x80 else b
    return b"\x02" + bytes([len(b)]) + b
body = integer(raw[:32]) + integer(raw[32:])
open(sys.argv[2], "wb").write(b"\x30" + bytes([len(body)]) + body)
EOF
openssl dgst -sha256 -verify "$work/public.pem" -signature "$work/signature.der" "$work/program" |
    grep -q 'Verified OK' || fail "openssl does not accept sign-update's signature [$signature]"
out=$("$cli" sign-update "$work/public.pem" "$work/program" 2>/dev/null; echo "rc=$?")
[ "$out" == "rc=4" ] || fail "sign-update with a public key must print nothing and exit 4: [$out]"
echo "cli foundation: ok"
