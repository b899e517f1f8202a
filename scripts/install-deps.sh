#!/usr/bin/env bash
# Installs the Debian 12 packages Mivora needs to build, test and run its demo, when missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config python3
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libldap-dev libsasl2-dev libsasl2-modules libsasl2-modules-gssapi-mit
  slapd ldap-utils openssl
  samba samba-ad-provision samba-dsdb-modules samba-vfs-modules samba-common-bin python3-samba
  krb5-user ldb-tools bind9-host iproute2 util-linux
  fonts-noto-cjk
  xvfb xauth xdotool imagemagick
  dpkg-dev lintian desktop-file-utils appstream librsvg2-bin
  at-spi2-core python3-pyatspi dbus-daemon
  clang libclang-rt-14-dev clang-tidy
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  # slapd's and samba's packages would start system-wide servers; the project only runs its own.
  printf '#!/bin/sh\nexit 101\n' | $sudo_cmd tee /usr/sbin/policy-rc.d >/dev/null
  $sudo_cmd chmod +x /usr/sbin/policy-rc.d
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
  $sudo_cmd rm -f /usr/sbin/policy-rc.d
fi
