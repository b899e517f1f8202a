#!/usr/bin/env bash
# Builds Mivora, starts the sample directory and opens Mivora on it. Without a display it runs
# under Xvfb, presses "接続" and saves a screenshot of the listing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
build=${MIVORA_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target Mivora

directory=$build/demo-directory
"$here/tests/directory-server/start-directory-server.sh" "$directory"
trap '"$here/tests/directory-server/stop-directory-server.sh" "$directory"' EXIT
export LDAPCONF=$directory/ldap.conf

# The login fields only need to be filled; the bind is as the user who runs Mivora.
if [ ! -e "$build/data.ini" ]; then
  printf '[Data]\r\nDOMAIN=example.test\r\nACCOUNT=demo\r\nPASSWORD=demo\r\n' > "$build/data.ini"
  chmod 600 "$build/data.ini"
fi

if [ -n "${DISPLAY:-}" ]; then
  echo "Mivora is open: press 接続 to browse DC=example,DC=test."
  "$build/Mivora"
  exit 0
fi

shot=$build/demo-screenshot.png
xvfb-run -a -s "-screen 0 1280x800x24" bash "$here/scripts/demo-under-xvfb.sh" "$build/Mivora" "$shot"
echo "No display: Mivora ran under Xvfb, pressed 接続 and saved the listing to $shot"
