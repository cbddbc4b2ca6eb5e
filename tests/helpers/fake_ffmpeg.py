#!/usr/bin/env python3
"""Stands in for ffmpeg (found on PATH as `ffmpeg`) in the exporter's tests:
reads the BMP frames streamed to its standard input and writes, in the folder
FAKE_STATE, args (its arguments) and frames (the number each frame carries,
as fake_intro.py writes them), and a small file at its last argument.

FAKE_FFMPEG_FAIL_AFTER=N: print an error after N frames and exit 1.
FAKE_FFMPEG_WAIT_HELD: read nothing until the fake intro is held back, so
that frames pile up: "stop" waits for it to be stopped (state T); a number N
for it to wait in a seccomp notification (as it does briefly at every
rename) with N frame files in place. held says 1 if that came within a
minute, else 0."""

import os
import struct
import sys
import time

state = os.environ["FAKE_STATE"]


def read(name):
    with open(os.path.join(state, name)) as f:
        return f.read()


def held(how):
    try:
        pid = int(read("intro.pid"))
        if how == "stop":
            with open("/proc/%d/stat" % pid) as f:
                return f.read().rsplit(")", 1)[1].split()[0] == "T"
        frames = sum(1 for name in os.listdir(os.path.join(read("intro.cwd"), "capture")) if name.endswith(".bmp"))
        with open("/proc/%d/wchan" % pid) as f:
            return frames >= int(how) and f.read().startswith("seccomp")
    except (OSError, ValueError):
        return False


with open(os.path.join(state, "args"), "w") as f:
    f.write("\n".join(sys.argv[1:]))
if "FAKE_FFMPEG_WAIT_HELD" in os.environ:
    deadline = time.monotonic() + 60
    while not (was_held := held(os.environ["FAKE_FFMPEG_WAIT_HELD"])) and time.monotonic() < deadline:
        time.sleep(0.005)
    with open(os.path.join(state, "held"), "w") as f:
        f.write("1" if was_held else "0")
numbers = []
while True:
    if len(numbers) == int(os.environ.get("FAKE_FFMPEG_FAIL_AFTER", "-1")):
        sys.exit("[fake] Conversion failed after frame %d" % (len(numbers) - 1))
    header = sys.stdin.buffer.read(54)
    if not header:
        break
    body = sys.stdin.buffer.read(struct.unpack_from("<I", header, 2)[0] - 54)
    numbers.append(struct.unpack_from("<I", body)[0])
with open(os.path.join(state, "frames"), "w") as f:
    f.write(" ".join(map(str, numbers)))
with open(sys.argv[-1], "w") as f:
    f.write("%d frames\n" % len(numbers))
