#!/usr/bin/env bash
# The guards of the scripts that run as root (docs/reliability.md), run against fakes; root only.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "root only: a mount namespace hides /usr/sbin"; exit 77; }
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd) tmp=$(mktemp -d) status=0
trap 'rm -rf --one-file-system "$tmp"' EXIT
fail() { echo "FAIL: $*"; status=1; }
# Nothing installed, clang offered, debootstrap fails; `apt-get install` notes its policy-rc.d.
mkdir "$tmp/bin" && export PATH=$tmp/bin:$PATH
printf '#!/bin/sh\nexit 1\n' | tee "$tmp/bin/dpkg-query" >"$tmp/bin/debootstrap"
printf '#!/bin/sh\necho "Package: x\n  Depends: clang-14"\n' >"$tmp/bin/apt-cache"
printf '#!/bin/sh\n[ "$1" = install ] || exit 0\ncat /usr/sbin/policy-rc.d >>"$SEEN"\nexit "$APT_RC"\n' >"$tmp/bin/apt-get"
chmod +x "$tmp/bin"/*

# install-deps.sh after the machine's policy-rc.d, none, or ours a killed run left: the machine's back.
for row in "machine 100" "none 0" "# install-deps.sh (Mivora): no service starts while it installs 0"; do
    before=${row% *} rc=${row##* } && sbin=$tmp/sbin-${before%% *} && mkdir "$sbin"
    [ "$before" = none ] || echo "$before" >"$sbin/policy-rc.d"
    SEEN=$sbin.seen APT_RC=$rc unshare --mount --propagation private bash -c \
        'mount --bind "$1" /usr/sbin && exec bash "$2"' bash "$sbin" "$scripts/install-deps.sh" >/dev/null 2>&1 && got=0 || got=$?
    [ "$got" = "$rc" ] && grep -qx 'exit 101' "$sbin.seen" || fail "install-deps ($row): exit $got without the policy"
    [ "$(cat "$sbin"/* 2>/dev/null)" = "$([ "$before" = machine ] && echo machine)" ] || fail "install-deps ($row): left $(ls "$sbin")"
done

# A folder without the marker, named to all that removes roots; then a copy of a root, removed.
mkdir -p "$tmp/other" "$tmp/root/etc" && touch "$tmp/other/keep" "$tmp/root/.mivora-root-done"
for command in "make trixie $tmp/other" "copy $tmp/root $tmp/other" "remove $tmp/other"; do
    # shellcheck disable=SC2086
    out=$(bash "$scripts/debian-root.sh" $command 2>&1) && fail "debian-root.sh $command: not refused"
    grep -q 'not removed' <<<"$out" && [ -f "$tmp/other/keep" ] || fail "debian-root.sh $command: $out"
done
bash "$scripts/debian-root.sh" copy "$tmp/root" "$tmp/copy" && bash "$scripts/debian-root.sh" remove "$tmp/copy" &&
    [ ! -e "$tmp/copy" ] || fail "a copy of a root not removed"

# resolv.conf into a root whose resolv.conf links to a file here, then whose etc links to a folder.
echo machine >"$tmp/file" && mkdir "$tmp/folder" && ln -s "$tmp/file" "$tmp/root/etc/resolv.conf"
bash "$scripts/debian-root.sh" run "$tmp/root" --net true >/dev/null 2>&1 || true
[ "$(cat "$tmp/file")" = machine ] && cmp -s /etc/resolv.conf "$tmp/root/etc/resolv.conf" || fail "resolv.conf through a link"
rm -r "$tmp/root/etc" && ln -s "$tmp/folder" "$tmp/root/etc"
bash "$scripts/debian-root.sh" run "$tmp/root" --net true >/dev/null 2>&1 || true
[ -z "$(ls "$tmp/folder")" ] || fail "resolv.conf through the root's etc link"
exit $status
