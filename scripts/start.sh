#!/usr/bin/env bash
# Sets up, builds in Release, lays out the program folder ./program and starts SiteVigil.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSITEVIGIL_BENCH=OFF
cmake --build build/release
cmake --install build/release --prefix "$PWD/program"
echo "Program folder: $PWD/program"
echo "Menu entry and start at login: bash scripts/install-desktop.sh [--autostart]"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found. To run SiteVigil on a virtual display:"
    echo "    xvfb-run -a -s '-screen 0 1024x768x24' $PWD/program/SiteVigil"
    exit 0
fi
exec "$PWD/program/SiteVigil"
