#!/usr/bin/env bash
# One document at a time: `tarnwick --convert --stdout` through the user's service
# (warm), with an office of its own (cold, --no-service), against odt2txt, pandoc,
# `soffice --cat` and unoconv's client against its listener, alternated call by
# call on a small and a large corpus document and once over the corpus; `git log
# -p` over 50 revisions of an .odt, warm against --no-service; the idle service's
# memory and how long it takes to end. Medians, and ratios against each peer.
#
#   bench/bench_one_at_a_time.sh TARNWICK [corpus folder] [rounds] [sections]
#
# sections: any of "calls corpus git idle" (default all). A peer's call that takes
# more than two minutes is cut off there (pandoc on the largest documents).
set -uo pipefail

tarnwick=$(readlink -f "$1")
corpus=${2:-/work/shared/corpus}
rounds=${3:-15}
sections=${4:-calls corpus git idle}
section() { [[ " $sections " == *" $1 "* ]]; }
work=$(mktemp -d)
trap 'HOME=$work/home XDG_RUNTIME_DIR=$work/run "$tarnwick" --serve --user --stop 2>/dev/null; [ -n "$unoconv_pid" ] && kill -- -"$unoconv_pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run" "$work/bin"
chmod 700 "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CACHE_HOME=$work/home/cache
unset DISPLAY WAYLAND_DISPLAY
ln -s "$tarnwick" "$work/bin/tarnwick"
export PATH=$work/bin:$PATH

now() { date +%s%N; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
have() { command -v "$1" >/dev/null; }
# unoconv needs the system's python, which has the office's uno module.
uno() { /usr/bin/python3 /usr/bin/unoconv "$@"; }

# One call of a side on a document, its output thrown away; milliseconds.
call() {
    local side=$1 document=$2 start
    start=$(now)
    case $side in
        warm) tarnwick --convert --stdout "$document" ;;
        cold) tarnwick --convert --stdout --no-service "$document" ;;
        odt2txt) timeout 120 odt2txt "$document" ;;
        pandoc) timeout 120 pandoc -f odt -t plain "$document" ;;
        soffice) timeout 120 soffice --headless -env:UserInstallation="file://$work/soffice-profile" --cat "$document" ;;
        unoconv) timeout 120 /usr/bin/python3 /usr/bin/unoconv --no-launch -f txt --stdout "$document" ;;
    esac >/dev/null 2>&1 </dev/null
    echo $(( ($(now) - start) / 1000 ))e-3 | awk '{ printf "%.1f\n", $1 }'
}

sides=(warm cold)
for peer in odt2txt pandoc soffice unoconv; do have "$peer" && sides+=("$peer"); done
echo "load average at start: $(load)"
echo "sides: ${sides[*]}"

# The service and unoconv's listener run before the first call, as they would.
tarnwick --convert --stdout "$corpus/odftk-empty_as_can_be.odt" >/dev/null
# On a new profile the listener's office restarts itself once, which ends the
# listener: it is started again until a client gets an answer.
unoconv_pid=
if have unoconv && { section calls || section corpus; }; then
    for _ in $(seq 120); do
        uno --no-launch -f txt --stdout "$corpus/odftk-empty_as_can_be.odt" >/dev/null 2>&1 && break
        if [ -z "$unoconv_pid" ] || ! kill -0 "$unoconv_pid" 2>/dev/null; then
            # A session of its own, so that the listener goes with its office.
            setsid /usr/bin/python3 /usr/bin/unoconv --listener >/dev/null 2>&1 &
            unoconv_pid=$!
        fi
        sleep 1
    done
fi

