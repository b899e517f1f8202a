#!/usr/bin/env bash
# The main window as a screen reader hears it: Mivora runs on a real X server (Xvfb) with Qt's
# AT-SPI bridge on a D-Bus session of its own; atspi_main_window.py reads the controls' names,
# roles and states, presses "接続" and reads the list's rows, which must equal the listing of the
# test directory's root that ldapsearch gives. Output goes to <build>/accessibility.
# Usage: check_accessibility.sh <build dir>
set -euo pipefail
xvfb=$(cd "$(dirname "$0")/../support" && pwd)/with-xvfb.sh
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
out=$build/accessibility
for tool in Xvfb xauth mcookie xdotool dbus-run-session ldapsearch; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done
/usr/bin/python3 -c "import pyatspi" || { echo "missing python3-pyatspi (scripts/install-deps.sh installs it)"; exit 1; }
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "missing at-spi2-core (scripts/install-deps.sh installs it)"; exit 1; }
rm -rf "$out"
mkdir -p "$out/app"
export LDAPCONF=$build/test-directory/ldap.conf

# The listing of the domain root: No, class (the structural class), name (the first RDN as the
# server spells the DN).
filter='(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=group)(objectClass=computer)(objectClass=user))'
ldapsearch -Q -LLL -o ldif-wrap=no -E pr=500/noprompt -s one -b 'DC=example,DC=test' "$filter" structuralObjectClass \
  >"$out/listing.ldif"
/usr/bin/python3 - "$out/listing.ldif" >"$out/expected.tsv" <<'PY'
import base64, re, sys
rows, dn = [], None
for line in open(sys.argv[1], encoding="utf-8"):
    line = line.rstrip("\n")
    m = re.match(r"^([A-Za-z]+)(::?) ?(.*)$", line)
    if not m:
        continue
    key, sep, value = m.groups()
    if sep == "::":
        value = base64.b64decode(value).decode("utf-8")
    if key == "dn":
        dn = value
    elif key.lower() == "structuralobjectclass" and dn:
        rdn = re.split(r"(?<!\\),", dn, maxsplit=1)[0]
        rows.append((str(len(rows) + 1), value, rdn))
        dn = None
for row in rows:
    print("\t".join(row))
PY
[ -s "$out/expected.tsv" ] || { echo "ldapsearch listed nothing"; exit 1; }

cp "$build/Mivora" "$out/app/"
printf '[Data]\r\nDOMAIN=example.test\r\nACCOUNT=reader\r\nPASSWORD=secret\r\n' >"$out/app/data.ini"

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0
"$xvfb" -s "-screen 0 1280x1024x24" dbus-run-session -- bash -euo pipefail -c '
  app=$1 out=$2 here=$3
  "$app/Mivora" >"$out/mivora.log" 2>&1 & pid=$!
  status=0
  timeout 120 /usr/bin/python3 "$here/atspi_main_window.py" "$pid" "$out/expected.tsv" || status=$?
  # "終了" was pressed through AT-SPI: the program ends on its own.
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    [ "$status" != 0 ] || echo "Mivora still runs after 終了"
    kill "$pid"; wait "$pid" || true; exit 1
  fi
  wait "$pid" || status=1
  exit "$status"
' check "$out/app" "$out" "$here" || {
  # What the program itself said is the first thing to read when it ended early.
  echo "--- Mivora's output ($out/mivora.log):"; tail -n 40 "$out/mivora.log"; exit 1
}
echo "accessibility output in $out"
