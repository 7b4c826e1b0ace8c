#!/usr/bin/env bash
# Draws the program's icon (a stack of three exposures of a starry sky, the
# sum on top) with ImageMagick and writes it at the hicolor theme's sizes.
# Run it again after changing the drawing; its PNGs are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")"
big=$(mktemp --suffix=.png)
trap 'rm -f "$big"' EXIT
args=(-size 256x256 xc:none -fill '#0b1226' -stroke none -draw 'roundrectangle 4,4 251,251 40,40')
for xy in "26 30" "52 56" "80 82"; do  # the exposures, each a dark card with a faint rim
    set -- $xy
    args+=(-fill '#101a33' -stroke '#6c7fb0' -strokewidth 4
           -draw "roundrectangle $1,$2 $(($1 + 150)),$(($2 + 150)) 14,14")
done
args+=(-stroke none
       -fill '#fff6d8' -draw 'circle 155,157 155,140'
       -fill '#ffd27a' -draw 'circle 155,157 155,148'
       -fill '#ffffff' -draw 'circle 110,110 110,105'
       -fill '#bcd4ff' -draw 'circle 200,118 200,114'
       -fill '#ffffff' -draw 'circle 118,205 118,201'
       -fill '#ffb0a0' -draw 'circle 205,208 205,205'
       -stroke '#fff6d8' -strokewidth 3 -draw 'line 155,122 155,192' -draw 'line 120,157 190,157')
convert "${args[@]}" "$big"
for size in 48 128 256; do
    mkdir -p "icons/${size}x${size}"
    convert "$big" -resize "${size}x${size}" -strip "icons/${size}x${size}/velmora.png"
done
