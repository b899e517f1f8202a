#!/usr/bin/env bash
# Installs what is missing, builds Mivora and runs every test (ctest starts its own slapd and
# Samba AD domain controller) and clang-tidy over src/; then the whole suite again in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, each fuzz target for a bounded time, and the
# Debian 13 tier (scripts/debian13-tier.sh: this command and the package inside a Debian 13 root;
# as root only, else skipped with the reason). The root is prepared in the background while the
# host builds. Ends with each stage's wall time.
#
# Environment:
#   MIVORA_BUILD_DIR           the ordinary build, default <repo>/build
#   MIVORA_SANITIZE_BUILD_DIR  the sanitizer build, default <repo>/build-asan
#   MIVORA_SKIP_SANITIZE=1     leave out the sanitizer stage (local runs only; CI runs it)
#   MIVORA_SKIP_FUZZ=1         leave out the fuzz stage (local runs only; CI runs it)
#   MIVORA_SKIP_TIDY=1         leave out clang-tidy on src/ (local runs only; CI runs it)
#   MIVORA_FUZZ_SECONDS        time per fuzz target, default 60 (fuzz/run-fuzzers.sh)
#   MIVORA_SKIP_DEBIAN13=1     leave out the Debian 13 tier (local runs only; CI runs it)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
jobs=$(nproc)
status=0
build_dir=${MIVORA_BUILD_DIR:-$here/build}

times=()
# Notes a stage's wall time from its start (SECONDS then) for the summary at the end.
stage_done() { times+=("$(printf 'stage %s: %d s' "$1" $((SECONDS - $2)))"); }
stage_skipped() {
    echo "$1 stage skipped ($2)" >&2
    times+=("stage $1: skipped ($2)")
}

# The Debian 13 root needs the network (debootstrap, apt-get) and little CPU: it is made while
# the host builds. Its own process group, so that an early exit here ends it too.
tier_pid=
if [ "${MIVORA_SKIP_DEBIAN13:-0}" != 1 ]; then
    mkdir -p "$build_dir"
    tier_log=$build_dir/debian13-prepare.log
    setsid bash "$here/scripts/debian13-tier.sh" prepare >"$tier_log" 2>&1 &
    tier_pid=$!
    trap '[ -z "$tier_pid" ] || kill -- -"$tier_pid" 2>/dev/null || true' EXIT
fi

# Builds (warnings are errors) and runs the suite in one build dir; further arguments go to CMake.
# NAME-build and NAME-ctest (build and ctest for the ordinary one) are its stages.
run_suite() {
    local name=$1 build=$2 t0
    shift 2
    t0=$SECONDS
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVORA_WERROR=ON "$@"
    cmake --build "$build" -j "$jobs"
    stage_done "${name}build" "$t0"
    t0=$SECONDS
    ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$jobs" || status=1
    stage_done "${name}ctest" "$t0"
    # ctest shows a skipped test's output nowhere: the reason the AD tier did not run goes here.
    [ ! -f "$build/ad-dc/skipped" ] || echo "AD tier skipped: $(cat "$build/ad-dc/skipped")" >&2
    [ -f "$build/ad-dc/skipped" ] || [ ! -f "$build/ad-dc/dns-skipped" ] ||
        echo "AD DNS tier skipped: $(cat "$build/ad-dc/dns-skipped")" >&2
    # Cases of a tier that ran which this machine's Samba cannot check (older than 4.20: no
    # channel bindings), with their reasons as the tests gave them.
    [ -f "$build/ad-dc/skipped" ] || grep -ho 'AD tier skipped: .*' "$build/Testing/Temporary/LastTest.log" |
        sort -u >&2 || true
}

run_suite "" "$build_dir"
# A clang-tidy finding in src/ (checks: .clang-tidy) fails the run like a failing test.
if [ "${MIVORA_SKIP_TIDY:-0}" = 1 ]; then
    stage_skipped clang-tidy MIVORA_SKIP_TIDY=1
else
    t0=$SECONDS
    bash "$here/scripts/clang-tidy.sh" "$build_dir" || status=1
    stage_done clang-tidy "$t0"
fi

if [ "${MIVORA_SKIP_SANITIZE:-0}" = 1 ]; then
    stage_skipped sanitizer MIVORA_SKIP_SANITIZE=1
else
    # Any report fails its test: UBSan stops at the first, LeakSanitizer checks every exit.
    # The suppressions cover uninstrumented libraries only (see the file).
    export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    export LSAN_OPTIONS=suppressions=$here/tests/reliability/lsan-suppressions.txt:print_suppressions=0
    run_suite sanitizer- "${MIVORA_SANITIZE_BUILD_DIR:-$here/build-asan}" -DMIVORA_SANITIZE=ON -DMIVORA_BUILD_BENCH=OFF
    unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
fi

if [ "${MIVORA_SKIP_FUZZ:-0}" = 1 ]; then
    stage_skipped fuzz MIVORA_SKIP_FUZZ=1
else
    t0=$SECONDS
    bash "$here/fuzz/run-fuzzers.sh" || status=1
    stage_done fuzz "$t0"
fi

if [ -z "$tier_pid" ]; then
    stage_skipped debian13 MIVORA_SKIP_DEBIAN13=1
else
    # Its time is what it added to the run: the wait for the root (its making is in the log) and
    # the check.
    t0=$SECONDS
    tier_rc=0
    wait "$tier_pid" || tier_rc=$?
    tier_pid=
    echo "Debian 13 root ready after $((SECONDS - t0)) s of waiting:" >&2
    cat "$tier_log" >&2
    if [ $tier_rc -eq 77 ]; then
        echo "Debian 13 tier skipped: $(tail -n1 "$tier_log" | sed 's/^debian13-tier: //')" >&2
        times+=("stage debian13: skipped ($(tail -n1 "$tier_log" | sed 's/^debian13-tier: //'))")
    else
        if [ $tier_rc -ne 0 ]; then
            echo "Debian 13 tier: the root could not be prepared (exit $tier_rc)" >&2
            status=1
        else
            bash "$here/scripts/debian13-tier.sh" check || status=1
        fi
        stage_done debian13 "$t0"
    fi
fi

echo "wall time of each stage:"
printf '%s\n' "${times[@]}"
exit $status
