#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format (the repo's .clang-format) makes.
set -uo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests tools bench -name '*.cpp' -o -name '*.h')
bad=0
for f in $files; do
    if ! clang-format --style=file "$f" | cmp -s - "$f"; then
        echo "not formatted: $f (run: clang-format -i $f)"
        bad=1
    fi
done
exit $bad
