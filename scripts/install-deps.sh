#!/usr/bin/env bash
# Installs the Debian packages Mivora needs to build, test and run its demo, when missing.
# Debian 12 and 13: where a package's name differs between releases, the name comes from what
# this machine's package lists offer, not from a release number written here.
set -euo pipefail
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
packages=(
  cmake ninja-build g++ pkg-config python3
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libldap-dev libsasl2-dev libsasl2-modules libsasl2-modules-gssapi-mit
  slapd ldap-utils openssl
  samba samba-ad-provision samba-dsdb-modules samba-vfs-modules samba-common-bin python3-samba
  krb5-user ldb-tools bind9-host iproute2 util-linux nftables faketime
  fonts-noto-cjk
  xvfb xauth xdotool imagemagick
  dpkg-dev lintian desktop-file-utils appstream librsvg2-bin
  at-spi2-core python3-pyatspi dbus-daemon
  clang clang-tidy debootstrap bc
)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
offered() { [ -n "$(apt-cache show --no-all-versions "$1" 2>/dev/null)" ]; }
# A fresh root (debootstrap, a new container) may have no package lists yet.
lists_read=
read_lists() {
  [ -n "$lists_read" ] || $sudo_cmd apt-get update -qq
  lists_read=1
}
offered clang || read_lists
# The sanitizer and fuzz runtimes of the clang that the release's "clang" package brings
# (libclang-rt-14-dev on Debian 12, libclang-rt-19-dev on Debian 13).
clang_major=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n1)
[ -n "$clang_major" ] || { echo "install-deps.sh: no clang in the package lists" >&2; exit 1; }
packages+=("libclang-rt-$clang_major-dev")
# slapd's and samba's packages would start system-wide servers; the project only runs its own.
# A policy-rc.d that refuses every start while apt-get runs here. On any exit (a failed apt-get,
# Ctrl-C) the machine's own comes back, or none if it had none; one saved by a run that was
# killed outright is put back by the next run.
policy=/usr/sbin/policy-rc.d saved=/usr/sbin/policy-rc.d.mivora-saved
mark='# install-deps.sh (Mivora): no service starts while it installs'
exists() { [ -e "$1" ] || [ -L "$1" ]; }
restore_policy() {
  if exists "$saved"; then
    $sudo_cmd mv -f "$saved" "$policy"
  else
    $sudo_cmd rm -f "$policy"
  fi
}
refuse_starts() {
  [ -z "${refusing:-}" ] || return 0
  refusing=1
  trap restore_policy EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM HUP
  # Ours, left by a killed run, is not the machine's.
  if ! exists "$saved" && exists "$policy" && ! grep -qsxF "$mark" "$policy"; then
    $sudo_cmd mv "$policy" "$saved"
  fi
  $sudo_cmd rm -f "$policy"
  printf '#!/bin/sh\n%s\nexit 101\n' "$mark" | $sudo_cmd tee "$policy" >/dev/null
  $sudo_cmd chmod +x "$policy"
}
apt_install() {
  echo "installing: $*"
  refuse_starts
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "$@"
}
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  lists_read= read_lists
  apt_install "${missing[@]}"
fi
# Debian 13 moved Samba's AD DC daemon out of the samba package (into samba-ad-dc); on Debian 12
# that name is only a metapackage that would pull in winbind.
if [ ! -x /usr/sbin/samba ] && offered samba-ad-dc; then
  apt_install samba-ad-dc
fi
