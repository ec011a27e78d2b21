#!/bin/bash
# Draws the application icon (a play triangle on a rounded violet tile) at
# the sizes Windows asks for from 100 % to 300 % display scale (small icons
# 16 to 48 pixels, large ones 32 to 96) and packs them into res/RIZezuvu.ico.
# Needs ImageMagick and icoutils (tools/setup.sh installs both).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes="16 20 24 32 40 48 64 96"
for size in $sizes; do
  # Drawn at 8x and scaled down for smooth edges.
  big=$((size * 8))
  r=$((big / 6))
  convert -size ${big}x${big} xc:none \
    -fill '#5b2a86' -draw "roundrectangle 0,0 $((big - 1)),$((big - 1)) $r,$r" \
    -fill '#f4b000' -draw "polygon $((big * 36 / 100)),$((big * 26 / 100)) $((big * 36 / 100)),$((big * 74 / 100)) $((big * 76 / 100)),$((big / 2))" \
    -resize ${size}x${size} -depth 8 "PNG32:$work/icon$size.png"
done
images=()
for size in $sizes; do
  # The two largest are kept as PNG inside the icon (Vista on read them),
  # which keeps the program small.
  if [ "$size" -ge 64 ]; then images+=(-r); fi
  images+=("$work/icon$size.png")
done
icotool -c -o "$root/res/RIZezuvu.ico" "${images[@]}"
echo "wrote res/RIZezuvu.ico"
