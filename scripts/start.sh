#!/usr/bin/env bash
# Sets up, builds in Release, lays out the program folder ./program and starts SiteVigil.
#   bash scripts/start.sh          the window on the desktop's display
#   bash scripts/start.sh --xvfb   where there is no display: installs xvfb and starts the
#                                  window on a virtual display
set -euo pipefail
cd "$(dirname "$0")/.."
xvfb=0
case "${1:-}" in
"") ;;
--xvfb) xvfb=1 ;;
*) echo "usage: $0 [--xvfb]" >&2; exit 2 ;;
esac
if [ "$xvfb" -eq 1 ]; then bash scripts/setup.sh --xvfb; else bash scripts/setup.sh; fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSITEVIGIL_BENCH=OFF
cmake --build build/release
cmake --install build/release --prefix "$PWD/program"
echo "Program folder: $PWD/program"
echo "Menu entry and start at login: bash scripts/install-desktop.sh [--autostart]"
virtual=(xvfb-run -a -s '-screen 0 1024x768x24' "$PWD/program/SiteVigil")
if [ "$xvfb" -eq 1 ]; then
    exec "${virtual[@]}"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found. The window needs one; a virtual display comes with the package xvfb:"
    echo "    bash scripts/start.sh --xvfb    (installs xvfb, then runs the line below)"
    echo "    xvfb-run -a -s '-screen 0 1024x768x24' $PWD/program/SiteVigil"
    echo "The check alone needs no display: $PWD/program/SiteVigil --background"
    exit 0
fi
exec "$PWD/program/SiteVigil"
