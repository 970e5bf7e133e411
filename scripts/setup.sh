#!/usr/bin/env bash
# Installs the Debian 12 packages SiteVigil needs (skips what is there).
#   bash scripts/setup.sh               building and running the program (start.sh)
#   bash scripts/setup.sh --test        that, and the tests, sanitizer build, fuzzing and
#                                       benchmarks (test.sh, fuzz.sh, bench/)
#   bash scripts/setup.sh --xvfb        that, and a virtual display (start.sh --xvfb)
#   bash scripts/setup.sh --screenshots that, and what take-screenshots.sh and render-icons.sh use
# A new dependency goes into the one list that needs it.
set -euo pipefail

# Building and running the program.
build_packages=(g++ cmake ninja-build pkg-config
                qt6-base-dev qt6-qpa-plugins qt6-multimedia-dev qt6-translations-l10n
                libgl-dev libxcb1-dev zlib1g-dev libcurl4-openssl-dev libgumbo-dev libdtl-dev
                libpcre2-dev fonts-noto-cjk xdg-utils)

# The tests and the rest of scripts/test.sh: git (format check), ccache and lld (build
# speed), clang, clang-format and libclang-rt-14-dev (format check, fuzzing),
# desktop-file-utils and systemd (the install-desktop test checks the entries and units),
# dbus (the notification tests run a bus of their own), curl (bench_checkrun compares with it).
test_packages=(git ccache lld clang clang-format libclang-rt-14-dev
               desktop-file-utils systemd dbus curl)

# A virtual display for the window where there is none.
xvfb_packages=(xvfb xauth)

# Pictures: the screenshots under docs/ (a virtual display, a window manager, clicks and
# window grabs) and the icons rendered from resources/svg.
screenshot_packages=("${xvfb_packages[@]}" openbox xdotool imagemagick)

packages=("${build_packages[@]}")
for option in "$@"; do
    case "$option" in
    --test) packages+=("${test_packages[@]}") ;;
    --xvfb) packages+=("${xvfb_packages[@]}") ;;
    --screenshots) packages+=("${screenshot_packages[@]}") ;;
    *) echo "usage: $0 [--test] [--xvfb] [--screenshots]" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "These packages are missing, and installing them needs root (there is no sudo):" >&2
        echo "  ${missing[*]}" >&2
        echo "Install them as root, for example with:" >&2
        echo "  su -c 'apt-get update && apt-get install -y ${missing[*]}'" >&2
        echo "then run this script again." >&2
        exit 1
    fi
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
