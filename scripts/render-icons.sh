#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the application icon's PNGs from their SVG sources into data/icons/.
# The small sizes have drawings of their own, made on their pixel grid (the
# large drawing's bars blur into one another below 48 pixels); the large
# sizes are the scalable drawing. Run after changing an SVG, and commit both.
#   needs: apt-get install librsvg2-bin
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 24 32; do
  rsvg-convert -w "$size" -h "$size" "small-$size.svg" -o "$size.png"
done
for size in 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" io.github.tonfield.Tonfield.svg -o "$size.png"
done
