#!/usr/bin/env bash
# Installs the program under a temporary ~/.local and starts it there. Makes the Debian
# package with cpack, checks it with lintian (no error, no warning),
# installs it with dpkg (neither install changes what xdg-mime opens folders and
# documents with), checks the desktop entry (desktop-file-validate), the AppStream
# metadata (appstreamcli) and the manual page (man), starts the installed
# /usr/bin/tarnwick on a virtual display, converts the sample documents through its
# window as a user would, checks the text files, and removes the package again.
# Usage: install_package.sh <build folder>
# Needs root; exits with 77 (skipped) without it, or when a tarnwick package is
# installed already (the test would replace it and then remove it).
set -u
source "$(dirname "$0")/../../scripts/virtual_display.sh"
source "$(dirname "$0")/../support/program_boxes.sh"
build=$1
skipped=77

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing a package needs root"; exit $skipped
fi
if dpkg-query -W -f='${Status}' tarnwick 2>/dev/null | grep -q 'install ok installed'; then
    echo "SKIP: a tarnwick package is installed already; this test would remove it"; exit $skipped
fi

work=$(mktemp -d)
installed=no
cleanup() {
    kill -9 "${pid:-}" 2>/dev/null
    pkill -9 -f "soffice.bin.*$work/home" 2>/dev/null
    stop_virtual_display
    [ "$installed" = yes ] && dpkg -r tarnwick >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -s "$work/program.log" ] && { echo "--- program output"; cat "$work/program.log"; }; exit 1; }

# ---- the desktop's defaults ---------------------------------------------------------
# What xdg-mime opens folders and the four document types with for a user without a
# mimeapps.list, on a desktop it does not know (openbox's): no install changes it.
user=$work/user
defaults() {
    for type in inode/directory application/vnd.oasis.opendocument.text{,-template} application/vnd.sun.xml.writer{,.template}
    do echo "$type: $(env -i PATH="$PATH" HOME="$user" xdg-mime query default "$type")"; done
}
before=$(defaults)
same_defaults() { [ "$(defaults)" = "$before" ] || fail "$1 changed what xdg-mime opens: $(defaults)"; }

# ---- any prefix ---------------------------------------------------------------------
# `cmake --install --prefix DIR` gives a program that finds the office's libraries too.
cmake --install "$build" --prefix "$user/.local" >"$work/install.log" 2>&1 || fail "$(cat "$work/install.log")"
said=$("$user/.local/bin/tarnwick" --version 2>&1) || fail "the program installed under $user/.local does not start: $said"
update-desktop-database "$user/.local/share/applications" || fail "update-desktop-database failed"
same_defaults "the install under ~/.local"

# ---- make and install ------------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"; fail "cpack could not make the package"
fi
deb=$(ls "$work"/package/tarnwick_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "cpack made no tarnwick_*.deb"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libreoffice-writer libqt6widgets6 libqt6gui6; do
    [[ $depends == *"$needed"* ]] || fail "the package does not depend on $needed: $depends"
done

# ---- what Debian and the desktop make of it -----------------------------------------
# Any error or warning fails; notes of less weight (information, pedantic) pass.
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 \
    || { cat "$work/lintian.log"; fail "lintian finds errors or warnings in the package"; }

dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
installed=yes
same_defaults "the package"
program_dir=/usr/lib/tarnwick
desktop_entry=/usr/share/applications/example.brantwell.tarnwick.desktop
metainfo=/usr/share/metainfo/example.brantwell.tarnwick.metainfo.xml
manual=/usr/share/man/man1/tarnwick.1.gz
for file in /usr/bin/tarnwick $program_dir/tarnwick $program_dir/HAND-M.CUR $program_dir/drag.ico \
            $program_dir/x/o.cjs $desktop_entry $metainfo $manual /usr/share/doc/tarnwick/copyright \
            /usr/share/doc/tarnwick/changelog.gz /usr/share/icons/hicolor/48x48/apps/tarnwick.png \
            /usr/share/icons/hicolor/scalable/apps/tarnwick.svg /usr/share/file-manager/actions/example.brantwell.tarnwick.desktop \
            /usr/share/kio/servicemenus/example.brantwell.tarnwick.desktop /usr/share/bash-completion/completions/tarnwick; do
    [ -e "$file" ] || fail "the package did not install $file"
done

said=$(desktop-file-validate "$desktop_entry" 2>&1) && [ -z "$said" ] \
    || fail "desktop-file-validate has something to say of the desktop entry: $said"
said=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) && ! grep -q '^[EW]:' <<<"$said" \
    || fail "appstreamcli does not accept the metadata: $said"
