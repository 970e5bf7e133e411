#!/usr/bin/env bash
# Puts SiteVigil on the desktop of the user who runs it (no root needed): a menu entry, the
# icon in the hicolor theme, with --autostart a start at every login, and with --every a run
# in the background every so many minutes (a systemd user timer).
#   bash scripts/install-desktop.sh [PROGRAM_FOLDER] [--autostart] [--every MINUTES] [--remove]
# PROGRAM_FOLDER defaults to ./program (what scripts/start.sh lays out). --every takes 5 to
# 1440 minutes, or 0 to take the timer away; without --every the timer stays as it is.
# --remove takes away the entry, the autostart entry, the timer and the icons, and nothing else.
set -euo pipefail

usage() {
    echo "usage: $0 [PROGRAM_FOLDER] [--autostart] [--every MINUTES] [--remove]" >&2
    exit 2
}

folder=""
autostart=0
remove=0
every=""
every_given=0
while [ $# -gt 0 ]; do
    case "$1" in
    --autostart) autostart=1 ;;
    --remove) remove=1 ;;
    --every)
        [ $# -ge 2 ] || { echo "--every needs a number of minutes (5 to 1440, or 0 for off)" >&2; exit 2; }
        every="$2"
        every_given=1
        shift
        ;;
    --every=*) every="${1#--every=}"; every_given=1 ;;
    -h | --help) usage ;;
    -*) usage ;;
    *) [ -z "$folder" ] || usage; folder="$1" ;;
    esac
    shift
