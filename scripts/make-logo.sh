#!/usr/bin/env bash
# Makes the main window's logo (src/shell/logo.jpg): 158x52 colour JPEG, dark lettering on white,
# and the same at twice the size (logo@2x.jpg) for screens scaled by 2. Then the menu icons in
# packaging/icons from the hand-drawn mivora.svg (rsvg-convert, Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
logo() {
  convert -size "$1" xc:white -font DejaVu-Sans-Bold -pointsize "$2" -fill '#1c2e5c' -gravity center \
    -annotate +0+0 'Mivora' -type TrueColor -strip -quality 92 "$3"
}
logo 158x52 34 src/shell/logo.jpg
logo 316x104 68 src/shell/logo@2x.jpg
for size in 48 128 256; do
  rsvg-convert -w "$size" -h "$size" packaging/icons/mivora.svg -o "packaging/icons/mivora-$size.png"
done
