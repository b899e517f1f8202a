#!/usr/bin/env bash
# The main window of the build's Mivora read through AT-SPI (tests/support/check-main-window.sh),
# against the test directory, with the login fields restored from a data.ini beside the program.
# Output goes to <build>/accessibility.
# Usage: check_accessibility.sh <build dir>
set -euo pipefail
support=$(cd "$(dirname "$0")/../support" && pwd)
build=$(cd "$1" && pwd)
out=$build/accessibility
rm -rf "$out"
mkdir -p "$out/app"
export LDAPCONF=$build/test-directory/ldap.conf
cp "$build/Mivora" "$out/app/"
printf '[Data]\r\nDOMAIN=example.test\r\nACCOUNT=reader\r\nPASSWORD=secret\r\n' >"$out/app/data.ini"
"$support/check-main-window.sh" "$out/app/Mivora" "$out"
echo "accessibility output in $out"
