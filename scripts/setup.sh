#!/usr/bin/env bash
# Installs the Debian 12 packages SiteVigil needs to build, run and test (skips what is there).
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config git
          qt6-base-dev qt6-qpa-plugins qt6-multimedia-dev qt6-translations-l10n libgl-dev zlib1g-dev
          fonts-noto-cjk xvfb xauth xdotool imagemagick xdg-utils desktop-file-utils curl
          ccache clang libclang-rt-14-dev
          libgumbo-dev libdtl-dev)
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
