#!/bin/bash
# The texts two builds of tarnwick write for every document under the given
# folders, compared byte for byte: each build converts them all with the batch
# (--mirror into a folder of its own), then every text file and the list of
# failures are compared. Prints the documents whose texts differ and the counts;
# exits 1 when anything differs. For a change that must leave every text as it was,
# A the build before it and B the change.
#
#   compare_texts.sh TARNWICK_A TARNWICK_B FOLDER...
#   JOBS=2 (default) offices at once
#   KEEP=DIR keeps the texts in DIR/a and DIR/b; a side whose folder is there
#   already is not converted again (A's texts serve several B's)
set -euo pipefail
a=$1 b=$2
shift 2
if [ -n "${KEEP:-}" ]; then
    work=$KEEP
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for side in a b; do
    program=$a
    [ "$side" = b ] && program=$b
    if [ -d "$work/$side" ]; then
        echo "$side: texts of an earlier run"
        continue
    fi
    mkdir "$work/$side"
    start=$(date +%s)
    # Failures are part of the result: their lines are compared too.
    "$program" --convert --quiet --jobs "${JOBS:-2}" --mirror --out "$work/$side" "$@" 2> "$work/$side.err" || true
    echo "$side: $(find "$work/$side" -type f | wc -l) texts in $(( $(date +%s) - start )) s"
    # The office's own warnings differ from run to run; the program's lines do not.
    grep '^tarnwick: ' "$work/$side.err" | sed "s|$work/$side|OUT|g" | grep -v 'the office runs unconfined' | sort > "$work/$side.failures" || true
done
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
if ! diff -r -q "$work/a" "$work/b"; then
    status=1
fi
if ! diff "$work/a.failures" "$work/b.failures"; then
    status=1
fi
same=0 total=0
while IFS= read -r -d '' text; do
    total=$((total + 1))
    cmp -s "$work/a/$text" "$work/b/$text" && same=$((same + 1))
done < <(cd "$work/a" && find . -type f -print0)
echo "texts of A identical in B: $same of $total"
exit $status
