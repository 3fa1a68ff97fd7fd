#!/usr/bin/env bash
# Draws the version window's picture (a page holding three pictures, and a star) as a small JPEG.
# Usage: make-about-picture.sh [OUTPUT]   (default resources/about.jpg)
set -euo pipefail
out=${1:-"$(dirname "$0")/../resources/about.jpg"}
convert -size 132x116 gradient:'#7ec8f0-#2a6fb8' \
  -fill '#00000040' -draw "rectangle 40,14 104,106" \
  -fill white -stroke '#1b3f6b' -strokewidth 2 -draw "rectangle 34,8 98,100" \
  -stroke none -fill '#f2a33a' -draw "rectangle 42,16 90,38" \
  -fill '#5cb85c' -draw "rectangle 42,44 90,66" \
  -fill '#e05a7a' -draw "rectangle 42,72 90,94" \
  -fill '#fff6b0' -draw "circle 52,24 55,24" \
  -fill '#ffffff' -draw "polygon 44,37 56,27 64,33 74,24 88,37" \
  -fill '#ffd84a' -stroke '#8a5a00' -strokewidth 1 \
  -draw "polygon 108,58 113,70 126,70 116,78 120,91 108,83 96,91 100,78 90,70 103,70" \
  -interlace none -sampling-factor 2x2 -strip -quality 82 "$out"
echo "$out: $(stat -c %s "$out") bytes"
