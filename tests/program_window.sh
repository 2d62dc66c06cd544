#!/usr/bin/env bash
# Starts the real program on a virtual display with two documents and a folder on its
# command line, as a file manager's "Open With" does, checks that its window shows
# (titled "Tarnwick", not blank) with them in the list: converting the list gives the
# text files of exactly those documents; a second start hands its document to that
# window, ends the launch feedback its launcher began, and ends. Then kills the program and checks that the office it started went
# with it. Usage: program_window.sh <tarnwick> <grab_window>
set -u
program=$1
grab=$2
samples=$(dirname "$program")/Samples

source "$(dirname "$0")/../scripts/virtual_display.sh"
source "$(dirname "$0")/support/program_boxes.sh"

work=$(mktemp -d)
cleanup() {
    kill -9 "${pid:-}" "${listener:-}" 2>/dev/null
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    [ -s "$work/program.log" ] && { echo "--- program output"; cat "$work/program.log"; }
    [ -s "$work/xvfb.log" ] && { echo "--- Xvfb's output"; cat "$work/xvfb.log"; }
    exit 1
}

# The program's offices: soffice.bin with a profile under $work/home (the office
# gets its profile through its environment).
offices() {
    for office in $(pgrep -x soffice.bin); do
        tr '\0' '\n' <"/proc/$office/environ" 2>/dev/null | grep -q "^UserInstallation=file://$work/home/" \
            && echo "$office"
    done
}

# An unknown option is a usage error, found before any display is needed.
said=$(env -u DISPLAY "$program" --bogus 2>&1)
status=$?
[ $status -eq 2 ] && [[ $said == "tarnwick: unknown option --bogus"* ]] \
    || fail "an unknown option gave exit status $status and: $said"

start_virtual_display "$work" || exit 1
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
# The text files go to the desktop folder, where the program sends them by default.
mkdir -p "$HOME/Desktop" "$work/docs/folder/below"
docs=$work/docs
cp "$samples/Welcome to Tarnwick.odt" "$docs/one.odt"
cp "$samples/Old Letter.sxw" "$docs/-two.sxw"
cp "$samples/Many Languages.odt" "$docs/folder/three.odt"
cp "$samples/Meeting Notes Template.ott" "$docs/folder/below/four.ott"
cp "$samples/Welcome to Tarnwick.odt" "$docs/folder/.hidden.odt"
mkfifo "$docs/folder/pipe.odt"
# A relative path, a folder with its trailing separator, and a name that begins with
# "-" after "--".
(cd "$docs" && exec "$program" one.odt folder/ -- -two.sxw) >"$work/program.log" 2>&1 &
pid=$!

if ! "$grab" Tarnwick "$work/window.png" 120; then
    fail "the window did not show"
fi
kill -0 "$pid" 2>/dev/null || fail "the program ended"
office=$(offices)
[ -n "$office" ] || fail "no private office is running for the program"

# A second start, as a second "Open With" makes it, hands its document to the window
# that runs and ends at once: no second window, no second office; and the launch
# feedback its launcher began (DESKTOP_STARTUP_ID) ends.
# The Debian python3, which python3-xlib is installed for.
/usr/bin/python3 "$(dirname "$0")/support/startup_messages.py" >"$work/startup.log" 2>&1 &
listener=$!
for _ in $(seq 50); do grep -q listening "$work/startup.log" && break; sleep 0.1; done
cp "$samples/Old Letter.sxw" "$docs/five.sxw"
DESKTOP_STARTUP_ID=tarnwick-test-$$_TIME0 timeout 30 "$program" "$docs/five.sxw" >"$work/second.log" 2>&1 \
    || fail "a second start ended with status $?: $(cat "$work/second.log")"
[ "$(xdotool search --onlyvisible --name '^Tarnwick$' | wc -l)" -eq 1 ] || fail "a second start opened a window"
[ "$(offices | wc -l)" -eq 1 ] || fail "a second start started an office"
for _ in $(seq 50); do grep -q "^remove: ID=tarnwick-test-$$_TIME0" "$work/startup.log" && break; sleep 0.1; done
kill "$listener"
grep -q "^remove: ID=tarnwick-test-$$_TIME0" "$work/startup.log" \
    || fail "the second start did not end its launch feedback; the root window heard: $(cat "$work/startup.log")"

# "Start Converting To TXT" (the window is 536 x 445 pixels) converts the list and
# says "Done.".
window=$(xdotool search --onlyvisible --name '^Tarnwick$' | head -n1)
xdotool mousemove --window "$window" 268 390 click 1
done_box=$(program_box "$pid" "$window" 120) || fail "the run showed no message within 120 s"
written=$(cd "$HOME/Desktop" && ls -A | LC_ALL=C sort | tr '\n' ' ')
[ "$written" = "-two.txt five.txt four.txt one.txt three.txt " ] \
    || fail "the list did not hold the documents of both command lines: the run wrote $written"
answer_box "$done_box" Return || fail "the closing message did not close"

kill -9 "$pid"
for _ in $(seq 50); do
    [ -n "$(offices)" ] || break
    sleep 0.2
done
if [ -n "$(offices)" ]; then
    fail "the office outlived the program"
fi
echo "PASS: the window showed with the documents of its command line, and the office ended with the program"
