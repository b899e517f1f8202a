#!/usr/bin/env bash
# Both windows on a real X server (Xvfb): keeps PNG pictures under <build>/screenshots and checks
# that the Japanese captions are drawn as glyphs and the list's columns keep their widths. Then
# runs Mivora itself: start, picture of the screen, a real click on "終了", and data.ini must hold
# what the load step read.
# Usage: check_screenshots.sh <build dir>
set -euo pipefail
support=$(cd "$(dirname "$0")/../support" && pwd)
xvfb=$support/with-xvfb.sh
build=$(cd "$1" && pwd)
out=$build/screenshots
for tool in Xvfb xauth mcookie xdotool import compare convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"
screen="-screen 0 1280x1024x24"

# 1. The caption test on the real server (captions, column widths); it saves frmMain.png,
# frmDet-User.png, frmDet-Group.png.
MIVORA_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=xcb "$xvfb" -s "$screen" "$build/tests/shell_test_CaptionGlyphs"
for png in frmMain.png frmDet-User.png frmDet-Group.png; do
  [ -s "$out/$png" ] || { echo "no $png"; exit 1; }
done

# 2. Mivora itself, from a folder of its own so that its data.ini lands there.
app=$out/app
mkdir -p "$app"
cp "$build/Mivora" "$app/"
printf '[Data]\r\nDOMAIN=example.test\r\nACCOUNT=山田太郎\r\nPASSWORD=ひみつ\r\n' | iconv -f UTF-8 -t CP932 >"$app/data.ini"
cp "$app/data.ini" "$out/data.ini.before"

QT_QPA_PLATFORM=xcb "$xvfb" -s "$screen" bash -euo pipefail -c '
  app=$1 out=$2
  source "$3"
  start_mivora "$app" "$out"
  sleep 1
  import -window root "$out/screen-Mivora.png"
  # "終了": 129 x 33 at (704, 88) in the client area.
  quit_mivora $((X + 768)) $((Y + 104))
' check "$app" "$out" "$support/run-mivora.sh"

read -r X Y WIDTH HEIGHT <"$out/geometry.txt"
[ "$WIDTH" = 837 ] && [ "$HEIGHT" = 557 ] || { echo "main window is ${WIDTH}x$HEIGHT, not 837x557"; exit 1; }
cmp -s "$app/data.ini" "$out/data.ini.before" || { echo "data.ini changed across a run without edits"; exit 1; }

# The buttons' faces from the screen: a caption drawn as missing-glyph boxes would make
# "接続" and "切断" look alike, and a blank face has no spread of grey.
convert "$out/screen-Mivora.png" -crop "129x33+$((X + 704))+$((Y + 8))" +repage "$out/cmdConnect.png"
convert "$out/screen-Mivora.png" -crop "129x33+$((X + 704))+$((Y + 48))" +repage "$out/cmdDisConect.png"
convert "$out/screen-Mivora.png" -crop "169x18+$((X + 528))+$((Y + 32))" +repage "$out/txtAccount.png"
differ=$(compare -metric AE "$out/cmdConnect.png" "$out/cmdDisConect.png" null: 2>&1 || true)
[ "${differ%% *}" -gt 20 ] || { echo "接続 and 切断 are drawn alike ($differ pixels differ)"; exit 1; }
for face in cmdConnect txtAccount; do
  spread=$(convert "$out/$face.png" -colorspace Gray -format '%[fx:standard_deviation]' info:)
  awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }' || { echo "$face is blank (spread $spread)"; exit 1; }
done
echo "screenshots in $out"