small=$(ls -Sr "$corpus"/*.odt | head -1)
large=$(ls -S "$corpus"/*.odt | head -1)
section calls && for document in "$small" "$large"; do
    echo
    echo "$(basename "$document") ($(stat -c %s "$document") bytes), $rounds rounds, sides alternated:"
    declare -A times=()
    for ((round = 0; round < rounds; ++round)); do
        # Each round starts with another side, so that none always follows the same.
        for ((i = 0; i < ${#sides[@]}; ++i)); do
            side=${sides[(i + round) % ${#sides[@]}]}
            times[$side]+="$(call "$side" "$document") "
        done
    done
    declare -A medians=()
    for side in "${sides[@]}"; do
        medians[$side]=$(tr ' ' '\n' <<<"${times[$side]}" | grep . | median)
        printf '  %-8s median %9.1f ms\n' "$side" "${medians[$side]}"
    done
    for side in "${sides[@]:1}"; do
        awk -v w="${medians[warm]}" -v p="${medians[$side]}" -v s="$side" \
            'BEGIN { printf "  warm / %-8s %8.3f\n", s, w / p }'
    done
    unset times medians
done

echo
section corpus && {
documents=()
for document in "$corpus"/*.odt "$corpus"/*.ott "$corpus"/*.sxw "$corpus"/*.stw; do
    [ -f "$document" ] && documents+=("$document")
done
echo "over the corpus (${#documents[@]} documents), one call each, sides alternated per document:"
declare -A totals=()
for document in "${documents[@]}"; do
    for side in "${sides[@]}"; do
        [ "$side" = soffice ] && continue # a second per call: the small and large figures show it
        totals[$side]=$(awk -v a="${totals[$side]:-0}" -v b="$(call "$side" "$document")" 'BEGIN { print a + b }')
    done
done
for side in "${!totals[@]}"; do printf '  %-8s total %10.1f ms\n' "$side" "${totals[$side]}"; done
}

section git && {
echo
echo "git log -p over 50 revisions of an .odt (textconv, no cache), 2 rounds alternated:"
repository=$work/repository
git init -q "$repository"
(
    cd "$repository" || exit 1
    git config user.name bench && git config user.email bench@example.org
    printf '*.odt diff=odt\n' >.gitattributes
    git add .gitattributes && git commit -q -m attributes
    # 50 revisions of one small document, a paragraph more in each: what is
    # measured is the calls, as a document's history asks for them.
    base=$(ls -Sr "$corpus"/*.odt | head -1)
    i=0
    while [ $i -lt 50 ]; do
        /usr/bin/python3 - "$base" report.odt "$i" <<'PYTHON'
import sys, zipfile
source, target, revision = sys.argv[1], sys.argv[2], int(sys.argv[3])
paragraphs = "".join(f"<text:p>Paragraph {n} of revision {revision}.</text:p>" for n in range(revision + 1))
with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w") as new:
    for item in old.infolist():
        data = old.read(item.filename)
        if item.filename == "content.xml":
            data = data.replace(b"<office:text/>", b"<office:text></office:text>")
            data = data.replace(b"</office:text>", paragraphs.encode() + b"</office:text>")
        new.writestr(item, data)
PYTHON
        git add report.odt && git commit -q -m "revision $i"
        i=$((i + 1))
    done
)
declare -A logs=()
for round in 0 1; do
    for side in warm cold; do
        [ $(( round % 2 )) -eq 1 ] && side=$([ "$side" = warm ] && echo cold || echo warm)
        option=$([ "$side" = cold ] && echo " --no-service")
        start=$(now)
        git -C "$repository" -c diff.odt.textconv="tarnwick --convert --stdout$option" log -p -- report.odt >/dev/null
        logs[$side]+="$(( ($(now) - start) / 1000000 )) "
    done
done
warm_log=$(tr ' ' '\n' <<<"${logs[warm]}" | grep . | median)
cold_log=$(tr ' ' '\n' <<<"${logs[cold]}" | grep . | median)
echo "  warm median ${warm_log} ms, --no-service median ${cold_log} ms, cold / warm $(awk -v c="$cold_log" -v w="$warm_log" 'BEGIN { printf "%.1f", c / w }')"
}

section idle && {
echo
echo "the idle service:"
tarnwick --convert --stdout "$small" >/dev/null
sleep 5
service=$(head -1 "$XDG_RUNTIME_DIR/tarnwick/serve.lock")
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
offices=$(pgrep -P "$service" soffice.bin)
service_kib=$(rss "$service")
office_kib=0
for office in $offices; do office_kib=$((office_kib + $(rss "$office"))); done
echo "  resident: service $((service_kib / 1024)) MiB, its office $((office_kib / 1024)) MiB"
start=$(now)
tarnwick --serve --user --stop 2>/dev/null
echo "  --stop until service and office have ended: $(( ($(now) - start) / 1000000 )) ms"
}
echo
echo "load average at end: $(load)"
