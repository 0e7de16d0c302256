#!/usr/bin/env bash
# Renders the application icon's PNG sizes from data/icons/stepwright.svg.
# The PNGs are kept in the repository, so building needs no SVG renderer; run
# this (it needs rsvg-convert, package librsvg2-bin) after changing the SVG.
set -euo pipefail
dir="$(cd "$(dirname "$0")/../data/icons" && pwd)"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$dir/stepwright.svg" -o "$dir/stepwright-$size.png"
done
