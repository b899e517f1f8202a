#!/usr/bin/env bash
# Both windows at QT_SCALE_FACTOR=2 on a real X server (Xvfb): the layout scales as a whole (the
# main window is 2 x 837 x 557), every caption of the main window is drawn whole at twice its
# place, and the logo is the picture drawn at twice the size, not the small one blown up.
# Pictures go to <build>/screenshots-x2.
# Usage: check_hidpi.sh <build dir>
set -euo pipefail
support=$(cd "$(dirname "$0")/../support" && pwd)
xvfb=$support/with-xvfb.sh
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
out=$build/screenshots-x2
for tool in Xvfb xauth mcookie xdotool import convert compare identify; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done
rm -rf "$out"
mkdir -p "$out/app"
screen="-screen 0 2048x1536x24"
export QT_SCALE_FACTOR=2 QT_QPA_PLATFORM=xcb

# 1. The caption test at scale 2; its window pictures are in device pixels.
MIVORA_SCREENSHOT_DIR=$out "$xvfb" -s "$screen" "$build/tests/shell_test_CaptionGlyphs"
for pair in frmMain.png:1674x1114 frmDet-User.png:1122x990 frmDet-Group.png:1122x990; do
  got=$(identify -format '%wx%h' "$out/${pair%%:*}")
  [ "$got" = "${pair#*:}" ] || { echo "${pair%%:*} is $got, not ${pair#*:}"; exit 1; }
done

# 2. Mivora itself on the scaled screen.
cp "$build/Mivora" "$out/app/"
"$xvfb" -s "$screen" bash -euo pipefail -c '
  app=$1 out=$2
  source "$3"
  start_mivora "$app" "$out"
  # The window is mapped before Qt has drawn it: wait until the logo shows its ink.
  for _ in $(seq 100); do
    import -window root "$out/screen-Mivora-x2.png"
    ink=$(convert "$out/screen-Mivora-x2.png" -crop "316x104+$((X + 20))+$((Y + 20))" +repage \
      -colorspace Gray -format "%[fx:mean < 0.97 ? 1 : 0]" info:)
    [ "$ink" = 1 ] && break
    sleep 0.1
  done
  # "終了": 129 x 33 at (704, 88), times two.
  quit_mivora $((X + 1536)) $((Y + 208))
' check "$out/app" "$out" "$support/run-mivora.sh"

read -r X Y WIDTH HEIGHT <"$out/geometry.txt"
[ "$WIDTH" = 1674 ] && [ "$HEIGHT" = 1114 ] || { echo "main window is ${WIDTH}x$HEIGHT, not 1674x1114"; exit 1; }
shot=$out/screen-Mivora-x2.png
convert "$shot" -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$out/frmMain-screen-x2.png"

# A caption is whole when its ink keeps clear of the edges of the area it is drawn in: a cut
# caption runs into them. Areas are the layout's, times two; buttons lose their frame (6 px).
whole() { # name left top width height
  local name=$1 left=$2 top=$3 width=$4 height=$5 box w h x y
  convert "$out/frmMain-screen-x2.png" -crop "${width}x$height+$left+$top" +repage "$out/$name.png"
  box=$(convert "$out/$name.png" -colorspace Gray -threshold 45% -format '%@' info:)
  IFS='x+' read -r w h x y <<<"$box"
  [ "$w" -lt "$width" ] && [ "$h" -lt "$height" ] || { echo "$name draws no caption ($box)"; exit 1; }
  [ "$w" -ge 8 ] && [ "$h" -ge 8 ] || { echo "$name caption too small ($box)"; exit 1; }
  [ $((x + w)) -lt "$width" ] && [ $((y + h)) -lt "$height" ] && [ "$y" -gt 0 ] \
    || { echo "$name caption is cut off ($box in ${width}x$height)"; exit 1; }
  echo "$name: caption $box in ${width}x$height"
}
whole Label1 944 16 98 34
whole Label2 944 64 98 34
whole Label3 944 112 98 34
whole cmdConnect $((1408 + 6)) $((16 + 6)) $((258 - 12)) $((66 - 12))
whole cmdDisConect $((1408 + 6)) $((96 + 6)) $((258 - 12)) $((66 - 12))
whole cmdClose $((1408 + 6)) $((176 + 6)) $((258 - 12)) $((66 - 12))

# The logo: inside the 2 px sunken border of Picture1 at (8, 8), times two.
convert "$out/frmMain-screen-x2.png" -crop "316x104+20+20" +repage "$out/logo-shown.png"
convert "$src/src/shell/logo.jpg" -filter point -resize 200% "$out/logo-blown-up.png"
# compare exits 1 when the pictures differ at all: only its figure counts here.
rmse() { { compare -metric RMSE "$1" "$2" null: 2>&1 || true; } | sed -E 's/.*\((.*)\)/\1/'; }
sharp=$(rmse "$out/logo-shown.png" "$src/src/shell/logo@2x.jpg")
blown=$(rmse "$out/logo-shown.png" "$out/logo-blown-up.png")
echo "logo: difference from the 2x picture $sharp, from the 1x picture blown up $blown"
awk -v s="$sharp" -v b="$blown" 'BEGIN { exit !(s < 0.02 && s * 3 < b) }' || { echo "the logo is not the sharp one"; exit 1; }
echo "screenshots in $out"
