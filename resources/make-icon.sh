#!/usr/bin/env bash
# Draws the program icon (a page holding three small pictures) at 32 x 32 and 16 x 16 and writes
# resources/tablorin.ico.  Usage: resources/make-icon.sh [OUTPUT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/tablorin.ico}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# 32 x 32: a white page with a folded corner, three pictures stacked down the page.
convert -size 32x32 xc:none \
  -fill white -stroke '#2b4f8c' -strokewidth 1 \
  -draw 'polygon 5.5,1.5 21.5,1.5 27.5,7.5 27.5,30.5 5.5,30.5' \
  -fill '#c9d6ee' -draw 'polygon 21.5,1.5 21.5,7.5 27.5,7.5' \
  -stroke none \
  -fill '#7fb8f0' -draw 'rectangle 8,4 19,10' \
  -fill '#3f9a3f' -draw 'polygon 8,10 12,6 15,9 17,7 19,10' \
  -fill '#f2a33a' -draw 'circle 17,5.5 17,6.5' \
  -fill '#7fb8f0' -draw 'rectangle 8,13 24,19' \
  -fill '#3f9a3f' -draw 'polygon 8,19 13,14 17,18 20,15 24,19' \
  -fill '#f2a33a' -draw 'circle 21,14.5 21,15.5' \
  -fill '#7fb8f0' -draw 'rectangle 8,22 24,28' \
  -fill '#3f9a3f' -draw 'polygon 8,28 11,24 15,27 19,23 24,28' \
  -fill '#e8556b' -draw 'circle 12,23.5 12,24.5' \
  "$tmp/32.png"

# 16 x 16: the same page with two pictures, drawn for the small size rather than scaled down.
convert -size 16x16 xc:none \
  -fill white -stroke '#2b4f8c' -strokewidth 1 \
  -draw 'polygon 2.5,0.5 10.5,0.5 13.5,3.5 13.5,15.5 2.5,15.5' \
  -stroke none \
  -fill '#7fb8f0' -draw 'rectangle 4,3 11,7' \
  -fill '#3f9a3f' -draw 'polygon 4,7 7,4 9,6 11,5 11,7' \
  -fill '#7fb8f0' -draw 'rectangle 4,9 11,13' \
  -fill '#3f9a3f' -draw 'polygon 4,13 6,10 8,12 11,10 11,13' \
  "$tmp/16.png"

convert "$tmp/32.png" "$tmp/16.png" "$out"
echo "wrote $out"
