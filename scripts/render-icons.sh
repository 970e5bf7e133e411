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
# The program's icon in the sizes a desktop menu asks for, for scripts/install-desktop.sh.
for size in 16 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    convert -background none -density $((size * 6)) svg/sitevigil.svg -filter Lanczos \
        -resize "${size}x${size}" -depth 8 -strip "PNG32:hicolor/${size}x${size}/apps/sitevigil.png"
done
mkdir -p hicolor/scalable/apps
cp svg/sitevigil.svg hicolor/scalable/apps/sitevigil.svg
