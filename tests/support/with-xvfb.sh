#!/usr/bin/env bash
# Runs a command on an X server of its own (Xvfb). The server picks a free display itself
# (-displayfd), so checks running side by side never race for a number the way `xvfb-run -a`
# can, and the command starts only once the server has answered a request. When the server does
# not come up, its own messages are shown. -noreset: an X server resets when its last client
# leaves, and refuses connections while it does; the probe below, or at-spi-bus-launcher setting
# its property, would otherwise start such a reset just as the program under test connects.
# Usage: with-xvfb.sh [-s "Xvfb arguments"] command [argument...]
set -euo pipefail
server_args="-screen 0 1280x1024x24"
if [ "${1:-}" = -s ]; then
  server_args=$2
  shift 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/xvfb.XXXXXX")
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$1"
  tail -n 20 "$work/xvfb.log" | sed 's/^/  Xvfb: /'
  exit 1
}

cookie=$(mcookie)
touch "$work/server-auth" "$work/client-auth"
# The server accepts every cookie in its file, whatever display an entry names; the client's
# entry is written once the display is known.
xauth -q -f "$work/server-auth" add :0 . "$cookie"
mkfifo "$work/displayfd"
# shellcheck disable=SC2086 # the arguments are words on purpose
Xvfb -displayfd 3 -noreset -nolisten tcp -auth "$work/server-auth" $server_args 3>"$work/displayfd" 2>"$work/xvfb.log" &
xvfb_pid=$!
# Xvfb writes the number once it listens, or closes the pipe when it fails.
read -r -t 60 display <"$work/displayfd" || fail "Xvfb did not start"
export DISPLAY=":$display" XAUTHORITY="$work/client-auth"
xauth -q add "$DISPLAY" . "$cookie"
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"

status=0
"$@" || status=$?
exit "$status"
