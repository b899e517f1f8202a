#!/usr/bin/env bash
# Makes the main window's logo (src/shell/logo.jpg): 158x52 colour JPEG, dark lettering on white.
cd "$(dirname "$0")/.." && convert -size 158x52 xc:white -font DejaVu-Sans-Bold -pointsize 34 -fill '#1c2e5c' -gravity center -annotate +0+0 'Mivora' -type TrueColor -strip -quality 92 src/shell/logo.jpg
