#!/bin/sh
# Makes the window's pictures (committed; rerun only to change them). Needs ImageMagick.
set -eu
cd "$(dirname "$0")"
# The panel backdrop: one light violet, baseline JPEG.
convert -size 320x293 'xc:rgb(219,186,215)' -interlace none -quality 92 -sampling-factor 1x1 panel.jpg
# The About photograph: a seeded plasma sky over a darker hill line, blurred like a lens would.
convert -size 400x195 -seed 1723 plasma:skyblue-white \
    \( -size 400x60 gradient:'#4a6b3a'-'#2c4020' \) -gravity south -composite \
    -blur 0x0.8 -interlace none -quality 88 about.jpg
# The icon: a film reel, 32 x 32 with transparency.
convert -size 32x32 xc:none -fill '#5b3a8c' -draw 'circle 16,16 16,1' \
    -fill '#dbbad7' -draw 'circle 16,8 16,5' -draw 'circle 16,24 16,21' \
    -draw 'circle 8,16 8,13' -draw 'circle 24,16 24,13' \
    -fill '#f3e6f1' -draw 'circle 16,16 16,14' PNG32:reelwick.png
