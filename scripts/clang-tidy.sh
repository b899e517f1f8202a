#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy) over every src/**/*.cpp of a configured build dir,
# nproc files at a time; prints the findings of each failing file and exits non-zero on any.
# The build must have run once: the sources include the generated ui_*.h of its autogen folder.
#
# Usage: scripts/clang-tidy.sh <build dir>
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: $0 <build dir>}
build=$(cd "$build" && pwd)
[ -f "$build/compile_commands.json" ] || {
    echo "clang-tidy: no compile_commands.json in $build" >&2
    exit 2
}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy) || {
    echo "clang-tidy: not installed (scripts/install-deps.sh installs it)" >&2
    exit 2
}

# One file: quiet unless it has findings, then its whole output at once so parallel runs do not
# interleave. GCC's warning flags in the database are unknown to clang: not a finding.
check_one() {
    local out
    if ! out=$("$tidy" -p "$build" --quiet --warnings-as-errors='*' \
        --extra-arg=-Wno-unknown-warning-option "$1" 2>&1); then
        printf '%s\n' "$out" | grep -v ' warnings\? generated\.$' >&2 || true
        echo "clang-tidy: findings in ${1#"$here"/}" >&2
        return 1
    fi
}
export -f check_one
export tidy build here

files=$(find "$here/src" -name '*.cpp' | sort)
echo "clang-tidy: $(wc -l <<<"$files") files in $here/src" >&2
# xargs exits 123 when any file had findings.
if ! tr '\n' '\0' <<<"$files" | xargs -0 -n1 -P "$(nproc)" bash -c 'check_one "$1"' _; then
    echo "clang-tidy: FAILED" >&2
    exit 1
fi
echo "clang-tidy: clean" >&2
