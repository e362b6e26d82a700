# The opening the command-line scenarios share, sourced by each (*_test.sh) before its own steps:
#   work       a temporary folder, removed when the script ends, after more_cleanup (a script
#              that starts a server redefines it to stop the server)
#   cli        a copy of vantu-cli in it, so that its settings and private folder are the test's
#   TMPDIR     $work/tmp, which a scenario may check for leftovers
#   fail TEXT  ends the script with FAIL: TEXT
#   nav ROOT COMMAND...  runs COMMAND against a simulated navigator in ROOT (scripts/navsim-run)
#   use_navsim ROOT      points this shell's own commands at a simulated navigator in ROOT
set -euo pipefail
: "${VANTU_CLI:?}"
work=$(mktemp -d)
more_cleanup() { :; }
trap 'more_cleanup; rm -rf "$work"' EXIT
cp "$VANTU_CLI" "$work/vantu-cli"
cli="$work/vantu-cli"
mkdir "$work/tmp"
export TMPDIR="$work/tmp"
fail() { echo "FAIL: $*"; exit 1; }
nav() { VANTU_BUILD_DIR="$VANTU_BUILD_DIR" "$VANTU_SOURCE_DIR/scripts/navsim-run" "$@"; }
use_navsim() {
    export LD_LIBRARY_PATH="$VANTU_BUILD_DIR/tools/navsim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
    export NAVSIM_ROOT="$1"
}
