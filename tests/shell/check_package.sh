#!/usr/bin/env bash
# The Debian package, made by CPack from this build tree (the same install rules and CPack
# settings as scripts/package.sh, without a second Release build): lintian reports no error, the
# menu entry and the AppStream metainfo validate, the icons have their sizes. Then the package is
# unpacked into a scratch root (dpkg -x), its program folder made read-only, and the installed
# mivora started under Xvfb with a scratch HOME and XDG_CONFIG_HOME: closing it must create
# $XDG_CONFIG_HOME/mivora/data.ini (0600, folder 0700) and change nothing in the scratch root.
# Usage: check_package.sh <build dir>
set -euo pipefail
xvfb=$(cd "$(dirname "$0")/../support" && pwd)/with-xvfb.sh
build=$(cd "$1" && pwd)
out=$build/package-check
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli Xvfb xauth mcookie xdotool identify; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done
chmod -R u+w "$out" 2>/dev/null || true
rm -rf "$out"
mkdir -p "$out"

cpack --config "$build/CPackConfig.cmake" -B "$out/cpack" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
debs=("$out"/cpack/mivora_*_amd64.deb)
[ -f "${debs[0]}" ] || { echo "no mivora_<version>_amd64.deb"; ls "$out/cpack"; exit 1; }
deb=${debs[0]}
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends Installed-Size >"$out/control.txt"
cat "$out/control.txt"
depends=$(dpkg-deb --field "$deb" Depends)
for needed in fonts-noto-cjk libsasl2-modules-gssapi-mit 'libldap(-2\.5-0|2)' libqt6widgets6 libc6; do
  grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || { echo "Depends lacks $needed: $depends"; exit 1; }
done

# lintian refuses to run as root without this; errors fail, warnings are listed.
lintian --allow-root --fail-on error --tag-display-limit 0 "$deb" >"$out/lintian.txt" 2>&1 \
  || { cat "$out/lintian.txt"; echo "lintian reports errors"; exit 1; }
cat "$out/lintian.txt"

root=$out/root
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/mivora.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
grep -q '^Exec=mivora$' "$root/usr/share/applications/mivora.desktop"
for size in 48 128 256; do
  got=$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x$size/apps/mivora.png")
  [ "$got" = "${size}x$size" ] || { echo "icon ${size}x$size is $got"; exit 1; }
done
[ -s "$root/usr/share/icons/hicolor/scalable/apps/mivora.svg" ]
zcat "$root/usr/share/man/man1/mivora.1.gz" | grep -q XDG_CONFIG_HOME
[ -x "$root/usr/bin/mivora" ] && [ ! -e "$root/usr/bin/Mivora" ]

# Read-only program folder; root ignores the bits, so the whole scratch root is also compared
# before and after the run.
chmod -R a-w "$root/usr"
snapshot() { (cd "$root" && find . -printf '%p %s %m %T@\n' | sort); }
snapshot >"$out/root-before.txt"
home=$out/home
config=$out/config-elsewhere
mkdir -p "$home"

env HOME="$home" XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb LDAPNOINIT=1 \
  "$xvfb" -s "-screen 0 1280x1024x24" bash -euo pipefail -c '
  root=$1 out=$2
  "$root/usr/bin/mivora" & pid=$!
  wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  # "終了": 129 x 33 at (704, 88) in the client area.
  xdotool mousemove --sync $((X + 768)) $((Y + 104)) click 1
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then echo "mivora still runs after 終了"; kill "$pid"; exit 1; fi
  wait "$pid"
' check "$root" "$out"

snapshot >"$out/root-after.txt"
chmod -R u+w "$root/usr"
diff "$out/root-before.txt" "$out/root-after.txt" || { echo "the run changed the scratch root"; exit 1; }
ini=$config/mivora/data.ini
[ -f "$ini" ] || { echo "no $ini"; find "$out" -name data.ini; exit 1; }
[ "$(stat -c %a "$ini")" = 600 ] || { echo "$ini has mode $(stat -c %a "$ini")"; exit 1; }
[ "$(stat -c %a "$config/mivora")" = 700 ] || { echo "$config/mivora has mode $(stat -c %a "$config/mivora")"; exit 1; }
printf '[Data]\r\nDOMAIN=\r\nACCOUNT=\r\nPASSWORD=\r\n' | cmp - "$ini" || { echo "unexpected $ini"; exit 1; }
[ ! -e "$home/.config/mivora" ] || { echo "settings went to HOME/.config, not XDG_CONFIG_HOME"; exit 1; }
echo "package $(basename "$deb"), $(stat -c %s "$deb") bytes; settings in $ini"