done
given_folder="${folder:-./program}"
[ -n "$folder" ] || folder="./program"
bad_every() {
    echo "--every takes whole minutes from 5 to 1440, or 0 to turn the timer off: $every" >&2
    exit 2
}
if [ "$every_given" -eq 1 ]; then
    case "$every" in "" | *[!0-9]* | ?????*) bad_every ;; esac
    every=$((10#$every))
    [ "$every" -eq 0 ] || { [ "$every" -ge 5 ] && [ "$every" -le 1440 ]; } || bad_every
fi

data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
config_home="${XDG_CONFIG_HOME:-$HOME/.config}"
entry_name="sitevigil.desktop"
menu_entry="$data_home/applications/$entry_name"
autostart_entry="$config_home/autostart/$entry_name"
icon_root="$data_home/icons/hicolor"
unit_dir="$config_home/systemd/user"
timer_unit="$unit_dir/sitevigil.timer"
service_unit="$unit_dir/sitevigil.service"
icon_sizes=(16 32 48 64 128 256)
icon_files=("scalable/apps/sitevigil.svg")
for size in "${icon_sizes[@]}"; do
    icon_files+=("${size}x${size}/apps/sitevigil.png")
done

# A user manager that answers: the timer can be switched on and off at once.
user_manager() {
    command -v systemctl >/dev/null && systemctl --user show-environment >/dev/null 2>&1
}

remove_timer() {
    [ -e "$timer_unit" ] || [ -e "$service_unit" ] || return 0
    if user_manager; then
        systemctl --user disable --now sitevigil.timer >/dev/null 2>&1 || true
    fi
    rm -f "$timer_unit" "$service_unit" "$unit_dir/timers.target.wants/sitevigil.timer"
    rmdir "$unit_dir/timers.target.wants" "$unit_dir" "$(dirname "$unit_dir")" 2>/dev/null || true
    if user_manager; then
        systemctl --user daemon-reload >/dev/null 2>&1 || true
    fi
    echo "Timer removed."
}

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
    rmdir "$(dirname "$autostart_entry")" 2>/dev/null || true
    remove_timer
    for icon in "${icon_files[@]}"; do
        rm -f "$icon_root/$icon"
        # The size folders go too when nothing else is in them.
        rmdir "$(dirname "$icon_root/$icon")" "$(dirname "$(dirname "$icon_root/$icon")")" \
            2>/dev/null || true
    done
    # So do the theme folders, unless they hold more than a cache.
    if [ -d "$icon_root" ] && [ -z "$(ls -A "$icon_root" | grep -vx 'icon-theme.cache')" ]; then
        rm -f "$icon_root/icon-theme.cache"
        rmdir "$icon_root" "$(dirname "$icon_root")" 2>/dev/null || true
    fi
    refresh_caches
    # With no entry left, the menu folder's cache describes nothing.
    apps="$data_home/applications"
    if [ -d "$apps" ] && ! compgen -G "$apps/*.desktop" >/dev/null; then
        rm -f "$apps/mimeinfo.cache"
        rmdir "$apps" 2>/dev/null || true
    fi
    echo "SiteVigil removed from the menu, the autostart folder, the timer and the icon theme."
    exit 0
fi

folder="$(cd "$folder" 2>/dev/null && pwd)" || {
    echo "Program folder not found: $given_folder (run scripts/start.sh first)" >&2
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
# program's absolute path instead. Names, comments, keywords and actions come from the shipped
# entry; the action that opens the settings passes --settings.
write_entry() {
    local target="$1" temp
    mkdir -p "$(dirname "$target")"
    temp="$(mktemp "$(dirname "$target")/.sitevigil-desktop.XXXXXX")"
    ENTRY_TRYEXEC="$(string_value "$program")" ENTRY_EXEC="$exec_value" \
        ENTRY_PATH="$(string_value "$folder")" awk '
        /^#/ { next }
        /^\[/ { group = $0 }
        group == "[Desktop Entry]" && /^(TryExec|Path)=/ { next }
        group == "[Desktop Entry]" && /^Exec=/ {
            print "TryExec=" ENVIRON["ENTRY_TRYEXEC"]
            print "Exec=" ENVIRON["ENTRY_EXEC"]
            print "Path=" ENVIRON["ENTRY_PATH"]
            next
        }
        group == "[Desktop Action Settings]" && /^Exec=/ {
            print "Exec=" ENVIRON["ENTRY_EXEC"] " --settings"
            next
        }
        { print }
    ' "$template" >"$temp"
    chmod 644 "$temp"
    mv -f "$temp" "$target"
}

# The service starts the program from its folder with --background; the timer starts the
# service every $every minutes by the clock, and catches up a run missed while the computer
# was off (Persistent=true).
calendar_lines() {
    local t
    if [ "$every" -lt 60 ] && [ $((60 % every)) -eq 0 ]; then
        echo "OnCalendar=*-*-* *:00/$every:00"
    elif [ $((every % 60)) -eq 0 ] && [ $((1440 % every)) -eq 0 ]; then
        echo "OnCalendar=*-*-* 00/$((every / 60)):00:00"
    else
        # No repetition within an hour or a day fits: each time of the day, from midnight.
        for ((t = 0; t < 1440; t += every)); do
            printf 'OnCalendar=*-*-* %02d:%02d:00\n' $((t / 60)) $((t % 60))
        done
    fi
}

write_unit() {
    local target="$1" temp
    temp="$(mktemp "$unit_dir/.sitevigil-unit.XXXXXX")"
    cat >"$temp"
    chmod 644 "$temp"
    mv -f "$temp" "$target"
}

write_timer() {
    # systemd refuses a program path with quotes, $ or \ in ExecStart; the working directory
    # takes any path, so the program is started from there. Only % is special in it.
    local directory="${folder//%/%%}"
    case "$folder" in
    *[[:space:]]) echo "systemd cannot take a folder whose name ends in a blank: $folder" >&2; exit 1 ;;
    esac
    mkdir -p "$unit_dir"
    write_unit "$service_unit" <<UNIT
[Unit]
Description=SiteVigil: check the web pages

[Service]
Type=exec
WorkingDirectory=$directory
ExecStart=/bin/sh -c "exec ./SiteVigil --background"
UNIT
    write_unit "$timer_unit" <<UNIT
[Unit]
Description=SiteVigil: check the web pages every $every minutes

[Timer]
$(calendar_lines)
Persistent=true

[Install]
WantedBy=timers.target
UNIT
    echo "Timer: $timer_unit (every $every minutes)"
    if user_manager && systemctl --user daemon-reload &&
        systemctl --user enable --now sitevigil.timer >/dev/null 2>&1; then
        echo "The timer is on."
    else
        echo "No user manager answered; switch the timer on in your desktop session with:"
        echo "  systemctl --user daemon-reload && systemctl --user enable --now sitevigil.timer"
    fi
    echo "The check needs no display: without one, a run with changes sends its notification"
    echo "alone (open SiteVigil to see the list). The window appears only where the user"
    echo "manager knows the desktop's display; most desktops pass it, or run once per session:"
    echo "  systemctl --user import-environment DISPLAY WAYLAND_DISPLAY XAUTHORITY"
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
elif [ -e "$autostart_entry" ]; then
    # Installing again without --autostart turns it off; an earlier --autostart is not kept.
    rm -f "$autostart_entry"
    rmdir "$(dirname "$autostart_entry")" 2>/dev/null || true
    echo "The start at login is now off (give --autostart again to keep it)."
fi
refresh_caches
if [ "$every" = 0 ]; then
    remove_timer
elif [ -n "$every" ]; then
    write_timer
fi
echo "Undo with: bash $0 --remove"
