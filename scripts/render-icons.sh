#!/usr/bin/env bash
# Renders the program's icon (data/icons/tembrel.svg) into the PNG sizes of the hicolor
# theme under data/icons/hicolor; run it after changing the drawing and commit the PNGs.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin"; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
  out="$top/data/icons/hicolor/${size}x${size}/apps"
  mkdir -p "$out"
  rsvg-convert -w "$size" -h "$size" "$top/data/icons/tembrel.svg" -o "$out/tembrel.png"
done
