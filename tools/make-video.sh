#!/bin/sh
# Usage: make-video.sh CAPTURE_DIR MUSIC_WAV OUTPUT_MP4
# Turns the captured frames CAPTURE_DIR/frame0.bmp, frame1.bmp, ... (60 per
# second) and the soundtrack into an H.264 (yuv420p) video with AAC sound, as
# long as the frames; odd frame sizes get one black row or column of padding,
# since yuv420p needs even ones.
set -eu
if [ $# -ne 3 ]; then
    echo "usage: make-video.sh CAPTURE_DIR MUSIC_WAV OUTPUT_MP4" >&2
    exit 2
fi
capture=$1
music=$2
output=$3
if [ ! -f "$capture/frame0.bmp" ]; then
    echo "make-video: no captured frames in $capture (run 'make capture' first)" >&2
    exit 1
fi
if [ ! -f "$music" ]; then
    echo "make-video: no soundtrack at $music" >&2
    exit 1
fi
ffmpeg -v error -y -framerate 60 -start_number 0 -i "$capture/frame%d.bmp" -i "$music" \
    -map 0:v -map 1:a -vf "pad=ceil(iw/2)*2:ceil(ih/2)*2" \
    -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p \
    -c:a aac -b:a 192k -shortest -movflags +faststart "$output"
echo "make-video: wrote $output"
