#!/usr/bin/env bash
# Installs the Debian 12 packages SiteVigil needs (skips what is there).
#   bash scripts/setup.sh          what building and running the program need (start.sh)
#   bash scripts/setup.sh --test   that, and what the tests, the sanitizer build and fuzzing need
# A new dependency goes into the one list that needs it.
set -euo pipefail

# Building and running the program.
build_packages=(g++ cmake ninja-build pkg-config
                qt6-base-dev qt6-qpa-plugins qt6-multimedia-dev qt6-translations-l10n
                libgl-dev libxcb1-dev zlib1g-dev libcurl4-openssl-dev libgumbo-dev libdtl-dev
                fonts-noto-cjk xdg-utils)

# Only the tests, benchmarks, sanitizers and fuzzing (scripts/test.sh, scripts/fuzz.sh).
test_packages=(git ccache clang clang-format libclang-rt-14-dev lld
               xvfb xauth xdotool imagemagick desktop-file-utils curl dbus systemd)

packages=("${build_packages[@]}")
[ "${1:-}" = "--test" ] && packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
