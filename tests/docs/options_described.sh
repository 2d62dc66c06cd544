#!/usr/bin/env bash
# The manual page is the complete reference of the options, and docs/ describe them
# too: every long option that `tarnwick --help` and `tarnwick --serve --help` name,
# and every short one in their option column ("  --null, -0   ..."), is in both;
# every option the head of a manual page item names is one the help names. And CI
# runs exactly the README's test command.
# Usage: options_described.sh TARNWICK SOURCE_DIR
set -euo pipefail
tarnwick=$1 source=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
help=$(for arguments in --help "--serve --help"; do
    env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CACHE_HOME="$home" "$tarnwick" $arguments ||
        { echo "tarnwick $arguments failed" >&2; exit 1; }
done)
option='(?<![\w-])--?[A-Za-z0-9][a-z0-9-]*'
options=$({ grep -oP '(?<![\w-])--[a-z][a-z0-9-]*' <<<"$help"
            grep -oP '^  +-\S.*?(?=  |$)' <<<"$help" | grep -oP "$option"; } | sort -u)
manual=$(sed 's/\\-/-/g' "$source/docs/tarnwick.1.in")
docs=$(cat "$source"/docs/*.md)
missing=()
for o in $options; do
    grep -qP -- "(?<![\w-])$o(?![\w-])" <<<"$manual" || missing+=("$o in the manual page")
    grep -qP -- "(?<![\w-])$o(?![\w-])" <<<"$docs" || missing+=("$o in docs/")
done
for o in $(grep -A1 '^\.TP$' <<<"$manual" | grep '^\.B' | grep -oP "$option" | sort -u); do
    grep -qxF -- "$o" <<<"$options" || missing+=("$o in --help")
done
ci=$(grep '^bash scripts/install-deps.sh ' "$source/.ci/run")
grep -qxF -- "$ci" "$source/README.md" || missing+=("the test command of .ci/run in README.md")
if [ ${#missing[@]} -gt 0 ]; then
    printf 'not found: %s\n' "${missing[@]}"
    exit 1
fi
