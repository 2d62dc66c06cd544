#!/usr/bin/env bash
# Prints the items of the context menu that pcmanfm, Debian's stock file manager, shows
# for the files of FOLDER, as its accessibility interface tells them. Runs pcmanfm in a
# D-Bus session of its own on the display in DISPLAY, selects every file, opens the menu
# with the keyboard and reads it; tries again while the folder is still loading.
# Usage: file_manager_menu.sh FOLDER   (HOME and the XDG folders: the user's)
set -u
if [ "$1" != --in-session ]; then
    export GTK_MODULES=gail:atk-bridge NO_AT_BRIDGE=0
    exec dbus-run-session -- bash "$0" --in-session "$@"
fi
folder=$2
pcmanfm --no-desktop "$folder" >/dev/null 2>&1 &
manager=$!
trap 'kill "$manager" 2>/dev/null; wait "$manager" 2>/dev/null' EXIT
window=$(timeout 120 xdotool search --sync --onlyvisible --pid "$manager" 2>/dev/null | head -n1)
[ -n "$window" ] || { echo "pcmanfm showed no window" >&2; exit 1; }
for _ in $(seq 60); do
    xdotool windowfocus --sync "$window" key ctrl+a shift+F10
    # A menu for selected files has "Rename..."; the folder's own menu has not.
    for _ in $(seq 10); do
        items=$(timeout 60 /usr/bin/python3 "$(dirname "$0")/menu_items.py")
        grep -qx 'Rename\.\.\.' <<<"$items" && { printf '%s\n' "$items"; exit 0; }
        sleep 0.5
    done
    xdotool key Escape
done
echo "pcmanfm showed no menu for the files of $folder" >&2
exit 1
