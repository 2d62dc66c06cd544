#!/usr/bin/env bash
# Prints the items of the context menu that pcmanfm, Debian's stock file manager, shows
# for the files of FOLDER: pcmanfm in a D-Bus session of its own on the display in
# DISPLAY, every file selected, the menu opened with the keyboard and read through the
# accessibility bus; tried again while the folder is still loading.
# Usage: file_manager_menu.sh FOLDER   (HOME and the XDG folders: the user's)
set -u
if [ "$1" != --in-session ]; then
    # No GVfs: its daemons would outlive the session.
    GTK_MODULES=gail:atk-bridge NO_AT_BRIDGE=0 GIO_USE_VFS=local GIO_USE_VOLUME_MONITOR=unix exec dbus-run-session -- bash "$0" --in-session "$@"
fi
pcmanfm --no-desktop "$2" >/dev/null 2>&1 &
trap 'kill $! 2>/dev/null; wait' EXIT
window=$(timeout 120 xdotool search --sync --onlyvisible --pid $! 2>/dev/null | head -n1)
[ -n "$window" ] || { echo "pcmanfm showed no window" >&2; exit 1; }
for _ in $(seq 120); do
    xdotool windowfocus --sync "$window" key ctrl+a shift+F10
    sleep 0.5
    # A menu for files has "Rename..."; the folder's own menu has not.
    items=$(timeout 60 /usr/bin/python3 "$(dirname "$0")/menu_items.py") && grep -qx 'Rename\.\.\.' <<<"$items" &&
        { printf '%s\n' "$items"; exit 0; }
    xdotool key Escape
done
echo "pcmanfm showed no menu for the files of $2" >&2
exit 1
