#!/usr/bin/env bash
# The guards of the scripts that run as root, checked by running them against fakes: nothing is
# installed, downloaded or changed outside a scratch folder. install-deps.sh puts back the
# machine's policy-rc.d (or none) whether apt-get succeeds or fails; debian-root.sh and
# debian13-tier.sh remove no folder that lacks their marker, and write resolv.conf into a root
# without going through a link there. Root only (mount namespaces); exits 77 otherwise.
# Usage: check_root_scripts.sh [build dir]
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "root only: the checks hide /usr/sbin in a mount namespace"; exit 77; }
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf --one-file-system "$tmp"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

# Fakes first on PATH: no package installed, clang 14 offered, `apt-get install` exits $APT_RC
# after noting the policy-rc.d it ran under; debootstrap fails at once.
bin=$tmp/bin
mkdir "$bin"
printf '#!/bin/sh\nexit 1\n' >"$bin/dpkg-query"
printf '#!/bin/sh\nexit 1\n' >"$bin/debootstrap"
printf '#!/bin/sh\n[ "$1" = depends ] && echo "  Depends: clang-14" || echo "Package: $3"\n' >"$bin/apt-cache"
printf '#!/bin/sh\n[ "$1" = install ] || exit 0\ncat /usr/sbin/policy-rc.d >>"$SEEN"\nexit "$APT_RC"\n' >"$bin/apt-get"
chmod +x "$bin"/*
export PATH=$bin:$PATH

# install-deps.sh with /usr/sbin a scratch folder of its own (a mount namespace): what was there
# before (the machine's policy-rc.d, none, or one a killed run of ours left), apt-get's exit code.
ours=$'#!/bin/sh\n# install-deps.sh (Mivora): no service starts while it installs\nexit 101'
for row in "machine 100" "machine 0" "none 100" "ours 0"; do
    read -r before rc <<<"$row"
    sbin=$tmp/sbin-$before-$rc
    mkdir "$sbin"
    [ "$before" = none ] || { [ "$before" = ours ] && echo "$ours" || echo machine; } >"$sbin/policy-rc.d"
    got=0
    SEEN=$sbin.seen APT_RC=$rc unshare --mount --propagation private \
        bash -c 'mount --bind "$1" /usr/sbin && exec bash "$2"' bash "$sbin" "$scripts/install-deps.sh" >"$sbin.log" 2>&1 || got=$?
    [ "$got" = "$rc" ] || fail "install-deps ($row): exit $got"
    grep -q '^exit 101$' "$sbin.seen" || fail "install-deps ($row): apt-get ran without refusing service starts"
    if [ "$before" = machine ]; then
        [ "$(cat "$sbin/policy-rc.d")" = machine ] && [ "$(ls "$sbin")" = policy-rc.d ] ||
            fail "install-deps ($row): the machine's policy-rc.d not put back: $(ls "$sbin")"
    else
        [ -z "$(ls "$sbin")" ] || fail "install-deps ($row): left $(ls "$sbin")"
    fi
done

# A folder without the marker, named to each command that removes roots: refused, kept whole.
notaroot=$tmp/notaroot
mkdir -p "$notaroot" "$tmp/root/etc"
touch "$notaroot/keep" "$tmp/root/.mivora-root-done"
for command in "make trixie $notaroot" "copy $tmp/root $notaroot" "remove $notaroot"; do
    # shellcheck disable=SC2086
    out=$(bash "$scripts/debian-root.sh" $command 2>&1) && fail "debian-root.sh $command: not refused"
    [ -f "$notaroot/keep" ] || fail "debian-root.sh $command: removed $notaroot"
    grep -q 'not removed' <<<"$out" || fail "debian-root.sh $command: $out"
done
MIVORA_DEBIAN13_ROOT=$notaroot CI=true bash "$scripts/debian13-tier.sh" prepare >/dev/null 2>&1 &&
    fail "debian13-tier.sh: CI=true with a root that is not one not refused"
[ -f "$notaroot/keep" ] || fail "debian13-tier.sh: removed $notaroot"
# A root made here is removed.
bash "$scripts/debian-root.sh" copy "$tmp/root" "$tmp/copy" && bash "$scripts/debian-root.sh" remove "$tmp/copy" &&
    [ ! -e "$tmp/copy" ] || fail "debian-root.sh: a copy of a root not removed"

# resolv.conf into a root whose own is a link to a file of this machine (a scratch one here),
# then into one whose etc is a link: the first replaces the link, the second writes nothing.
echo machine >"$tmp/victim"
ln -s "$tmp/victim" "$tmp/root/etc/resolv.conf"
bash "$scripts/debian-root.sh" run "$tmp/root" --net true >/dev/null 2>&1 || true
[ "$(cat "$tmp/victim")" = machine ] || fail "resolv.conf written through the root's link"
[ ! -L "$tmp/root/etc/resolv.conf" ] && cmp -s /etc/resolv.conf "$tmp/root/etc/resolv.conf" ||
    fail "resolv.conf not copied into the root"
mkdir "$tmp/victim-etc"
rm -r "$tmp/root/etc"
ln -s "$tmp/victim-etc" "$tmp/root/etc"
bash "$scripts/debian-root.sh" run "$tmp/root" --net true >/dev/null 2>&1 && fail "a root whose etc is a link not refused"
[ -z "$(ls "$tmp/victim-etc")" ] || fail "resolv.conf written through the root's etc link"

[ $status = 0 ] && echo "all guards hold"
exit $status
