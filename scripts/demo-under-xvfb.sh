#!/usr/bin/env bash
# Runs inside xvfb-run: starts Mivora, clicks "接続" like a person would, saves a screenshot.
set -euo pipefail
mivora=$1
shot=$2
"$mivora" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
window=""
for _ in $(seq 100); do
  window=$(xdotool search --name 'オブジェクト管理' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the main window did not appear" >&2; exit 1; }
sleep 0.5
# cmdConnect lies at (704, 8), 129 x 33 px, in the client area.
xdotool mousemove --window "$window" 768 24 click 1
sleep 2
import -window "$window" "$shot"
