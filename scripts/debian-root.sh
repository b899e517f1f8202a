#!/usr/bin/env bash
# A minimal Debian root of a given release, made with debootstrap from this machine's own
# package mirror, and commands run inside it.
#
#   debian-root.sh make RELEASE DIR       make DIR (kept: a finished root is reused as it is)
#   debian-root.sh run DIR [--net] CMD…   run CMD inside DIR as root
#   debian-root.sh copy FROM TO           a fresh copy of a finished root (cp -a, no network)
#   debian-root.sh remove DIR             remove a root this script made
#
# `run` gives the root its own mount namespace (proc, sys, dev, a private /tmp and /dev/shm)
# and, unless --net is given, its own network namespace with only `lo` up: tests run there
# cannot send anything past loopback. --net keeps the machine's network for apt-get, with the
# machine's resolv.conf. Root only (debootstrap, chroot, unshare); exits 77 with the reason
# otherwise, which callers print as the reason for a skipped stage.
#
# Every root gets a marker file (.mivora-root) the moment its folder is made; a folder without
# one is never removed (make, copy and remove refuse it), whatever path the caller or the
# environment names. Files written into a root replace what is there and never go through a link
# inside it: such a link would name a path of this machine (absolute, or up through ..).
set -euo pipefail

die() {
    echo "debian-root.sh: $*" >&2
    exit 1
}
need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "debian-root.sh: a Debian root is made and entered as root only" >&2
        exit 77
    fi
}

# The mirror apt already uses here (deb822 or one-line sources), else Debian's own.
host_mirror() {
    local uri
    uri=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -v security | head -n1 || true)
    [ -n "$uri" ] || uri=$(awk '$1 == "deb" && $0 !~ /security/ { print $2; exit }' \
        /etc/apt/sources.list 2>/dev/null || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

# The marker, or the finished root's (roots made before there was a marker have only that).
marked() {
    local name
    for name in .mivora-root .mivora-root-done; do
        [ -f "$1/$name" ] && [ ! -L "$1/$name" ] && return 0
    done
    return 1
}

# Removes DIR when it is a root made here (or an empty folder, or nothing). Not across mount
# points: a root left mounted keeps what is mounted there.
remove_root() {
    local dir=$1
    [ -e "$dir" ] || [ -L "$dir" ] || return 0
    if [ -d "$dir" ] && [ ! -L "$dir" ] && { marked "$dir" || [ -z "$(ls -A "$dir")" ]; }; then
        rm -rf --one-file-system -- "$dir" || die "could not remove all of $dir"
    else
        die "$dir is not a root made by debian-root.sh (no .mivora-root in it): not removed"
    fi
}

# Writes standard input to PATH (absolute, inside root DIR) in place of what is there; refuses
# when a folder on the way is a link or no folder.
write_into() {
    local dir=$1 path=$2 at=$1 part parts
    IFS=/ read -ra parts <<<"$(dirname "${path#/}")"
    for part in "${parts[@]}"; do
        [ "$part" != . ] || continue
        at=$at/$part
        [ -d "$at" ] && [ ! -L "$at" ] || die "$at is a link or no folder: nothing written into the root there"
    done
    rm -f -- "$dir$path"
    cat >"$dir$path"
}

make_root() {
    local release=$1 dir=$2
    [ -f "$dir/.mivora-root-done" ] && return 0
    command -v debootstrap >/dev/null || die "debootstrap is missing (scripts/install-deps.sh installs it)"
    local mirror
    mirror=$(host_mirror)
    remove_root "$dir"
    mkdir -p "$dir"
    touch "$dir/.mivora-root"
    echo "debian-root.sh: debootstrap $release from $mirror into $dir" >&2
    debootstrap --variant=minbase --include=ca-certificates "$release" "$dir" "$mirror" >"$dir.log" 2>&1 ||
        die "debootstrap failed (log: $dir.log)"
    # The release's security updates and updates pocket, from the same mirror tree.
    write_into "$dir" /etc/apt/sources.list <<EOF
deb $mirror $release main
deb $mirror $release-updates main
EOF
    # Packages' maintainer scripts must not start system services inside the root.
    printf '#!/bin/sh\nexit 101\n' | write_into "$dir" /usr/sbin/policy-rc.d
    chmod +x "$dir/usr/sbin/policy-rc.d"
    touch "$dir/.mivora-root-done"
}

run_in_root() {
    local dir=$1
    shift
    local net=
    if [ "${1:-}" = --net ]; then
        net=1
        shift
    fi
    [ -f "$dir/.mivora-root-done" ] || die "$dir is not a finished root (debian-root.sh make)"
    [ $# -gt 0 ] || die "no command to run"
    # resolv.conf is only needed for apt-get; a copy, so the root never writes the machine's.
    [ -z "$net" ] || write_into "$dir" /etc/resolv.conf </etc/resolv.conf
    local unshare_flags=(--mount --propagation private)
    [ -n "$net" ] || unshare_flags+=(--net)
    # The environment inside is a clean one: HOME, PATH, a UTF-8 locale and what CI passes on.
    unshare "${unshare_flags[@]}" bash -c '
        set -e
        root=$1; shift
        # The root a mount point of its own: inside, unshare -m (the DNS tier) makes / private.
        mount --bind "$root" "$root"
        mount -t proc proc "$root/proc"
        mount --rbind /sys "$root/sys"
        mount --rbind /dev "$root/dev"
        mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
        mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
        ip link set lo up 2>/dev/null || true
        exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            ${CI:+CI=$CI} "$@"
    ' bash "$dir" "$@"
}

case ${1:-} in
make)
    [ $# -eq 3 ] || die "usage: debian-root.sh make RELEASE DIR"
    need_root
    make_root "$2" "$(realpath -m -- "$3")"
    ;;
run)
    [ $# -ge 3 ] || die "usage: debian-root.sh run DIR [--net] CMD..."
    need_root
    dir=$(realpath -m -- "$2")
    shift 2
    run_in_root "$dir" "$@"
    ;;
copy)
    [ $# -eq 3 ] || die "usage: debian-root.sh copy FROM TO"
    need_root
    [ -f "$2/.mivora-root-done" ] || die "$2 is not a finished root"
    to=$(realpath -m -- "$3")
    remove_root "$to"
    cp -a "$2" "$to"
    ;;
remove)
    [ $# -eq 2 ] || die "usage: debian-root.sh remove DIR"
    need_root
    remove_root "$(realpath -m -- "$2")"
    ;;
*)
    die "usage: debian-root.sh make|run|copy|remove ..."
    ;;
esac
