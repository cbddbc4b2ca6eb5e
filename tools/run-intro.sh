#!/bin/sh
# Usage: run-intro.sh BUILD_DIR [ARGS...]
# Plays the intro from BUILD_DIR, where the build puts the image and the music;
# the shaders are found in the checkout's data/ through ../data/. Without an X
# display it runs under a private Xvfb server with SDL's dummy audio driver.
set -eu
tools=$(cd "$(dirname "$0")" && pwd)
cd "$1"
shift
if [ -z "${DISPLAY:-}" ]; then
    echo "No X display: running the intro under a private Xvfb server (1280x720) with SDL's dummy audio driver."
    SDL_AUDIODRIVER=dummy exec "$tools/xvfb.py" 1280x720 ./intro "$@"
fi
exec ./intro "$@"
