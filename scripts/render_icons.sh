#!/bin/sh
# Renders the program icon's PNG sizes from data/icons/dalvenor.svg (needs rsvg-convert from
# librsvg2-bin). Run from anywhere; the PNGs are written beside the SVG.
set -eu
icons="$(cd "$(dirname "$0")/../data/icons" && pwd)"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio \
        --output "$icons/dalvenor-$size.png" "$icons/dalvenor.svg"
done
