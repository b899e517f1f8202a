#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (their own build dir) and runs each for a bounded time.
#
#   fuzz/run-fuzzers.sh [TARGET...]        all targets when none is named
#   fuzz/run-fuzzers.sh --build-only       build them and run none (test.sh builds them early)
#
# Environment:
#   MIVORA_FUZZ_SECONDS    time per target, default 60 (libFuzzer's -max_total_time)
#   MIVORA_FUZZ_JOBS       targets run at once, default the number of cores
#   MIVORA_FUZZ_BUILD_DIR  default <repo>/build-fuzz
#
# Each target starts from its committed seeds (fuzz/corpus/<target>/, never written to) plus
# what earlier runs in the same build dir found (BUILD/corpus/<target>/). A crash, a sanitizer
# report or a broken property stops that target; its input is saved under BUILD/artifacts/ and
# the script fails. The executions of each target go to BUILD/fuzz-summary.txt.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${MIVORA_FUZZ_BUILD_DIR:-$here/../build-fuzz}
seconds=${MIVORA_FUZZ_SECONDS:-60}
jobs=${MIVORA_FUZZ_JOBS:-$(nproc)}
build_only=
if [ "${1:-}" = --build-only ]; then
    build_only=1
    shift
fi
all=(adspath dn root_path ldap_errors cp932 private_profile ranged_values server_answers netlogon_reply)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs"
[ -z "$build_only" ] || exit 0
build=$(cd "$build" && pwd)
mkdir -p "$build/logs" "$build/artifacts"

# Qt, libldap and iconv are not instrumented; leaks inside them are not ours to find here.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_one() {
    local target=$1
    local work=$build/corpus/$target
    mkdir -p "$work"
    # -rss_limit_mb: the private-profile target writes files; the others hold little.
    # server_answers: its seeds are whole recorded sessions of a few kilobytes each.
    local max_len=4096 asan=$ASAN_OPTIONS lsan=${LSAN_OPTIONS:-}
    if [ "$target" = server_answers ]; then
        max_len=32768
        # Each broken answer that makes libldap leak (lsan-suppressions.txt; the target's
        # allocator shows libldap's frame) costs a search of the whole heap, quicker with a
        # quarantine of freed memory smaller than the default 256 MB (a session frees far less).
        asan=$asan:quarantine_size_mb=32
        lsan=${lsan:+$lsan:}suppressions=$here/lsan-suppressions.txt
    fi
    if ASAN_OPTIONS=$asan LSAN_OPTIONS=$lsan "$build/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
        -timeout=25 -max_len="$max_len" -artifact_prefix="$build/artifacts/$target-" \
        "$work" "$here/corpus/$target" >"$build/logs/$target.log" 2>&1; then
        echo "ok"
    else
        echo "FAILED"
    fi >"$build/logs/$target.status"
}

start=$(date +%s)
running=0
for target in "${targets[@]}"; do
    [ -x "$build/fuzz_$target" ] || { echo "run-fuzzers.sh: no target $target" >&2; exit 2; }
    run_one "$target" &
    running=$((running + 1))
    if [ $running -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

{
    echo "# fuzz run $(date -u +%Y-%m-%dT%H:%M:%SZ), ${seconds} s per target"
    printf '%-16s %12s %10s %8s %s\n' target executions exec/s corpus result
    for target in "${targets[@]}"; do
        log=$build/logs/$target.log
        status=$(cat "$build/logs/$target.status")
        execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
        corpus=$(find "$build/corpus/$target" -type f | wc -l)
        printf '%-16s %12s %10s %8s %s\n' "$target" "${execs:-?}" "${rate:-?}" "$corpus" "$status"
    done
    echo "# wall time $(($(date +%s) - start)) s"
} | tee "$build/fuzz-summary.txt"

# Counted here, not in the block above: a pipeline's parts are subshells, whose variables are lost.
failed=0
for target in "${targets[@]}"; do
    [ "$(cat "$build/logs/$target.status")" = ok ] || failed=1
done

if [ $failed -ne 0 ]; then
    for target in "${targets[@]}"; do
        if [ "$(cat "$build/logs/$target.status")" != ok ]; then
            echo "--- $target ($build/logs/$target.log)"
            grep -E 'property broken|runtime error|ERROR:|SUMMARY|Test unit written|artifact' "$build/logs/$target.log" | head -20
        fi
    done
    exit 1
fi
