#!/usr/bin/env bash
# Renders the pictures under resources/svg into the PNGs the program compiles in
# (resources/icons). Needs ImageMagick. Drawn large, then scaled down for smooth edges.
set -euo pipefail
cd "$(dirname "$0")/../resources"
mkdir -p icons
for svg in svg/*.svg; do
    name=$(basename "$svg" .svg)
    if [ "$name" = sitevigil ]; then
        convert -background none -density 384 "$svg" -filter Lanczos -resize 64x64 \
            -depth 8 -strip "PNG32:icons/$name.png"
    else
        convert -background none -density 768 "$svg" -filter Lanczos -resize 16x16 \
            -depth 8 -strip "PNG32:icons/$name.png"
    fi
done
