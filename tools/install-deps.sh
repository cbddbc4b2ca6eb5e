#!/bin/sh
# Usage: install-deps.sh [EXTRA_PACKAGE...]
# Installs the Debian 12 packages the build, the intro and its tests need,
# and any extra ones a make target asks for. Each package is checked with
# dpkg first, so a second run is quick and needs no network; only what is
# missing goes to apt-get.
set -eu

PACKAGES="
g++ cmake make pkg-config python3
libglut-dev libgl-dev libgl1-mesa-dri libx11-dev
libsdl2-dev libsdl2-mixer-dev libstb-dev fonts-dejavu-core
xvfb xauth faketime ffmpeg python3-tqdm
googletest libgtest-dev libbenchmark-dev
libsndfile1-dev libkissfft-dev
"

missing=""
for pkg in $PACKAGES "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $pkg" ;;
    esac
done

[ -z "$missing" ] && exit 0

echo "Installing missing packages:$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "install-deps: need root or sudo to install:$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing
