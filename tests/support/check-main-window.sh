#!/usr/bin/env bash
# The main window as a screen reader hears it: PROGRAM runs on a real X server (Xvfb) with Qt's
# AT-SPI bridge on a D-Bus session of its own; atspi_main_window.py reads the controls' names,
# roles and states, types the FIELD=VALUE pairs into empty login fields, presses "接続" and reads
# the list's rows, which must equal the listing of the directory's root that ldapsearch gives
# (LDAPCONF names the directory), then presses "終了", after which PROGRAM must end by itself.
# Usage: check-main-window.sh PROGRAM OUT [FIELD=VALUE...]    (OUT: the files it writes)
# The platform plugin is xcb (ctest's QT_QPA_PLATFORM=offscreen has no AT-SPI bridge), or
# MIVORA_CHECK_QPA's, e.g. wayland with WAYLAND_DISPLAY naming a running compositor.
set -euo pipefail
support=$(cd "$(dirname "$0")" && pwd)
program=$1 out=$2
shift 2
for tool in Xvfb xauth mcookie xdotool dbus-run-session ldapsearch; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done
/usr/bin/python3 -c "import pyatspi" || { echo "missing python3-pyatspi (scripts/install-deps.sh installs it)"; exit 1; }
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "missing at-spi2-core (scripts/install-deps.sh installs it)"; exit 1; }
mkdir -p "$out"

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

export QT_QPA_PLATFORM=${MIVORA_CHECK_QPA:-xcb} QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0
"$support/with-xvfb.sh" -s "-screen 0 1280x1024x24" dbus-run-session -- bash -euo pipefail -c '
  program=$1 out=$2 support=$3
  shift 3
  "$program" >"$out/mivora.log" 2>&1 & pid=$!
  status=0
  timeout 120 /usr/bin/python3 "$support/atspi_main_window.py" "$pid" "$out/expected.tsv" "$@" || status=$?
  # "終了" was pressed through AT-SPI: the program ends on its own.
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    [ "$status" != 0 ] || echo "Mivora still runs after 終了"
    kill "$pid"; wait "$pid" || true; exit 1
  fi
  wait "$pid" || status=1
  exit "$status"
' check "$program" "$out" "$support" "$@" || {
  # What the program itself said is the first thing to read when it ended early.
  echo "--- Mivora's output ($out/mivora.log):"; tail -n 40 "$out/mivora.log"; exit 1
}
