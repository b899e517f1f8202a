#!/usr/bin/env bash
# Installs what is missing, builds Mivora and runs every test (ctest starts its own slapd and
# Samba AD domain controller) and clang-tidy over src/; then the whole suite again in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target for a bounded time.
#
# Environment:
#   MIVORA_BUILD_DIR           the ordinary build, default <repo>/build
#   MIVORA_SANITIZE_BUILD_DIR  the sanitizer build, default <repo>/build-asan
#   MIVORA_SKIP_SANITIZE=1     leave out the sanitizer stage (local runs only; CI runs it)
#   MIVORA_SKIP_FUZZ=1         leave out the fuzz stage (local runs only; CI runs it)
#   MIVORA_SKIP_TIDY=1         leave out clang-tidy on src/ (local runs only; CI runs it)
#   MIVORA_FUZZ_SECONDS        time per fuzz target, default 60 (fuzz/run-fuzzers.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
jobs=$(nproc)
status=0

# Builds (warnings are errors) and runs the suite in one build dir; further arguments go to CMake.
run_suite() {
    local build=$1
    shift
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVORA_WERROR=ON "$@"
    cmake --build "$build" -j "$jobs"
    ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$jobs" || status=1
    # ctest shows a skipped test's output nowhere: the reason the AD tier did not run goes here.
    [ ! -f "$build/ad-dc/skipped" ] || echo "AD tier skipped: $(cat "$build/ad-dc/skipped")" >&2
    [ -f "$build/ad-dc/skipped" ] || [ ! -f "$build/ad-dc/dns-skipped" ] ||
        echo "AD DNS tier skipped: $(cat "$build/ad-dc/dns-skipped")" >&2
    # Cases of a tier that ran which this machine's Samba cannot check (older than 4.20: no
    # channel bindings), with their reasons as the tests gave them.
    [ -f "$build/ad-dc/skipped" ] || grep -ho 'AD tier skipped: .*' "$build/Testing/Temporary/LastTest.log" |
        sort -u >&2 || true
}

run_suite "${MIVORA_BUILD_DIR:-$here/build}"
# A clang-tidy finding in src/ (checks: .clang-tidy) fails the run like a failing test.
[ "${MIVORA_SKIP_TIDY:-0}" = 1 ] || bash "$here/scripts/clang-tidy.sh" "${MIVORA_BUILD_DIR:-$here/build}" || status=1

if [ "${MIVORA_SKIP_SANITIZE:-0}" = 1 ]; then
    echo "sanitizer stage skipped (MIVORA_SKIP_SANITIZE=1)" >&2
else
    # Any report fails its test: UBSan stops at the first, LeakSanitizer checks every exit.
    # The suppressions cover uninstrumented libraries only (see the file).
    export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    export LSAN_OPTIONS=suppressions=$here/tests/reliability/lsan-suppressions.txt:print_suppressions=0
    run_suite "${MIVORA_SANITIZE_BUILD_DIR:-$here/build-asan}" -DMIVORA_SANITIZE=ON -DMIVORA_BUILD_BENCH=OFF
    unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
fi

if [ "${MIVORA_SKIP_FUZZ:-0}" = 1 ]; then
    echo "fuzz stage skipped (MIVORA_SKIP_FUZZ=1)" >&2
else
    bash "$here/fuzz/run-fuzzers.sh" || status=1
fi
exit $status
