#!/bin/bash
# Run after every other test: fails when a process that a test of this build
# started is still running (an office, a service, a probe), and ends it. The tests'
# processes carry TARNWICK_TEST_BUILD=<build folder> in their environment, which
# tells them from those of the user and of other builds. One that descends from a
# ctest still belongs to a test that runs (of another ctest in this build). Those
# on their way out are given a minute to go.
set -u
marker="TARNWICK_TEST_BUILD=$1"

underCtest() {
    local pid=$1
    while [ "$pid" -gt 1 ]; do
        [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = ctest ] && return 0
        pid=$(awk '/^PPid:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
        [ -n "$pid" ] || return 1
    done
    return 1
}

left() {
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        if { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF -- "$marker" && ! underCtest "$pid"; then
            echo "$pid"
        fi
    done
}

for _ in $(seq 60); do
    [ -z "$(left)" ] && exit 0
    sleep 1
done
echo "still running, started by the tests of this build:" >&2
for pid in $(left); do
    echo "  $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" >&2
    kill -KILL "$pid" 2>/dev/null
done
exit 1
