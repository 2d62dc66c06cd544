#!/usr/bin/env bash
# Starts the real program on a virtual display, checks that its window shows (titled
# "Tarnwick", not blank), then kills the program and checks that the office it started
# went with it. Usage: program_window.sh <tarnwick> <grab_window>
set -u
program=$1
grab=$2

work=$(mktemp -d)
cleanup() {
    kill -9 "${pid:-}" "${xvfb:-}" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 100 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

export DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache
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
