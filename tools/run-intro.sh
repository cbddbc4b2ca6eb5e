#!/bin/sh
# Usage: run-intro.sh BUILD_DIR [--studio] [ARGS...]
# Plays the intro (or, with --studio, runs the studio) from BUILD_DIR, where
# the build puts the image and the music; the shaders are found in the
# checkout's data/ through ../data/. Without an X display the intro runs
# under a private Xvfb server with SDL's dummy audio driver, and the studio,
# which nobody could then see, refuses to start.
set -eu
tools=$(cd "$(dirname "$0")" && pwd)
cd "$1"
shift
program=intro
screen=1280x720
if [ "${1:-}" = "--studio" ]; then
    program=studio
    screen=1600x900
    shift
fi
if [ -z "${DISPLAY:-}" ] && [ "$program" = studio ]; then
    echo "No X display: the studio is a window to work in, and needs one (set DISPLAY); make video renders without a display." >&2
    exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
    echo "No X display: running the $program under a private Xvfb server ($screen) with SDL's dummy audio driver."
    SDL_AUDIODRIVER=dummy exec "$tools/xvfb.py" "$screen" "./$program" "$@"
fi
exec "./$program" "$@"
