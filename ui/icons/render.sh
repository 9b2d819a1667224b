#!/bin/sh
# Regenerates the window icon's bitmaps from morvane.svg (needs rsvg-convert,
# Debian package librsvg2-bin). Run after editing the SVG; the PNGs are kept
# in the repository so that building needs no SVG renderer.
set -eu
cd "$(dirname "$0")"
for size in 48 64; do
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "morvane-$size.png" morvane.svg
done
