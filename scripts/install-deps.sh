#!/usr/bin/env bash
# Installs what Tarnwick needs to build, run and test on Debian 12; does nothing
# when everything is there already. dpkg-dev and file let cpack make the Debian
# package; xdotool works the installed program's window in the package test, which
# also judges the package with lintian, desktop-file-validate, appstreamcli and man;
# libnss-wrapper lets the office run for a user id without an account; bubblewrap
# confines every office, and python3-uno lets the tests act inside a running office;
# libmicrohttpd-dev is the HTTP library of tarnwick --serve; jq reads the report in
# the documentation's examples, which a test runs; xdg-utils gives the package test the
# desktop's default applications (xdg-mime); libstartup-notification ends the launch
# feedback of a start that hands over, which a test hears with python3-xlib;
# systemd checks the user units and activates the user's service by its socket, and git
# and less run the recipes of docs/one-at-a-time.md.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-image-formats-plugins
    libreoffice-writer libreoffice-dev
    xvfb xauth x11-utils fonts-liberation2
    dpkg-dev file xdotool
    lintian appstream desktop-file-utils man-db
    libnss-wrapper
    bubblewrap python3-uno
    libmicrohttpd-dev
    jq
    xdg-utils libstartup-notification0-dev python3-xlib
    systemd git less
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
