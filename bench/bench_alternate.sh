#!/bin/bash
# Two builds of tarnwick on the same command, alternated RUNS times after one
# warm-up run each, each build with a home of its own (its own office profile).
# @OUT@ in the arguments becomes an empty folder of each run's own. Prints every
# time, the medians, the ratio B/A and the load average at the start and end.
#
#   bench_alternate.sh RUNS TARNWICK_A TARNWICK_B ARGUMENTS...
#   e.g. bench_alternate.sh 7 old/tarnwick new/tarnwick --convert --stdout --no-service doc.odt
set -euo pipefail
runs=$1 a=$2 b=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/a" "$work/b"
run() {
    local side=$1 program=$2 out
    shift 2
    out=$(mktemp -d "$work/out-XXXXXX")
    HOME="$work/$side" XDG_CACHE_HOME="$work/$side/cache" "$program" "${@//@OUT@/$out}" > /dev/null 2>&1 || true
    rm -rf "$out"
}
echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
run a "$a" "$@"
run b "$b" "$@"
for _ in $(seq "$runs"); do
    for side in a b; do
        program=$a
        [ "$side" = b ] && program=$b
        start=$(date +%s%N)
        run "$side" "$program" "$@"
        end=$(date +%s%N)
        echo "$side $(( (end - start) / 1000000 ))"
    done
done | tee "$work/times"
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
median() { grep "^$1 " "$work/times" | cut -d' ' -f2 | sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
ma=$(median a) mb=$(median b)
echo "median A ${ma} ms, B ${mb} ms, ratio B/A $(awk -v a="$ma" -v b="$mb" 'BEGIN {printf "%.3f", b/a}')"
