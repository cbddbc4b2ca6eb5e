#!/usr/bin/env python3
"""Stands in for `intro --capture` in the exporter's tests: writes
FAKE_INTRO_FRAMES frames as capture/frameN.bmp, each through a temporary file
and a rename as the intro does, no GL. Each is a 320x180 BMP whose first four
pixel bytes hold N. Frame FAKE_INTRO_SKIP, if given, is reported as the
intro reports a frame it cannot write, and left out. In the folder FAKE_STATE
it writes intro.pid, intro.cwd and peak: the most frame files it saw in
capture/ right after one of its renames."""

import os
import struct
import sys

WIDTH, HEIGHT = 320, 180


def bmp(number):
    pixels = bytearray(WIDTH * 3 * HEIGHT)
    pixels[:4] = struct.pack("<I", number)
    return (struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
            + struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


def write(path, text):
    with open(path + ".new", "w") as f:
        f.write(text)
    os.rename(path + ".new", path)


state = os.environ["FAKE_STATE"]
write(os.path.join(state, "intro.cwd"), os.getcwd())
write(os.path.join(state, "intro.pid"), str(os.getpid()))
skip = int(os.environ.get("FAKE_INTRO_SKIP", "-1"))
peak = 0
for number in range(int(os.environ["FAKE_INTRO_FRAMES"])):
    path = "capture/frame%d.bmp" % number
    if number == skip:
        sys.stderr.write("Could not write %s: No space left on device\n" % path)
        continue
    with open(path + ".tmp", "wb") as f:
        f.write(bmp(number))
    os.rename(path + ".tmp", path)
    waiting = sum(1 for name in os.listdir("capture") if name.endswith(".bmp"))
    if waiting > peak:
        peak = waiting
        write(os.path.join(state, "peak"), str(peak))
