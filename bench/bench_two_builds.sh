#!/bin/bash
# Two builds of tarnwick side by side: `tarnwick --convert --jobs 1` of one small
# document, each build on a warm profile of its own (one run each first), the two
# alternated RUNS times. Prints every time, the medians, the ratio B/A and the load
# average at the start and end. For a change to the office's start, B the change and
# A the build before it (from a worktree of the commit before).
#
#   bench_two_builds.sh RUNS TARNWICK_A TARNWICK_B DOCUMENT.odt
set -euo pipefail
exec "$(dirname "$0")/bench_alternate.sh" "$1" "$2" "$3" --convert --quiet --jobs 1 --out @OUT@ "$4"
