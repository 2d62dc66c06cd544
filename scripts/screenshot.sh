#!/usr/bin/env bash
# Starts the built program on a virtual display and saves a picture of its window.
# Usage: scripts/screenshot.sh [build folder] [output.png]
set -euo pipefail
build=${1:-build}
output=${2:-docs/screenshot.png}
mkdir -p "$(dirname "$output")"

home=$(mktemp -d)
trap 'kill $program $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=$display HOME=$home XDG_CONFIG_HOME=$home/config QT_QPA_PLATFORM=xcb
"$build/tarnwick" &
program=$!
"$build/assets/grab_window" Tarnwick "$output" 90
