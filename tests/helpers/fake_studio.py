#!/usr/bin/python3
"""Stands in for `studio --render FD --from S --to S --size WxH
--pixel-format F` in the exporter's tests: writes the frames of the section
(of the piece that intro_constants.h in its working directory gives, or the
bundled one) to descriptor FD in the studio's sizes (width x height x 3
bytes each for rgb24, 1.5 for yuv420p), no GL; each frame's first four
bytes hold its number. In the folder FAKE_STATE it writes studio.args (its
arguments, one a line), studio.env (DISPLAY and LIBGL_ALWAYS_SOFTWARE),
studio.cwd and studio.pipe (the device and inode of FD).

FAKE_STUDIO_LOG=TEXT: print TEXT on standard error and exit 1 before any
frame, as a shader that fails to build does.
FAKE_STUDIO_LIMIT=N: refuse sizes with a side above N as the studio refuses
sizes beyond the driver's limit (one line, status 2).
FAKE_STUDIO_WARN=TEXT: print TEXT on standard error first, and render.
FAKE_STUDIO_STALL=N: after N frames, wait for ever.
FAKE_STUDIO_END_AFTER=N: after N frames, exit 0."""

import math
import os
import signal
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "..", "tools"))
import intro_constants  # noqa: E402
import video_encoding  # noqa: E402

CONSTANTS = intro_constants.read("." if os.path.isfile(intro_constants.header_path(".")) else None)
PIECE_SECONDS, FRAME_RATE = CONSTANTS["kIntroSeconds"], CONSTANTS["kCaptureFramesPerSecond"]


def lround(value):
    whole = math.floor(value)
    return whole + 1 if value - whole >= 0.5 else whole


def write(name, text):
    with open(os.path.join(os.environ["FAKE_STATE"], name), "w") as f:
        f.write(text)


options = dict(zip(sys.argv[1::2], sys.argv[2::2]))
fd = int(options["--render"])
width, height = map(int, options["--size"].split("x"))
start, end = float(options.get("--from", "0")), float(options.get("--to", PIECE_SECONDS))
write("studio.args", "\n".join(sys.argv[1:]))
write("studio.env", "%s\n%s" % (os.environ.get("DISPLAY"), os.environ.get("LIBGL_ALWAYS_SOFTWARE")))
write("studio.cwd", os.getcwd())
write("studio.pipe", "%d %d" % (os.fstat(fd).st_dev, os.fstat(fd).st_ino))

if "FAKE_STUDIO_LOG" in os.environ:
    sys.stderr.write(os.environ["FAKE_STUDIO_LOG"] + "\n")
    sys.exit(1)
limit = int(os.environ.get("FAKE_STUDIO_LIMIT", "16384"))
if max(width, height) > limit:
    sys.stderr.write("studio: --size %dx%d is larger than this driver's limit of %d x %d\n" % (
        width, height, limit, limit))
    sys.exit(2)
if "FAKE_STUDIO_WARN" in os.environ:
    sys.stderr.write(os.environ["FAKE_STUDIO_WARN"] + "\n")
    sys.stderr.flush()

first = lround(start * FRAME_RATE)
last = lround(PIECE_SECONDS * FRAME_RATE) if end >= PIECE_SECONDS else lround(end * FRAME_RATE) - 1
frame = bytearray(width * height * 3 if options.get("--pixel-format", "rgb24") == "rgb24" else
                  video_encoding.raw_frame_bytes(width, height))
stall = int(os.environ.get("FAKE_STUDIO_STALL", "-1"))
end_after = int(os.environ.get("FAKE_STUDIO_END_AFTER", "-1"))
for number in range(first, last + 1):
    if number - first == stall:
        signal.pause()
    if number - first == end_after:
        sys.exit(0)
    frame[:4] = struct.pack("<I", number)
    view = memoryview(frame)
    while view:
        try:
            view = view[os.write(fd, view):]
        except BrokenPipeError as error:
            sys.exit("studio: could not write the frames: %s" % error.strerror)
