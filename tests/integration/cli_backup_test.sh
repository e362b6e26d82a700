#!/usr/bin/env bash
# vantu-cli backup and restore against the simulated navigator: a backup of a sample navigator
# that leaves it untouched, a restore that keeps what differs unless told to replace it, a damaged
# backup refused with nothing changed, and a restore killed (kill -9) at random points in 20
# runs, after which every file of the navigator is whole: the old one or the new one.
set -euo pipefail
: "${VANTU_CLI:?}" "${VANTU_BUILD_DIR:?}"
source "${BASH_SOURCE%/*}/common.sh"
use_navsim "$work/nav"
data="$work/nav/Storage Card/userdata"

run() { # run EXPECTED-STATUS ARGS...: runs vantu-cli, leaves its output in $work/out, $work/err
    local want=$1 rc=0
    shift
    "$cli" "$@" >"$work/out" 2>"$work/err" || rc=$?
    [ "$rc" -eq "$want" ] || fail "vantu-cli $*: exit status $rc, expected $want: $(cat "$work/err")"
}

"$cli" make-sample "$work/nav" >/dev/null || fail "make-sample"
printf '[map]\nzoom=3\n' >"$data/settings.ini"
for i in $(seq 1 30); do head -c $((9000 + i * 100)) /dev/urandom >"$data/track/R$i.trk"; done
cp -a "$work/nav" "$work/new"

# The backup only reads the navigator: not a byte, not a time, not a probe file changes.
before=$(cd "$work/nav" && find . -printf '%p %s %T@\n' | sort)
run 0 backup "$work/b.zip"
[ "$(cd "$work/nav" && find . -printf '%p %s %T@\n' | sort)" == "$before" ] ||
    fail "the backup changed the navigator"
grep -qx 'status 0: finished' "$work/err" && grep -qx 'item 48: backup' "$work/err" ||
    fail "backup progress: $(tail -3 "$work/err")"
grep -qx 'backed up 48 files ([0-9]* bytes) to .*b.zip' "$work/out" || fail "$(cat "$work/out")"
unzip -Z1 "$work/b.zip" | grep -qx 'manifest.txt' || fail "no manifest in the backup"

# A save answered with a name without its extension: a file at the completed name is kept unless
# --replace says otherwise, as there is nobody to ask.
echo older >"$work/navbk.zip"
run 4 call --file "$work/navbk" backupToPC ""
[ "$(cat "$work/navbk.zip")" == older ] || fail "navbk.zip was replaced unasked"
run 0 call --replace --file "$work/navbk" backupToPC ""
unzip -Z1 "$work/navbk.zip" | grep -qx 'manifest.txt' || fail "--replace saved no backup"

# Lost, changed and added files: the changed one is kept and named until --replace.
rm "$data/poi/address.poi" "$data/track/R1.trk"
echo mine >"$data/settings.ini"
run 3 restore "$work/b.zip"
grep -qx 'vantu-cli restore: kept settings.ini, which differs from the backup' "$work/err" ||
    fail "kept file: $(cat "$work/err")"
[ "$(cat "$data/settings.ini")" == mine ] && [ -f "$data/poi/address.poi" ] || fail "restore"
run 0 restore --replace "$work/b.zip"
grep -qx 'vantu-cli restore: replaced settings.ini by the backup'"'"'s' "$work/err" ||
    fail "replaced file: $(cat "$work/err")"
diff -r "$work/nav" "$work/new" >/dev/null || fail "restore --replace did not bring the backup back"

# A damaged backup (one byte of a file) is refused before anything changes; so is no backup.
python3 - "$work/b.zip" "$work/bad.zip" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(b'userdata\\track\\R7.trk') + len('userdata\\track\\R7.trk') + 100
data[at] ^= 0xFF
open(sys.argv[2], 'wb').write(data)
EOF
echo changed >"$data/settings.ini"
rm "$data/track/R2.trk"
cp -a "$work/nav" "$work/before"
run 4 restore --replace "$work/bad.zip"
grep -q 'R7.trk is damaged' "$work/err" && grep -q 'nothing on the navigator was changed' "$work/err" ||
    fail "damaged backup: $(cat "$work/err")"
run 4 restore "$work/nav/Storage Card/userdata/settings.ini"
diff -r "$work/nav" "$work/before" >/dev/null || fail "a refused backup changed the navigator"
run 2 restore
# A zip that cannot be written or read is named with the system's cause; the status is as before.
for case in "backup|$work/no/b.zip|cannot write $work/no/b.zip: No such file or directory; no backup was written" \
    "restore|$work/absent.zip|$work/absent.zip: it is not a zip archive: No such file or directory; nothing"; do
    IFS='|' read -r command path want <<<"$case"
    run 4 "$command" "$path"
    grep -qF "vantu-cli $command: $want" "$work/err" || fail "$command $path: $(cat "$work/err")"
done
NAVSIM_ROOT="$work/none" run 1 backup "$work/x.zip"
[ ! -e "$work/x.zip" ] || fail "a backup without a navigator wrote a zip"

# Killed at random points: every file is the old one or the new one. On the device, which cannot
# rename over a file, the old one may be under its parked name for the instant between two moves;
# the next restore puts it back and clears what the killed one left.
rm -rf "$work/nav" && cp -a "$work/new" "$work/nav"
for f in "$data"/track/R*.trk; do head -c 7000 /dev/urandom >"$f"; done
echo old >"$data/settings.ini"
rm -rf "$work/old" && cp -a "$work/nav" "$work/old"
differing=$({ diff -rq "$work/old" "$work/new" || true; } | wc -l)
export NAVSIM_WRITE_DELAY_US=2000
start=$(date +%s%N)
run 0 restore --replace "$work/b.zip"
span=$((($(date +%s%N) - start) / 1000000))
whole() { # whole RELATIVE: the navigator's file is the old or the new one
    local f="$work/nav/$1"
    if [ -e "$f" ]; then
        cmp -s "$f" "$work/old/$1" 2>/dev/null || cmp -s "$f" "$work/new/$1"
    else
        cmp -s "$f~vo" "$work/old/$1" 2>/dev/null
    fi
}
olds=0 mixed=0 news=0
for round in $(seq 1 20); do
    rm -rf "$work/nav" && cp -a "$work/old" "$work/nav"
    delay=$((RANDOM % span))
    "$cli" restore --replace "$work/b.zip" >/dev/null 2>&1 &
    pid=$!
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    changed=0
    while IFS= read -r rel; do
        whole "$rel" || fail "round $round, killed after ${delay} ms: $rel is neither old nor new"
        cmp -s "$work/nav/$rel" "$work/old/$rel" || changed=$((changed + 1))
    done < <(cd "$work/new" && find . -type f | sed 's|^\./||')
    if [ $changed -eq 0 ]; then
        olds=$((olds + 1))
    elif [ $changed -eq "$differing" ]; then
        news=$((news + 1))
    else
        mixed=$((mixed + 1))
    fi
    run 0 restore --replace "$work/b.zip"
    diff -r "$work/nav" "$work/new" >/dev/null || fail "round $round: the next restore did not finish the job"
done
echo "killed restores: $olds left all old, $mixed mixed, $news all new (of ${span} ms)"
echo "ok"
