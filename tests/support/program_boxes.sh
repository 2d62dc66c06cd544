# Sourced by the scripts that work the real program's window with xdotool.
#   program_box <pid> <main window> <seconds>
#       prints the id of a visible window of the program other than its main window
#       (a message box), waiting up to <seconds>; fails when none shows or the
#       program ends
#   answer_box <box> <key>
#       presses <key> in the box (Escape is No, Return the default button) and waits
#       for it to close
program_box() {
    local pid=$1 main=$2 deadline=$((SECONDS + $3))
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "$pid" 2>/dev/null || return 1
        for w in $(xdotool search --onlyvisible --class tarnwick 2>/dev/null); do
            [ "$w" != "$main" ] && { echo "$w"; return 0; }
        done
        sleep 0.5
    done
    return 1
}

answer_box() {
    timeout 10 xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool key "$2"
    for _ in $(seq 40); do
        xdotool search --onlyvisible --class tarnwick 2>/dev/null | grep -qx "$1" || return 0
        sleep 0.25
    done
    return 1
}
