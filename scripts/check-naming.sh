#!/usr/bin/env bash
# The naming convention (.clang-tidy) over every unit of our own code, and the format
# (.clang-format) of every C++ file. Takes the build folder whose compile_commands.json lists the
# units (default: build, as scripts/test.sh leaves it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh clang-tidy clang-format
build="${1:-build}"
[ -f "$build/compile_commands.json" ] || { echo "$build/compile_commands.json fehlt: erst bauen" >&2; exit 2; }

echo "-- format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

echo "-- names"
# Generated code (moc) lies in the build folder and is not ours to name.
out="$(run-clang-tidy -p "$build" -j"$(nproc)" -quiet "^$PWD/(src|tests|bench|fuzz)/" 2>/dev/null |
    sed 's/\x1b\[[0-9;]*m//g' | grep -E '^/.*: (warning|error): ' | sort -u || true)"
if [ -n "$out" ]; then
    echo "$out"
    echo "$(echo "$out" | wc -l) Namen folgen der Konvention nicht (siehe .clang-tidy)" >&2
    exit 1
fi
echo "names ok"
