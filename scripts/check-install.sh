#!/usr/bin/env bash
# Installs a Mivora package into a fresh minimal root of its release and checks the installed
# program there, the way it reaches a user: apt installs the .deb alone (with what its Depends
# pull in, no Recommends); only then Xvfb, AT-SPI, D-Bus and the test directory's slapd are
# added. As a normal user with a fresh HOME, /usr/bin/mivora must show its window, list the
# test directory's root on 接続 (rows compared with ldapsearch, read through AT-SPI) and write
# ~/.config/mivora/data.ini on 終了; the Japanese font (fc-list :lang=ja) and the SASL GSSAPI
# module (a GSSAPI bind attempt) are tested by themselves, since the test directory binds with
# EXTERNAL. The checking tools must not bring in anything the program needs at run time.
#
#   check-install.sh DEB                 the check; exits 0 when the installed program passes
#   check-install.sh --without PKG DEB   the same package with PKG left out of its Depends:
#                                        exits 0 when the check fails, and for PKG's reason
#
# The release comes from the package's version (1.0.0~deb12: bookworm, ~deb13: trixie). The
# pristine root of the release is made once with debootstrap (scripts/debian-root.sh) and kept
# in MIVORA_ROOTS_DIR (default build/roots/<release>-base); each run checks in a fresh copy,
# <release>-check, left there for inspection. apt reaches the mirror; the check itself runs with
# loopback only. Root only: exits 77 with the reason otherwise.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

step_start=
step() { # the wall time of each step, for fitting CI
    local now
    now=$(date +%s.%N)
    [ -z "$step_start" ] || printf 'check-install.sh: %s: %.1f s\n' "$step_name" "$(echo "$now - $step_start" | bc)"
    step_name=${1:-} step_start=$now
}

# Inside the root, as the normal user: the directory, the font, GSSAPI, then the window.
as_user() {
    local out=$HOME/check status=0
    ds=/tmp/test-directory
    rm -rf "$out" "$HOME/.config/mivora"
    mkdir -p "$out"
    "$here/tests/directory-server/start-directory-server.sh" "$ds" >"$out/directory.log"
    export LDAPCONF=$ds/ldap.conf
    trap '"$here/tests/directory-server/stop-directory-server.sh" "$ds" >/dev/null' EXIT

    local fonts
    fonts=$(fc-list :lang=ja family)
    if [ -z "$fonts" ]; then
        echo "FAIL font: fc-list :lang=ja lists no font that shows Japanese"
        status=1
    else
        echo "ok font: $(head -n 1 <<<"$fonts")"
    fi
    # Without the module libsasl2 has no GSSAPI to offer ("No worthy mechs found"); with it the
    # attempt gets as far as Kerberos, which has no ticket here.
    local gssapi
    gssapi=$(LDAPNOINIT=1 ldapwhoami -Y GSSAPI -H "ldap://127.0.0.1:$(cat "$ds/port")" 2>&1 || true)
    if grep -qi 'no worthy mechs\|no mechanism available' <<<"$gssapi"; then
        echo "FAIL gssapi: libsasl2 has no GSSAPI mechanism: $(tr '\n' ' ' <<<"$gssapi")"
        status=1
    elif grep -q 'GSSAPI' <<<"$gssapi"; then
        echo "ok gssapi: the mechanism answers: $(tr '\n' ' ' <<<"$gssapi")"
    else
        echo "FAIL gssapi: unexpected answer: $(tr '\n' ' ' <<<"$gssapi")"
        status=1
    fi

    if "$here/tests/support/check-main-window.sh" /usr/bin/mivora "$out/window" \
        domain=example.test account=reader password=secret >"$out/window.log" 2>&1; then
        echo "ok window: $(grep -m1 '^read ' "$out/window.log")"
    else
        echo "FAIL window: $(grep -m1 -v '^dbus-daemon\|^SpiRegistry\|^$' "$out/window.log")" \
            "(mivora: $(grep -m1 . "$out/window/mivora.log" || echo nothing))"
        sed 's/^/  /' "$out/window.log"
        status=1
    fi
    local ini=$HOME/.config/mivora/data.ini
    if printf '[Data]\r\nDOMAIN=example.test\r\nACCOUNT=reader\r\nPASSWORD=secret\r\n' | cmp -s - "$ini"; then
        echo "ok settings: 終了 wrote $ini"
    else
        echo "FAIL settings: $ini is missing or not what was typed"
        status=1
    fi
    return $status
}

# Inside the root, as root, with loopback only.
inside() {
    id checker >/dev/null 2>&1 || useradd --create-home --shell /bin/bash checker
    chmod -R a+rX "$here"
    runuser -u checker -- env -i HOME=/home/checker LANG=C.UTF-8 PATH=/usr/bin:/bin:/usr/sbin:/sbin \
        bash "$here/scripts/check-install.sh" --as-user
}

case ${1:-} in
--as-user)
    as_user
    exit
    ;;
--inside)
    inside
    exit
    ;;
esac

without=
if [ "${1:-}" = --without ]; then
    without=${2:?usage: check-install.sh [--without PKG] DEB}
    shift 2
