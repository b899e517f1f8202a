#!/usr/bin/env bash
# The Debian 13 tier: the README's test command and the package, run inside a minimal Debian 13
# root made with debootstrap from this machine's mirror (scripts/debian-root.sh).
#
#   debian13-tier.sh [prepare|check|remove]
#
# prepare  the root (debootstrap), a copy of the source (the files git tracks or would track)
#          and scripts/install-deps.sh inside, with the machine's network
# check    bash scripts/test.sh inside with loopback only (the sanitizer and fuzz stages stay
#          on the host), then bash scripts/package.sh --from its build there (made with the
#          package's flags: no second build); the .deb comes out into the repository's top
#          folder
# remove   the root, its build with it (CI frees the disk; locally it is kept and reused)
# Without an argument, both. The root is <build>/debian13-root (MIVORA_DEBIAN13_ROOT), kept
# between runs and reused; CI=true makes it afresh. Root only: otherwise exits 77 with the
# reason (a skipped stage). clang-tidy runs inside as well (clang-tidy 19, the same checks:
# .clang-tidy turns off those that clang-tidy 14 lacks).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m -- "${MIVORA_DEBIAN13_ROOT:-${MIVORA_BUILD_DIR:-$here/build}/debian13-root}")
# The copy inside the root. Not under /root (0700): tests act as other users on files there.
src=/srv/mivora
rootsh=$here/scripts/debian-root.sh

log() { echo "debian13-tier: $*" >&2; }
if [ "$(id -u)" -ne 0 ]; then
    echo "debian13-tier: a Debian root is made and entered as root only" >&2
    exit 77
fi
# Each step's wall time, for the summary at the end.
timed() {
    local name=$1 t0=$SECONDS rc=0
    shift
    "$@" || rc=$?
    printf '%s %d\n' "$name" $((SECONDS - t0)) >>"$root.times"
    log "$name: $((SECONDS - t0)) s (exit $rc)"
    return $rc
}

# The source as a fresh clone has it plus what is not committed yet; the root's own build
# folders stay, so a local run builds only what changed. Never through a link inside the root:
# it would name a folder of this machine.
copy_source() {
    local at
    for at in "$root/srv" "$root$src"; do
        [ ! -L "$at" ] || { log "$at is a link: no source copied there"; return 1; }
    done
    mkdir -p "$root$src"
    find "$root$src" -mindepth 1 -maxdepth 1 ! -name 'build*' -exec rm -rf {} +
    (cd "$here" && git ls-files -z -co --exclude-standard | tar --null -T - -cf -) | tar -C "$root$src" -xf -
}

prepare() {
    : >"$root.times"
    if [ "${CI:-}" = true ]; then
        # Refused unless debian-root.sh made it: the path may come from the environment.
        bash "$rootsh" remove "$root"
        : >"$root.times"
    fi
    timed debootstrap bash "$rootsh" make trixie "$root"
    copy_source
    timed install-deps bash "$rootsh" run "$root" --net bash "$src/scripts/install-deps.sh"
}

check() {
    [ -f "$root/.mivora-root-done" ] || {
        log "no root at $root (debian13-tier.sh prepare)"
        return 1
    }
    [ -f "$root.times" ] || : >"$root.times"
    copy_source
    local out=$root.test.log rc=0
    # The inner test.sh starts no tier and no install check of its own.
    timed test bash "$rootsh" run "$root" /usr/bin/env MIVORA_SKIP_SANITIZE=1 MIVORA_SKIP_FUZZ=1 \
        MIVORA_SKIP_DEBIAN13=1 MIVORA_SKIP_INSTALL=1 bash "$src/scripts/test.sh" 2>&1 | tee "$out" || rc=1
    # The inner test.sh's own stage times: its build, ctest and clang-tidy (beside ctest: the
    # time it added after ctest).
    sed -n 's/^stage \(build\|ctest\|clang-tidy\): \([0-9]*\) s\b.*/\1 \2/p' "$out" >>"$root.times"
    rm -f "$root$src"/mivora_*.deb
    if timed package bash "$rootsh" run "$root" bash "$src/scripts/package.sh" --from "$src/build" \
        >"$root.package.log" 2>&1; then
        local deb
        for deb in "$root$src"/mivora_*.deb; do
            # A link there would copy a file of this machine's.
            [ -f "$deb" ] && [ ! -L "$deb" ] || continue
            cp "$deb" "$here/"
            log "package: $here/$(basename "$deb")"
        done
    else
        tail -30 "$root.package.log" >&2
        log "package.sh failed inside (log: $root.package.log)"
        rc=1
    fi
    echo "Debian 13: $(grep -E 'tests passed, [0-9]+ tests failed out of' "$out" | tail -n1 || echo 'no ctest summary')"
    grep -E '^AD (DNS )?tier skipped' "$out" | sed 's/^/Debian 13: /' || true
    echo "Debian 13 step times (s): $(tr '\n' ' ' <"$root.times")"
    return $rc
}

case ${1:-all} in
prepare) prepare ;;
check) check ;;
# Refused unless debian-root.sh made it, as in prepare.
remove) bash "$rootsh" remove "$root" && rm -f "$root.times" ;;
all) prepare && check ;;
*)
    echo "usage: debian13-tier.sh [prepare|check|remove]" >&2
    exit 2
    ;;
esac
