#!/bin/sh
# Usage: contact-sheet.sh INTRO_BINARY BUILD_DIR OUTPUT_PNG
#
# Captures the intro under a private Xvfb server at 480x270 and lays one
# frame from each of the soundtrack's eight sections out as a 4 x 2 contact
# sheet with ImageMagick's montage, each tile labelled with its section and
# time. The capture runs in a scratch folder under BUILD_DIR, with the
# shaders from the checkout's data/ and the message image and soundtrack
# from BUILD_DIR; frames that are not picked are deleted while it runs, the
# capture is stopped once the last picked frame is written, and the scratch
# folder is removed afterwards, also on failure.
set -eu

SIZE=480x270
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
# Section name and the second of its frame: a moment a few seconds in that
# shows the scene well (the intro's title, the finale's mandala).
PICKS="intro:9 buildup:21 drop_a:33.5 drop_b:50 breakdown:67 buildup2:85 finale:108 outro:124"

fail() {
    echo "contact-sheet: $*" >&2
    exit 1
}

if [ $# -ne 3 ]; then
    echo "usage: contact-sheet.sh INTRO_BINARY BUILD_DIR OUTPUT_PNG" >&2
    exit 2
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$1" ] || [ ! -x "$1" ]; then
    fail "no intro binary at $1 (build it first)"
fi
intro=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
[ -d "$2" ] || fail "no build folder at $2"
build=$(cd "$2" && pwd)
MUSIC=$(python3 "$source_dir/tools/intro_constants.py" --build "$build" kSoundtrackFile)
output=$3
[ -f "$build/images/long.png" ] || fail "no message image at $build/images/long.png (build first)"
[ -f "$build/$MUSIC" ] || fail "no soundtrack at $build/$MUSIC (build first)"
[ -f "$source_dir/data/intro.frag" ] || fail "no shaders in $source_dir/data"
command -v montage >/dev/null 2>&1 || fail "ImageMagick's montage is missing (apt-get install imagemagick)"
command -v Xvfb >/dev/null 2>&1 || fail "Xvfb is missing (apt-get install xvfb)"
mkdir -p "$(dirname "$output")" || fail "cannot create the folder of $output"

scratch=$(mktemp -d "$build/contact-sheet.XXXXXX") || fail "cannot create a scratch folder in $build"
wrapper=""
# Ends the capture if it still runs: the intro itself (which does not stop
# on SIGTERM), after which its Xvfb wrapper stops the server and exits.
stop_capture() {
    [ -n "$wrapper" ] || return 0
    for child in $(ps -o pid= -o comm= --ppid "$wrapper" 2>/dev/null | awk '$2 != "Xvfb" { print $1 }'); do
        kill -KILL "$child" 2>/dev/null || true
    done
    wait "$wrapper" 2>/dev/null || true
    wrapper=""
}
trap 'stop_capture; rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP

cp -R "$source_dir/data" "$scratch/data"
mkdir "$scratch/images" "$scratch/capture"
cp "$build/images/long.png" "$scratch/images/"
mkdir -p "$(dirname "$scratch/$MUSIC")"
cp "$build/$MUSIC" "$scratch/$MUSIC"

# The picked frames (60 per second), the find arguments that spare them and
# the last one.
keep=""
last=0
for pick in $PICKS; do
    frame=$(awk -v s="${pick#*:}" 'BEGIN { printf "%d", s * 60 + 0.5 }')
    keep="$keep ! -name frame$frame.bmp"
    if [ "$frame" -gt "$last" ]; then
        last=$frame
    fi
done

echo "contact-sheet: capturing the intro at $SIZE up to frame $last ..."
(cd "$scratch" && SDL_AUDIODRIVER=dummy exec "$source_dir/tools/xvfb.py" "$SIZE" "$intro" --capture \
    > "$scratch/intro.log" 2>&1) &
wrapper=$!

while [ ! -f "$scratch/capture/frame$last.bmp" ]; do
    state=$(ps -o stat= -p "$wrapper" 2>/dev/null || true)
    case "$state" in
        "" | Z*)
            wait "$wrapper" && status=0 || status=$?
            wrapper=""
            echo "contact-sheet: the capture ended (status $status) before frame $last; its output ends:" >&2
            grep -v '^[0-9.e+-]*$' "$scratch/intro.log" | tail -n 20 >&2
            exit 1 ;;
    esac
    # shellcheck disable=SC2086
    find "$scratch/capture" -name 'frame*.bmp' $keep -delete
    sleep 0.5
done
stop_capture

set --
for pick in $PICKS; do
    name=${pick%%:*}
    seconds=${pick#*:}
    frame=$(awk -v s="$seconds" 'BEGIN { printf "%d", s * 60 + 0.5 }')
    [ -f "$scratch/capture/frame$frame.bmp" ] || fail "frame $frame ($name at $seconds s) was not captured"
    set -- "$@" -label "$name  $seconds s" "$scratch/capture/frame$frame.bmp"
done
font=""
[ -f "$FONT" ] && font="-font $FONT"
# shellcheck disable=SC2086
montage "$@" -tile 4x2 -geometry +4+4 -background '#101018' -fill '#e0e0f0' $font -pointsize 15 \
    -depth 8 -define png:compression-level=9 "$output" || fail "montage could not write $output"
echo "contact-sheet: wrote $output"
