#!/usr/bin/env bash
# Draws the publisher's wordmark for the loading screen: a small lighthouse
# with its beam and "Fyrel" beside it, on the screen's own 0x333333 so the
# logo's rectangle does not show. Writes a 235 x 100, 8-bit palettized BMP
# (BMP3, as LoadBitmapA expects).
#   tools/logo/make_logo.sh [output]   (default: resources/logo.bmp)
# Needs ImageMagick and the DejaVu fonts.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../resources/logo.bmp}
font=${FYREL_LOGO_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf}

background='#333333'
lime='#ccff00'   # the screen's text colour
white='#f2f2f2'

convert -size 235x100 "xc:$background" \
  -fill "$lime" -stroke none \
  -draw "polygon 46,31 112,16 112,40" \
  -fill "$white" \
  -draw "polygon 30,86 36,36 44,36 50,86" \
  -draw "rectangle 33,26 47,36" \
  -draw "polygon 31,26 40,17 49,26" \
  -fill "$lime" -draw "rectangle 36,28 44,34" \
  -fill "$background" -draw "rectangle 34,50 46,55" -draw "rectangle 32,66 48,71" \
  -fill "$white" -draw "rectangle 22,86 58,90" \
  -font "$font" -pointsize 46 -fill "$white" -annotate +66+78 'Fyrel' \
  -fill "$lime" -draw "rectangle 68,86 205,88" \
  +dither -colors 64 -type Palette -define bmp:format=bmp3 -compress none "BMP3:$out"
