# Sourced by the scripts that need a virtual display of their own.
#   start_virtual_display <folder>   starts Xvfb on a display it picks itself (-displayfd)
#                                    and exports DISPLAY; its log goes into <folder>
#   stop_virtual_display             ends it with TERM and waits, so that it removes its
#                                    lock file and socket; a killed server leaves them
#                                    behind, and the display number stays taken.
start_virtual_display() {
    local folder=$1
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$folder/display" 2>"$folder/xvfb.log" &
    virtual_display_pid=$!
    for _ in $(seq 100); do [ -s "$folder/display" ] && break; sleep 0.1; done
    if [ ! -s "$folder/display" ]; then
        echo "Xvfb did not start: $(cat "$folder/xvfb.log")" >&2
        return 1
    fi
    export DISPLAY=:$(cat "$folder/display")
}

stop_virtual_display() {
    [ -n "${virtual_display_pid:-}" ] || return 0
    kill "$virtual_display_pid" 2>/dev/null
    wait "$virtual_display_pid" 2>/dev/null
    virtual_display_pid=
}