said=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manual" 2>&1 >/dev/null) && [ -z "$said" ] \
    || fail "the manual page does not render cleanly: $said"
# The user units of the user's service: installed, accepted by systemd, not enabled.
units=/usr/lib/systemd/user
for unit in tarnwick.socket tarnwick.service; do
    [ -e "$units/$unit" ] || fail "the package did not install $units/$unit"
done
mkdir -m 0700 "$work/verify-runtime"
said=$(XDG_RUNTIME_DIR=$work/verify-runtime systemd-analyze --user verify --man=no "$units/tarnwick.socket" \
           "$units/tarnwick.service" 2>&1) && [ -z "$said" ] \
    || fail "systemd-analyze does not accept the user units: $said"
! ls /etc/systemd/user/*/tarnwick.* >/dev/null 2>&1 || fail "the package enabled the user units"
samples=("$program_dir"/Samples/*)
[ -e "${samples[0]}" ] || fail "the package installed no sample documents"

# ---- the installed program on a virtual display -----------------------------------
start_virtual_display "$work" || fail "no virtual display"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
export XDG_DATA_HOME=$work/home/.local/share XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
# The default destination is the desktop folder. Anything the program hands to the
# desktop's opener (the home page, now and then) goes nowhere.
mkdir -p "$HOME/Desktop" "$work/bin"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH=$work/bin:$PATH

/usr/bin/tarnwick >"$work/program.log" 2>&1 &
pid=$!

window=$(timeout 120 xdotool search --sync --onlyvisible --name '^Tarnwick$' 2>/dev/null | head -n1)
[ -n "$window" ] || fail "the installed program showed no window"

# The window is 536 x 445 pixels; buttons are pressed at their centres.
# "Load Sample/Example Files" adds the samples and asks whether to open their folder.
xdotool mousemove --window "$window" 400 230 click 1
question=$(program_box "$pid" "$window" 60) || fail "no question after \"Load Sample/Example Files\""
answer_box "$question" Escape || fail "the question about the samples folder did not close"

# "Start Converting To TXT" converts the list into the desktop folder and says "Done.".
xdotool mousemove --window "$window" 268 390 click 1
done_box=$(program_box "$pid" "$window" 300) || fail "the run showed no message within 300 s"

for sample in "${samples[@]}"; do
    name=$(basename "${sample%.*}").txt
    [ -s "$HOME/Desktop/$name" ] || fail "no $name on the desktop (it holds: $(ls "$HOME/Desktop"))"
done
grep -q "every Writer document in the list becomes a plain text file" "$HOME/Desktop/Welcome to Tarnwick.txt" \
    || fail "Welcome to Tarnwick.txt does not hold the document's text: $(head -c 300 "$HOME/Desktop/Welcome to Tarnwick.txt")"
answer_box "$done_box" Return || fail "the closing message did not close"

# ---- remove -------------------------------------------------------------------------
kill -9 "$pid"
# The office gets its profile through its environment.
for _ in $(seq 50); do
    grep -lsz "^UserInstallation=file://$work/home/" /proc/[0-9]*/environ >/dev/null || break
    sleep 0.2
done
dpkg -r tarnwick >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r failed"; }
installed=no
[ -L /usr/bin/tarnwick ] || [ -e $program_dir ] && fail "removing the package left files behind"
echo "PASS: the package installed, its program converted ${#samples[@]} samples, and it was removed"
