#!/usr/bin/env bash
# Installs what is missing, builds Mivora and runs every test (ctest starts its own slapd and
# Samba AD domain controller) and clang-tidy over src/; then the whole suite again in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, the Debian 13 tier (scripts/debian13-tier.sh:
# this command and the package inside a Debian 13 root; as root only, else skipped with the
# reason), each fuzz target for a bounded time, and the package of each release installed into a
# clean root of its release (scripts/package.sh --from the build here, scripts/check-install.sh
# for it and for the tier's package). Ends with each stage's wall time.
#
# Work that waits little on the rest goes beside it, niced where it would take CPU from what it
# runs beside: the roots are prepared in the background while the host builds; clang-tidy runs
# beside ctest and the fuzz targets' build beside the sanitizer ctest, taking the CPU the tests
# leave idle while they wait on servers and time-outs, never the tests' own; the install checks,
# mostly apt-get, run beside the fuzz targets, whose run is bounded in time, not in work.
#
#   test.sh            every stage (the README's test command; CI runs it through .ci/run)
#   test.sh --quick    configure, build and ctest only, in build/: no root, no network, nothing
#                      installed (a missing package is named, with the command that installs it)
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
quick=
if [ "${1:-}" = --quick ]; then
    quick=1
    shift
fi
[ $# -eq 0 ] || { echo "usage: test.sh [--quick]" >&2; exit 2; }
jobs=$(nproc)
status=0
build_dir=${MIVORA_BUILD_DIR:-$here/build}

times=()
# The disk left where the builds are: the stages' trees, roots and packages fill several GB.
disk_free() { df -BG --output=avail "$here" | tail -n 1 | tr -d ' '; }
# Notes a stage's wall time from its start (SECONDS then) for the summary at the end; a stage
# that ran beside another (third argument) is noted with the time it added after that one.
stage_done() {
    if [ -n "${3:-}" ]; then
        times+=("$(printf 'stage %s: %d s (beside %s, %d s in all; %s free)' "$1" $((SECONDS - $3)) "$4" \
            $((SECONDS - $2)) "$(disk_free)")")
    else
        times+=("$(printf 'stage %s: %d s (%s free)' "$1" $((SECONDS - $2)) "$(disk_free)")")
    fi
}
# CI's machine is thrown away after the run and its disk is small: a tree no later stage reads
# goes as soon as its stage ends, in the background (unlinking a Debian root's files takes
# minutes). Local runs keep them for the next, incremental, run.
free_for_ci() {
    [ "${CI:-}" = true ] || return 0
    echo "CI: removing $1 in the background (no later stage reads it; $(disk_free) free before)" >&2
    background nice -n 19 "${@:2}" >/dev/null
}
stage_skipped() {
    echo "$1 stage skipped ($2)" >&2
    times+=("stage $1: skipped ($2)")
}
summary() {
    echo "wall time of each stage:"
    printf '%s\n' "${times[@]}"
    echo "in all: $SECONDS s"
}

# The packages the build and the test directory need. The tests that need more name what is
# missing themselves; the AD tier says why it is skipped.
check_packages() {
    local missing=() p
    for p in cmake ninja-build g++ pkg-config python3 dpkg-dev qt6-base-dev qt6-base-dev-tools libgl-dev \
        libldap-dev libsasl2-dev slapd ldap-utils openssl; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "test.sh --quick: missing ${missing[*]}" >&2
    echo "  install them with: sudo apt-get install ${missing[*]}" >&2
    echo "  or everything the tests use with: sudo bash scripts/install-deps.sh" >&2
    return 1
}
if [ -n "$quick" ]; then
    check_packages
else
    bash "$here/scripts/install-deps.sh"
fi
# The ordinary build has the package's flags: the install stage packages it as it is.
. "$here/scripts/package-flags.sh"
package_build_flags "$here"

bg_pids=()
trap 'for p in "${bg_pids[@]}"; do kill -- -"$p" 2>/dev/null || true; done' EXIT
# Starts a command in the background in a process group of its own (ended with the run);
# its pid in $!.
background() {
    setsid "$@" &
    bg_pids+=($!)
}

tier_pid= tier_rc= roots_pid=
if [ -z "$quick" ]; then
    # The roots need the network (debootstrap, apt-get) and some CPU (dpkg): they are made
    # while the host builds, niced, so that the build keeps both cores; they are needed only
    # after the sanitizer stage.
    if [ "${MIVORA_SKIP_DEBIAN13:-0}" != 1 ]; then
        mkdir -p "$build_dir"
        tier_log=$build_dir/debian13-prepare.log
        background nice -n 19 bash "$here/scripts/debian13-tier.sh" prepare >"$tier_log" 2>&1
        tier_pid=$!
    fi
    # The pristine roots that the install check copies (build/roots, as check-install.sh keeps them).
    if [ "${MIVORA_SKIP_INSTALL:-0}" != 1 ] && [ "$(id -u)" -eq 0 ]; then
        mkdir -p "$build_dir"
        background nice -n 19 bash -c 'for r in bookworm trixie; do bash "$1" make $r "$2/roots/$r-base" || exit; done' \
            bash "$here/scripts/debian-root.sh" "$build_dir" >"$build_dir/roots-prepare.log" 2>&1
        roots_pid=$!
    fi
fi

# Configures and builds one build dir (warnings are errors); further arguments go to CMake.
# Its stage is NAME-build (build for the ordinary one).
build_suite() {
    local name=$1 build=$2 t0=$SECONDS
    shift 2
    cmake -S "$here" -B "$build" -G Ninja -DMIVORA_WERROR=ON "$@"
    cmake --build "$build" -j "$jobs"
    stage_done "${name}build" "$t0"
}
# Runs the suite of a build; its stage is NAME-ctest (ctest for the ordinary one).
run_ctest() {
    local name=$1 build=$2 t0=$SECONDS
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
# Waits for PID, started at T_START beside the stage BESIDE (which ended at T_END), notes it as
# stage NAME and shows its output, kept in LOG, after the stage's own.
finish_beside() {
    local name=$1 pid=$2 log=$3 t_start=$4 t_end=$5 beside=$6
    wait "$pid" || status=1
    cat "$log" >&2
    stage_done "$name" "$t_start" "$t_end" "$beside"
}

build_suite "" "$build_dir" "${build_flags[@]}"
if [ -n "$quick" ]; then
    run_ctest "" "$build_dir"
    summary
    exit $status
fi

# A clang-tidy finding in src/ (checks: .clang-tidy) fails the run like a failing test.
tidy_pid=
if [ "${MIVORA_SKIP_TIDY:-0}" = 1 ]; then
    stage_skipped clang-tidy MIVORA_SKIP_TIDY=1
else
    tidy_t0=$SECONDS
    background nice -n 19 bash "$here/scripts/clang-tidy.sh" "$build_dir" >"$build_dir/clang-tidy.log" 2>&1
    tidy_pid=$!
fi
run_ctest "" "$build_dir"
[ -z "$tidy_pid" ] || finish_beside clang-tidy "$tidy_pid" "$build_dir/clang-tidy.log" "$tidy_t0" "$SECONDS" ctest

fuzz_build_pid=
if [ "${MIVORA_SKIP_SANITIZE:-0}" = 1 ]; then
    stage_skipped sanitizer MIVORA_SKIP_SANITIZE=1
else
    asan_dir=${MIVORA_SANITIZE_BUILD_DIR:-$here/build-asan}
    build_suite sanitizer- "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVORA_SANITIZE=ON -DMIVORA_BUILD_BENCH=OFF
    if [ "${MIVORA_SKIP_FUZZ:-0}" != 1 ]; then
        fuzz_build_t0=$SECONDS
        background nice -n 19 bash "$here/fuzz/run-fuzzers.sh" --build-only >"$build_dir/fuzz-build.log" 2>&1
        fuzz_build_pid=$!
    fi
    # Any report fails its test: UBSan stops at the first, LeakSanitizer checks every exit.
    # The suppressions cover uninstrumented libraries only (see the file).
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        LSAN_OPTIONS=suppressions=$here/tests/reliability/lsan-suppressions.txt:print_suppressions=0 \
        run_ctest sanitizer- "$asan_dir"
    if [ -n "$fuzz_build_pid" ]; then
        finish_beside fuzz-build "$fuzz_build_pid" "$build_dir/fuzz-build.log" "$fuzz_build_t0" "$SECONDS" sanitizer-ctest
    fi
    free_for_ci "the sanitizer build" rm -rf "$asan_dir"
fi

if [ -z "$tier_pid" ]; then
    stage_skipped debian13 MIVORA_SKIP_DEBIAN13=1
else
    # Its time is what it added to the run: the wait for the root (its making is in the log) and
    # the check.
    t0=$SECONDS
    tier_rc=0
    wait "$tier_pid" || tier_rc=$?
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
        # Its package was copied out; the install check starts from a root of its own.
        free_for_ci "the Debian 13 root" bash "$here/scripts/debian13-tier.sh" remove
    fi
fi

# Debian 12's package from the build here, each release's checked in a clean root, side by side.
install_checks() {
    local deb13 check13_pid= rc=0
    deb13=$(ls "$here"/mivora_*~deb13_amd64.deb 2>/dev/null | tail -n1 || true)
    if [ -n "$deb13" ]; then
        bash "$here/scripts/check-install.sh" "$deb13" >"$build_dir/check-install-deb13.log" 2>&1 &
        check13_pid=$!
    elif [ -n "$tier_rc" ] && [ "$tier_rc" != 77 ]; then
        echo "install check: the Debian 13 tier left no package"
        rc=1
    fi
    if bash "$here/scripts/package.sh" --from "$build_dir" >"$build_dir/package.log" 2>&1; then
        bash "$here/scripts/check-install.sh" "$(ls "$here"/mivora_*~deb12_amd64.deb | tail -n1)" || rc=1
    else
        tail -n 30 "$build_dir/package.log"
        echo "install check: scripts/package.sh failed (log: $build_dir/package.log)"
        rc=1
    fi
    if [ -n "$check13_pid" ]; then
        wait "$check13_pid" || rc=1
        cat "$build_dir/check-install-deb13.log"
    fi
    return $rc
}
install_pid=
if [ "${MIVORA_SKIP_INSTALL:-0}" = 1 ]; then
    stage_skipped install MIVORA_SKIP_INSTALL=1
elif [ -z "$roots_pid" ]; then
    stage_skipped install "not root: a clean root is made and entered as root only"
else
    install_t0=$SECONDS
    roots_rc=0
    wait "$roots_pid" || roots_rc=$?
    [ $roots_rc -eq 0 ] || { cat "$build_dir/roots-prepare.log" >&2; status=1; }
    export here build_dir tier_rc
    export -f install_checks
    background bash -c install_checks >"$build_dir/install-checks.log" 2>&1
    install_pid=$!
fi

if [ "${MIVORA_SKIP_FUZZ:-0}" = 1 ]; then
    stage_skipped fuzz MIVORA_SKIP_FUZZ=1
else
    t0=$SECONDS
    bash "$here/fuzz/run-fuzzers.sh" || status=1
    stage_done fuzz "$t0"
fi

if [ -n "$install_pid" ]; then
    t0=$SECONDS
    wait "$install_pid" || status=1
    cat "$build_dir/install-checks.log"
    if [ "${MIVORA_SKIP_FUZZ:-0}" = 1 ]; then
        stage_done install "$install_t0"
    else
        stage_done install "$install_t0" "$t0" fuzz
    fi
fi

summary
exit $status
