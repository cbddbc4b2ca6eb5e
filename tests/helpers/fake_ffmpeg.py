#!/usr/bin/python3
"""Stands in for ffmpeg, and for ffprobe when called by that name, in the
exporter's tests (found on PATH through links of those names).

As ffmpeg: reads the raw frames of `-pix_fmt F -s WxH` (rgb24 or yuv420p)
from its standard input, reports frame=N on the descriptor of `-progress
pipe:N` after each, and writes, in the folder FAKE_STATE, ffmpeg.args (its
arguments, one a line), ffmpeg.pipe (the device and inode of its standard
input) and ffmpeg.frames (the number each frame carries in its first four
bytes, as fake_studio.py writes them). The output, its last argument, is
made at once and given "video N" and "audio" lines at the end; as ffmpeg
does, it writes no audio when the sound is sought to the soundtrack's end
unless -af apad pads it.

FAKE_FFMPEG_FAIL_AFTER=N: say so on standard error after N frames and exit 1.
FAKE_FFMPEG_QUIET_FAIL_AFTER=N: the same without a word.
FAKE_FFMPEG_STOP_AFTER=N: stop reading after N frames and exit 0.
FAKE_FFMPEG_LEAVE_AFTER=N: stop reading after N frames, wait until the
studio has closed its end of the pipe, and exit 0 with its last frames unread.
FAKE_FFMPEG_EMPTY=1: read every frame and exit 0 with the output empty.
FAKE_FFMPEG_DROP=N: write N frames fewer than it read.
FAKE_FFMPEG_NO_AUDIO=1: write no audio line.

As ffprobe: prints the streams of such a file as `-of json` does, or fails
on any other file; asked for the soundtrack's duration, gives
FAKE_SOUND_SECONDS (default the bundled piece's length), or fails if empty."""

import json
import os
import select
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "..", "tools"))
import intro_constants  # noqa: E402
import video_encoding  # noqa: E402

SOUND_SECONDS = float(os.environ.get("FAKE_SOUND_SECONDS", intro_constants.read()["kIntroSeconds"]))

if os.path.basename(sys.argv[0]) == "ffprobe" and "format=duration" in sys.argv:
    if os.path.getsize(sys.argv[-1]) == 0:
        sys.exit("%s: Invalid data found when processing input" % sys.argv[-1])
    print(json.dumps({"format": {"duration": "%.6f" % SOUND_SECONDS}}))
    sys.exit(0)
if os.path.basename(sys.argv[0]) == "ffprobe":
    try:
        with open(sys.argv[-1]) as f:
            lines = f.read().splitlines()
        streams = [{"codec_type": "video", "nb_frames": line.split()[1]} if line.startswith("video ") else
                   {"codec_type": "audio"} for line in lines if line.split()[0] in ("video", "audio")]
    except (OSError, IndexError, UnicodeDecodeError):
        streams = []
    if not streams:
        sys.exit("%s: Invalid data found when processing input" % sys.argv[-1])
    print(json.dumps({"streams": streams}))
    sys.exit(0)

state = os.environ["FAKE_STATE"]
args = sys.argv[1:]


def write(name, text):
    with open(os.path.join(state, name), "w") as f:
        f.write(text)


write("ffmpeg.args", "\n".join(args))
stdin = os.fstat(0)
write("ffmpeg.pipe", "%d %d" % (stdin.st_dev, stdin.st_ino))
width, height = map(int, args[args.index("-s") + 1].split("x"))
frame_bytes = {"rgb24": width * height * 3, video_encoding.RAW_PIXEL_FORMAT: video_encoding.raw_frame_bytes(width, height)}[
    args[args.index("-pix_fmt") + 1]]
progress = int(args[args.index("-progress") + 1][len("pipe:"):])
open(args[-1], "w").close()
fail = int(os.environ.get("FAKE_FFMPEG_FAIL_AFTER", os.environ.get("FAKE_FFMPEG_QUIET_FAIL_AFTER", "-1")))
numbers = []
while True:
    if len(numbers) == fail:
        write("ffmpeg.frames", " ".join(map(str, numbers)))
        sys.exit("[fake] Conversion failed after frame %d" % numbers[-1] if "FAKE_FFMPEG_FAIL_AFTER" in os.environ
                 else 1)
    if len(numbers) == int(os.environ.get("FAKE_FFMPEG_STOP_AFTER", "-1")):
        sys.exit(0)
    if len(numbers) == int(os.environ.get("FAKE_FFMPEG_LEAVE_AFTER", "-1")):
        hang_up = select.poll()
        hang_up.register(0, 0)   # POLLHUP alone, which needs no asking
        hang_up.poll()
        sys.exit(0)
    frame = sys.stdin.buffer.read(frame_bytes)
    if len(frame) < frame_bytes:
        break
    numbers.append(struct.unpack_from("<I", frame)[0])
    os.write(progress, b"frame=%d\nfps=0.0\nprogress=continue\n" % len(numbers))
os.write(progress, b"frame=%d\nprogress=end\n" % len(numbers))
write("ffmpeg.frames", " ".join(map(str, numbers)))
if "FAKE_FFMPEG_EMPTY" not in os.environ:
    with open(args[-1], "w") as f:
        f.write("video %d\n" % (len(numbers) - int(os.environ.get("FAKE_FFMPEG_DROP", "0"))))
        sought = float(args[args.index("-ss") + 1]) if "-ss" in args else 0.0
        f.write("" if "FAKE_FFMPEG_NO_AUDIO" in os.environ or sought >= SOUND_SECONDS and "-af" not in args else
                "audio\n")
