#!/usr/bin/env bash
# The whole test suite: installs what is missing, then builds and tests the dev preset (warnings
# as errors), the asan preset (AddressSanitizer + UndefinedBehaviorSanitizer), the task tests
# under ThreadSanitizer, the fuzz targets briefly, the format check, the bundled page's IE11
# checks, the core's Windows compile check, and the Windows build: its tests under wine with
# code page 936 and its packages. Ends with one line: "total: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1

jobs=$(nproc)
passed=0
failed=0
status=0
log=$(mktemp)

count_ctest() {
    # "100% tests passed, 0 tests failed out of 42"
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        grep -q 'No tests were found' "$log" && return 0
        failed=$((failed + 1)); return 0
    fi
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

run_preset() {
    local preset=$1; shift
    echo "== $preset: configure and build"
    if ! cmake --preset "$preset" "$@" >/dev/null || ! cmake --build --preset "$preset" -j "$jobs"; then
        echo "== $preset: BUILD FAILED"
        failed=$((failed + 1)); status=1; return
    fi
    echo "== $preset: tests"
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    count_ctest
}

run_windows() {
    echo "== windows: cross build and tests under wine"
    local before=$failed
    VANTU_LINUX_CLI=$PWD/build/dev/src/cli/vantu-cli bash scripts/test-windows.sh 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    count_ctest
    # The script's own checks (the test counts) can fail where every test that ran passed.
    if [ "$rc" -ne 0 ]; then
        status=1
        [ "$failed" -gt "$before" ] || failed=$((failed + 1))
    fi
}

check() {
    local name=$1; shift
    echo "== $name"
    if "$@"; then passed=$((passed + 1)); else echo "== $name FAILED"; failed=$((failed + 1)); status=1; fi
}

run_preset dev
run_preset asan
run_preset tsan
check "format check" bash scripts/check-format.sh
check "layers include only downwards" python3 scripts/check-layers.py
check "the layer rules catch planted faults" python3 scripts/check-layers.py --self-test
check "the bundled page in IE11: scripts, styles, IE=edge (npm tools)" bash scripts/check-page.sh
check "core compiles for Windows (mingw-w64)" bash scripts/check-windows-core.sh
[ -f scripts/run-fuzz.sh ] && check "fuzz targets" bash scripts/run-fuzz.sh
run_windows
check "Windows packages" bash scripts/package-windows.sh

rm -f "$log"
echo
echo "total: $passed passed, $failed failed"
exit $status
