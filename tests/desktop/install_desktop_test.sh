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
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" HOME="$tmp/home"
# No user manager of this machine is reached: the units are only written.
export XDG_RUNTIME_DIR="$tmp/run"
unset DBUS_SESSION_BUS_ADDRESS
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"
fail() { echo "FAIL: $*" >&2; exit 1; }

report="$(desktop-file-validate "$(dirname "$0")/../../resources/sitevigil.desktop" 2>&1)" ||
    fail "shipped entry: $report"
[ -z "$report" ] || fail "shipped entry: $report"

for bad in 4 1441 abc ""; do
    if bash "$script" "$folder" --every "$bad" >/dev/null 2>&1; then fail "--every '$bad' accepted"; fi
done
[ ! -e "$XDG_DATA_HOME" ] && [ ! -e "$XDG_CONFIG_HOME" ] || fail "a refused --every wrote files"

bash "$script" "$folder" --autostart --every 30 >/dev/null
units="$XDG_CONFIG_HOME/systemd/user"
grep -qxF "WorkingDirectory=$folder" "$units/sitevigil.service" || fail "service's folder"
grep -q '^ExecStart=.*SiteVigil --background"$' "$units/sitevigil.service" || fail "ExecStart"
grep -qxF "Persistent=true" "$units/sitevigil.timer" || fail "timer not persistent"
if command -v systemd-analyze >/dev/null; then
    report="$(systemd-analyze --user verify "$units/sitevigil.timer" "$units/sitevigil.service" 2>&1)" ||
        fail "systemd-analyze verify: $report"
fi
for entry in "$XDG_DATA_HOME/applications/sitevigil.desktop" \
             "$XDG_CONFIG_HOME/autostart/sitevigil.desktop"; do
    [ -f "$entry" ] || fail "missing $entry"
    report="$(desktop-file-validate "$entry" 2>&1)" || fail "invalid $entry: $report"
    [ -z "$report" ] || fail "$entry: $report"
    grep -qxF "Exec=\"$folder/SiteVigil\"" "$entry" || fail "Exec of $entry: $(grep ^Exec= "$entry")"
    grep -qxF "Path=$folder" "$entry" || fail "Path of $entry"
    grep -qxF "Exec=\"$folder/SiteVigil\" --settings" "$entry" || fail "settings action of $entry"
    grep -q '^Name\[ja\]=\|^GenericName\[ja\]=' "$entry" || fail "no Japanese name in $entry"
done
[ -x "$folder/SiteVigil" ] || fail "no program at $folder/SiteVigil"
for size in 16 32 48 64 128 256; do
    [ -f "$XDG_DATA_HOME/icons/hicolor/${size}x${size}/apps/sitevigil.png" ] || fail "icon $size"
done
[ -f "$XDG_DATA_HOME/icons/hicolor/scalable/apps/sitevigil.svg" ] || fail "scalable icon"

# Installing again without --autostart says that the start at login is off.
out="$(bash "$script" "$folder" --every 30)"
[ ! -e "$XDG_CONFIG_HOME/autostart/sitevigil.desktop" ] || fail "autostart kept"
grep -q "start at login is now off" <<<"$out" || fail "autostart turned off silently: $out"

bash "$script" --remove >/dev/null
left="$(find "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" -mindepth 1 2>/dev/null)"
[ -z "$left" ] || fail "left after --remove: $left"
echo "install-desktop: passed"