fi
[ $# -eq 1 ] || { echo "usage: check-install.sh [--without PKG] DEB" >&2; exit 2; }
deb=$(realpath -- "$1")
if [ "$(id -u)" -ne 0 ]; then
    echo "check-install.sh: a clean root is made and entered as root only" >&2
    exit 77
fi
for tool in dpkg-deb bc; do
    command -v "$tool" >/dev/null || { echo "check-install.sh: missing $tool" >&2; exit 1; }
done
version=$(dpkg-deb --field "$deb" Version)
case $version in
*~deb12) release=bookworm ;;
*~deb13) release=trixie ;;
*) echo "check-install.sh: $version names no release this check knows (~deb12, ~deb13)" >&2; exit 1 ;;
esac
roots=${MIVORA_ROOTS_DIR:-$here/build/roots}
base=$roots/$release-base root=$roots/$release-check
root_sh=$here/scripts/debian-root.sh

step "root of $release (debootstrap, kept)"
bash "$root_sh" make "$release" "$base"
step "fresh copy of the root"
bash "$root_sh" copy "$base" "$root"
mkdir -p "$root/root/debs"
if [ -n "$without" ]; then
    step "the package again without $without"
    # The same package, one Depends fewer: the control file edited and the package made anew.
    work=$root/root/without
    dpkg-deb -R "$deb" "$work"
    awk -v drop="$without" 'sub(/^Depends: /, "") {
            n = split($0, dep, ", "); line = ""
            for (i = 1; i <= n; i++) { split(dep[i], name, " "); if (name[1] != drop) line = line (line ? ", " : "") dep[i] }
            $0 = "Depends: " line
        } { print }' "$work/DEBIAN/control" >"$work/control" && mv "$work/control" "$work/DEBIAN/control"
    cmp -s <(dpkg-deb --field "$deb" Depends) <(sed -n 's/^Depends: //p' "$work/DEBIAN/control") &&
        { echo "check-install.sh: $without is not among the Depends" >&2; exit 1; }
    echo "check-install.sh: without $without: $(grep '^Depends:' "$work/DEBIAN/control")"
    dpkg-deb -b --root-owner-group "$work" "$root/root/debs/$(basename "$deb")" >/dev/null
    rm -rf "$work"
else
    cp "$deb" "$root/root/debs/"
fi
# The sources of the check and of the test directory, not the program.
mkdir -p "$root/opt/mivora-check/scripts" "$root/opt/mivora-check/tests"
cp "$here/scripts/check-install.sh" "$root/opt/mivora-check/scripts/"
cp -r "$here/tests/support" "$here/tests/directory-server" "$root/opt/mivora-check/tests/"

export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -y -q -o Dpkg::Use-Pty=0 --no-install-recommends)
step "apt-get update"
bash "$root_sh" run "$root" --net env DEBIAN_FRONTEND=noninteractive apt-get -q update >"$root.apt.log"
step "apt-get install the package"
bash "$root_sh" run "$root" --net env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "/root/debs/$(basename "$deb")" \
    >>"$root.apt.log" 2>&1 || { tail -n 30 "$root.apt.log"; echo "apt-get could not install $(basename "$deb")"; exit 1; }
installed() { bash "$root_sh" run "$root" dpkg-query -W -f '${Package}\n' | sort; }
installed >"$root.with-package.txt"
step "apt-get install the checking tools"
# slapd and ldap-utils: the test directory runs inside the root, on its loopback.
bash "$root_sh" run "$root" --net env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install \
    xvfb xauth xdotool at-spi2-core python3-pyatspi dbus-daemon slapd ldap-utils openssl python3 fontconfig \
    >>"$root.apt.log" 2>&1 || { tail -n 30 "$root.apt.log"; echo "apt-get could not install the checking tools"; exit 1; }
installed >"$root.with-tools.txt"
# A font, a SASL module or a Qt plugin that only the tools brought would hide a missing Depends.
masked=$(comm -13 "$root.with-package.txt" "$root.with-tools.txt" | grep -E '^(fonts-|libsasl2-modules|qt6-|libqt6)' || true)
[ -z "$masked" ] || { echo "the checking tools brought in what the program needs: $masked"; exit 1; }
step "the check (window, 接続, 終了; font; GSSAPI)"
status=0
bash "$root_sh" run "$root" bash /opt/mivora-check/scripts/check-install.sh --inside | tee "$root.check.log" || status=$?
step
if [ -z "$without" ]; then
    [ $status = 0 ] && echo "check-install.sh: $(basename "$deb") passes in a clean $release root"
    exit $status
fi
# Left out on purpose: the check must fail, and for this package's reason.
case $without in
fonts-*) reason='^FAIL font' ;;
libsasl2-modules*) reason='^FAIL gssapi' ;;
*) reason='^FAIL' ;;
esac
if [ $status != 0 ] && grep -q "$reason" "$root.check.log"; then
    echo "check-install.sh: without $without the check fails, as it must: $(grep -m1 "$reason" "$root.check.log")"
    exit 0
fi
echo "check-install.sh: without $without the check did not fail for its reason ($reason)"
exit 1
