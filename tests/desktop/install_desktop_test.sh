#!/usr/bin/env bash
# Installs a program folder from the build, puts it on a throw-away desktop, validates the
# entries and removes them again. Arguments: the cmake command and the build folder.
set -euo pipefail
cmake_command="$1"
build="$2"
script="$(dirname "$0")/../../scripts/install-desktop.sh"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
folder="$tmp/my program"
"$cmake_command" --install "$build" --prefix "$folder" >/dev/null
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config"
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "$script" "$folder" --autostart >/dev/null
for entry in "$XDG_DATA_HOME/applications/sitevigil.desktop" \
             "$XDG_CONFIG_HOME/autostart/sitevigil.desktop"; do
    [ -f "$entry" ] || fail "missing $entry"
    report="$(desktop-file-validate "$entry" 2>&1)" || fail "invalid $entry: $report"
    [ -z "$report" ] || fail "$entry: $report"
    grep -qxF "Exec=\"$folder/SiteVigil\"" "$entry" || fail "Exec of $entry: $(grep ^Exec= "$entry")"
    grep -qxF "Path=$folder" "$entry" || fail "Path of $entry"
    grep -q '^Name\[ja\]=\|^GenericName\[ja\]=' "$entry" || fail "no Japanese name in $entry"
done
[ -x "$folder/SiteVigil" ] || fail "no program at $folder/SiteVigil"
for size in 16 32 48 64 128 256; do
    [ -f "$XDG_DATA_HOME/icons/hicolor/${size}x${size}/apps/sitevigil.png" ] || fail "icon $size"
done
[ -f "$XDG_DATA_HOME/icons/hicolor/scalable/apps/sitevigil.svg" ] || fail "scalable icon"

bash "$script" --remove >/dev/null
left="$(find "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" -type f 2>/dev/null)"
[ -z "$left" ] || fail "left after --remove: $left"
echo "install-desktop: passed"
