#!/usr/bin/env bash
# Starts the real program on a virtual display, checks that its window shows (titled
# "Tarnwick", not blank), then kills the program and checks that the office it started
# went with it. Usage: program_window.sh <tarnwick> <grab_window>
set -u
program=$1
grab=$2

source "$(dirname "$0")/../scripts/virtual_display.sh"

work=$(mktemp -d)
cleanup() {
    kill -9 "${pid:-}" 2>/dev/null
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

start_virtual_display "$work" || exit 1
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache
export QT_QPA_PLATFORM=xcb
mkdir -p "$HOME"
"$program" >"$work/program.log" 2>&1 &
pid=$!

if ! "$grab" Tarnwick "$work/window.png" 120; then
    echo "FAIL: the window did not show"; cat "$work/program.log"; exit 1
fi
if ! kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the program ended"; exit 1
fi

office=$(pgrep -f "soffice.bin.*$work/home" || true)
if [ -z "$office" ]; then
    echo "FAIL: no private office is running for the program"; exit 1
fi
kill -9 "$pid"
for _ in $(seq 50); do
    pgrep -f "soffice.bin.*$work/home" >/dev/null || break
    sleep 0.2
done
if pgrep -f "soffice.bin.*$work/home" >/dev/null; then
    echo "FAIL: the office outlived the program"; exit 1
fi
echo "PASS: the window showed and the office ended with the program"
