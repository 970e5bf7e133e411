#!/usr/bin/env bash
# Puts SiteVigil on the desktop of the user who runs it (no root needed): a menu entry, the
# icon in the hicolor theme and, with --autostart, a start at every login.
#   bash scripts/install-desktop.sh [PROGRAM_FOLDER] [--autostart] [--remove]
# PROGRAM_FOLDER defaults to ./program (what scripts/start.sh lays out). --remove takes away
# the entry, the autostart entry and the icons, and nothing else.
set -euo pipefail

usage() {
    echo "usage: $0 [PROGRAM_FOLDER] [--autostart] [--remove]" >&2
    exit 2
}

folder=""
autostart=0
remove=0
for arg in "$@"; do
    case "$arg" in
    --autostart) autostart=1 ;;
    --remove) remove=1 ;;
    -h | --help) usage ;;
    -*) usage ;;
    *) [ -z "$folder" ] || usage; folder="$arg" ;;
    esac
done
[ -n "$folder" ] || folder="./program"

data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
config_home="${XDG_CONFIG_HOME:-$HOME/.config}"
entry_name="sitevigil.desktop"
menu_entry="$data_home/applications/$entry_name"
autostart_entry="$config_home/autostart/$entry_name"
icon_root="$data_home/icons/hicolor"
icon_sizes=(16 32 48 64 128 256)
icon_files=("scalable/apps/sitevigil.svg")
for size in "${icon_sizes[@]}"; do
    icon_files+=("${size}x${size}/apps/sitevigil.png")
done

refresh_caches() {
    if command -v update-desktop-database >/dev/null && [ -d "$data_home/applications" ]; then
        update-desktop-database -q "$data_home/applications" || true
    fi
    # A theme folder without a cache is scanned directly; only a cache that is there must be
    # renewed, or it would hide the new icons.
    if command -v gtk-update-icon-cache >/dev/null && [ -f "$icon_root/icon-theme.cache" ]; then
        gtk-update-icon-cache -q -t -f "$icon_root" || true
    fi
}

if [ "$remove" -eq 1 ]; then
    rm -f "$menu_entry" "$autostart_entry"
    for icon in "${icon_files[@]}"; do
        rm -f "$icon_root/$icon"
        # The size folders go too when nothing else is in them.
        rmdir "$(dirname "$icon_root/$icon")" "$(dirname "$(dirname "$icon_root/$icon")")" \
            2>/dev/null || true
    done
    refresh_caches
    # With no entry left, the menu folder's cache describes nothing.
    apps="$data_home/applications"
    if [ -d "$apps" ] && ! compgen -G "$apps/*.desktop" >/dev/null; then
        rm -f "$apps/mimeinfo.cache"
        rmdir "$apps" 2>/dev/null || true
    fi
    echo "SiteVigil removed from the menu, the autostart folder and the icon theme."
    exit 0
fi

folder="$(cd "$folder" 2>/dev/null && pwd)" || {
    echo "Program folder not found: ${1:-./program} (run scripts/start.sh first)" >&2
    exit 1
}
program="$folder/SiteVigil"
template="$folder/sitevigil.desktop"
for needed in "$program" "$template" "$folder/icons/hicolor/scalable/apps/sitevigil.svg"; do
    [ -e "$needed" ] || { echo "Not a SiteVigil program folder (missing $needed)" >&2; exit 1; }
done
case "$folder" in
*[[:cntrl:]]*) echo "The program folder's path has control characters: $folder" >&2; exit 1 ;;
esac

# Exec takes a quoted argument: \ " ` $ escaped inside the quotes, % doubled; a string value
# then escapes each backslash once more.
quoted="$program"
quoted="${quoted//\\/\\\\}"
quoted="${quoted//\"/\\\"}"
quoted="${quoted//\`/\\\`}"
quoted="${quoted//\$/\\\$}"
quoted="${quoted//%/%%}"
exec_value="\"${quoted//\\/\\\\}\""
string_value() { local v="$1"; printf '%s' "${v//\\/\\\\}"; }

# The shipped entry finds the program through its own path; a copy elsewhere needs the
# program's absolute path instead. Names, comments and keywords come from the shipped entry.
write_entry() {
    local target="$1" temp
    mkdir -p "$(dirname "$target")"
    temp="$(mktemp "$(dirname "$target")/.sitevigil-desktop.XXXXXX")"
    {
        grep -v -e '^Exec=' -e '^TryExec=' -e '^Path=' -e '^#' "$template"
        echo "TryExec=$(string_value "$program")"
        echo "Exec=$exec_value"
        echo "Path=$(string_value "$folder")"
    } >"$temp"
    chmod 644 "$temp"
    mv -f "$temp" "$target"
}

for icon in "${icon_files[@]}"; do
    mkdir -p "$(dirname "$icon_root/$icon")"
    cp -f "$folder/icons/hicolor/$icon" "$icon_root/$icon"
done
write_entry "$menu_entry"
echo "Menu entry: $menu_entry"
if [ "$autostart" -eq 1 ]; then
    write_entry "$autostart_entry"
    echo "Starts at login: $autostart_entry"
else
    rm -f "$autostart_entry" # installing again without --autostart turns it off
fi
refresh_caches
echo "Undo with: bash $0 --remove"
