#!/usr/bin/env bash
# Draws the program's icon (16, 32 and 48 pixels) and the About box banner with ImageMagick.
# The results are committed; run this again only to change them.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A blue tile with a white tick, drawn large and scaled down for each size.
convert -size 192x192 xc:none -fill '#1f5fa8' -draw 'roundrectangle 8,8 183,183 32,32' \
    -fill none -stroke white -strokewidth 26 \
    -draw 'stroke-linecap round stroke-linejoin round polyline 48,100 82,134 146,62' "$work/tile.png"
for size in 16 32 48; do
    convert "$work/tile.png" -resize "${size}x${size}" "$work/tile$size.png"
done
convert "$work/tile16.png" "$work/tile32.png" "$work/tile48.png" notarix.ico

# The banner: a band of the tile's blue with the tick at its left, as a 256-colour bitmap.
convert -size 440x56 gradient:'#1f5fa8-#8fbce6' \
    \( "$work/tile.png" -resize 40x40 \) -geometry +12+8 -composite \
    -fill none -stroke white -strokewidth 2 -draw 'line 64,28 424,28' \
    -alpha off -colors 64 -type Palette -compress None BMP3:banner.bmp
