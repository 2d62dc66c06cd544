#!/bin/bash
# Two builds of tarnwick side by side: `tarnwick --convert --jobs 1` of one small
# document, each build on a warm profile of its own (one run each first), the two
# alternated RUNS times. Prints every time, the medians, the ratio B/A and the load
# average at the start and end. For a change to the office's start, B the change and
# A the build before it (from a worktree of the commit before).
#
#   bench_two_builds.sh RUNS TARNWICK_A TARNWICK_B DOCUMENT.odt
set -euo pipefail
runs=$1 a=$2 b=$3 document=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/a" "$work/b" "$work/out"
convert() { HOME="$work/$1" "$2" --convert --quiet --jobs 1 --out "$work/out" "$document"; }
echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
convert a "$a" && convert b "$b"
for _ in $(seq "$runs"); do
    for side in a b; do
        program=$a; [ "$side" = b ] && program=$b
        start=$(date +%s%N); convert "$side" "$program"; end=$(date +%s%N)
        echo "$side $(( (end - start) / 1000000 ))"
    done
done | tee "$work/times"
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
median() { grep "^$1 " "$work/times" | cut -d' ' -f2 | sort -n | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
ma=$(median a) mb=$(median b)
echo "median A ${ma} ms, B ${mb} ms, ratio B/A $(awk -v a="$ma" -v b="$mb" 'BEGIN {printf "%.2f", b/a}')"
