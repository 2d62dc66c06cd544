#!/usr/bin/env bash
# Draws the README's picture of the window in the middle of a run on a virtual display:
# the sample documents listed, the progress bar naming the file at hand, the text files
# going into ~/Documents/Text files of a user "sam". Where a private mount namespace can
# be made (unshare), that home is a tmpfs on /home and the program's files are laid out
# in /usr/lib/tarnwick, where the package installs them, on an overlay of /usr/lib whose
# changes go into that tmpfs, both seen by this script alone; otherwise temporary folders
# stand in for them. Nothing outside is written but the picture.
# Usage: scripts/screenshot.sh [build folder] [output.png]
set -euo pipefail
build=$(realpath "${1:-build}")
output=$(realpath -m "${2:-docs/screenshot.png}")
mkdir -p "$(dirname "$output")"

if [ -z "${TARNWICK_SHOT_INSIDE:-}" ] && [ "${build#/home/}" = "$build" ] && [ "${output#/home/}" = "$output" ] \
    && unshare --mount --map-root-user true 2>/dev/null; then
    exec env TARNWICK_SHOT_INSIDE=1 unshare --mount --map-root-user bash "$0" "$build" "$output"
fi

source "$(dirname "$0")/virtual_display.sh"
work=$(mktemp -d)
trap 'stop_virtual_display || true; rm -rf "$work"' EXIT
if [ -n "${TARNWICK_SHOT_INSIDE:-}" ]; then
    mount -t tmpfs -o mode=0755 tarnwick-shot /home
    mkdir /home/.usr-lib /home/.usr-lib-work
    mount -t overlay tarnwick-shot -o lowerdir=/usr/lib,upperdir=/home/.usr-lib,workdir=/home/.usr-lib-work /usr/lib
    home=/home/sam
    program=/usr/lib/tarnwick
else
    echo "no private mount namespace: the picture shows temporary folders" >&2
    home=$work/home
    program=$work/tarnwick
fi
mkdir -p "$home" "$program"
cp -r "$build/Samples" "$build/x" "$build/HAND-M.CUR" "$build/drag.ico" "$program/"

start_virtual_display "$work"

export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache QT_QPA_PLATFORM=xcb
"$build/assets/picture_of_a_run" "$program/" "$home/Documents/Text files" "$output"
