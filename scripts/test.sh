#!/usr/bin/env bash
# Installs what is missing, builds Mivora and runs every test (ctest starts its own slapd and
# Samba AD domain controller) and clang-tidy over src/; then the whole suite again in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, each fuzz target for a bounded time, and the
# Debian 13 tier (scripts/debian13-tier.sh: this command and the package inside a Debian 13 root;
# as root only, else skipped with the reason), and last the package of each release installed
# into a clean root of its release (scripts/package.sh here, scripts/check-install.sh for it and
# for the tier's package). The roots are prepared in the background while the host builds. Ends
# with each stage's wall time.
#
# Environment:
#   MIVORA_BUILD_DIR           the ordinary build, default <repo>/build
#   MIVORA_SANITIZE_BUILD_DIR  the sanitizer build, default <repo>/build-asan
#   MIVORA_SKIP_SANITIZE=1     leave out the sanitizer stage (local runs only; CI runs it)
#   MIVORA_SKIP_FUZZ=1         leave out the fuzz stage (local runs only; CI runs it)
#   MIVORA_SKIP_TIDY=1         leave out clang-tidy on src/ (local runs only; CI runs it)
#   MIVORA_FUZZ_SECONDS        time per fuzz target, default 60 (fuzz/run-fuzzers.sh)
#   MIVORA_SKIP_DEBIAN13=1     leave out the Debian 13 tier (local runs only; CI runs it)
#   MIVORA_SKIP_INSTALL=1      leave out the packages and their install check (local runs only)
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
tier_pid= tier_rc=
if [ "${MIVORA_SKIP_DEBIAN13:-0}" != 1 ]; then
    mkdir -p "$build_dir"
    tier_log=$build_dir/debian13-prepare.log
    setsid bash "$here/scripts/debian13-tier.sh" prepare >"$tier_log" 2>&1 &
    tier_pid=$!
fi
# The pristine roots that the install check copies (build/roots, as check-install.sh keeps them).
roots_pid=
if [ "${MIVORA_SKIP_INSTALL:-0}" != 1 ] && [ "$(id -u)" -eq 0 ]; then
    mkdir -p "$build_dir"
    setsid bash -c 'for r in bookworm trixie; do bash "$1" make $r "$2/roots/$r-base" || exit; done' \
        bash "$here/scripts/debian-root.sh" "$build_dir" >"$build_dir/roots-prepare.log" 2>&1 &
    roots_pid=$!
fi
trap 'for p in $tier_pid $roots_pid; do kill -- -"$p" 2>/dev/null || true; done' EXIT

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

if [ "${MIVORA_SKIP_INSTALL:-0}" = 1 ]; then
    stage_skipped install MIVORA_SKIP_INSTALL=1
elif [ -z "$roots_pid" ]; then
    stage_skipped install "not root: a clean root is made and entered as root only"
else
    # Debian 12's package is built here while the Debian 13 one (made by the tier) is checked.
    t0=$SECONDS
    roots_rc=0
    wait "$roots_pid" || roots_rc=$?
    roots_pid=
    [ $roots_rc -eq 0 ] || { cat "$build_dir/roots-prepare.log" >&2; status=1; }
    deb13=$(ls "$here"/mivora_*~deb13_amd64.deb 2>/dev/null | tail -n1 || true)
    check13_pid=
    if [ -n "$deb13" ]; then
        bash "$here/scripts/check-install.sh" "$deb13" >"$build_dir/check-install-deb13.log" 2>&1 &
        check13_pid=$!
    elif [ -n "$tier_rc" ] && [ "$tier_rc" != 77 ]; then
        echo "install check: the Debian 13 tier left no package" >&2
        status=1
    fi
    if bash "$here/scripts/package.sh" >"$build_dir/package.log" 2>&1; then
        bash "$here/scripts/check-install.sh" "$(ls "$here"/mivora_*~deb12_amd64.deb | tail -n1)" || status=1
    else
        tail -n 30 "$build_dir/package.log" >&2
        echo "install check: scripts/package.sh failed (log: $build_dir/package.log)" >&2
        status=1
    fi
    if [ -n "$check13_pid" ]; then
        wait "$check13_pid" || status=1
        cat "$build_dir/check-install-deb13.log"
    fi
    stage_done install "$t0"
fi

echo "wall time of each stage:"
printf '%s\n' "${times[@]}"
exit $status
