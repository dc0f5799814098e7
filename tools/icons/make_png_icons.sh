#!/usr/bin/env bash
# Renders the organiser's SVG icon into the PNG sizes the desktop looks for,
# packaging/icons/<size>/org.tarvokline.Tarvokline.png. Their output is
# committed; run this again after changing the SVG (needs rsvg-convert,
# Debian's librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../../packaging/icons"
svg=org.tarvokline.Tarvokline.svg
for size in 16 24 32 48 64 128 256; do
  mkdir -p "$size"
  rsvg-convert -w "$size" -h "$size" -o "$size/org.tarvokline.Tarvokline.png" "$svg"
done
