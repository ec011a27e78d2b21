#!/bin/bash
# Draws the application icon (a play triangle on a rounded violet tile) at 16,
# 32 and 48 pixels and packs the three images into res/RIZezuvu.ico.
# Needs ImageMagick and icoutils (tools/setup.sh installs both).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 16 32 48; do
  # Drawn at 8x and scaled down for smooth edges.
  big=$((size * 8))
  r=$((big / 6))
  convert -size ${big}x${big} xc:none \
    -fill '#5b2a86' -draw "roundrectangle 0,0 $((big - 1)),$((big - 1)) $r,$r" \
    -fill '#f4b000' -draw "polygon $((big * 36 / 100)),$((big * 26 / 100)) $((big * 36 / 100)),$((big * 74 / 100)) $((big * 76 / 100)),$((big / 2))" \
    -resize ${size}x${size} -depth 8 "PNG32:$work/icon$size.png"
done
icotool -c -o "$root/res/RIZezuvu.ico" "$work/icon16.png" "$work/icon32.png" "$work/icon48.png"
echo "wrote res/RIZezuvu.ico"
