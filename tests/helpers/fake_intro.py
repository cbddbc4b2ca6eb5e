#!/usr/bin/env python3
"""Stands in for `intro --capture` in the exporter's tests: writes
capture/frame0.bmp, frame1.bmp, ... in its working directory as the intro
does (each through a temporary file and a rename), with no window and no GL.

Each file is a BMP of FAKE_INTRO_SIZE ("W H", default 320 180) whose first
four pixel bytes hold the frame number, little-endian. The environment
steers it:
  FAKE_INTRO_FRAMES  how many frames to write (required)
  FAKE_INTRO_SKIP    a frame it "cannot write": reported as the intro
                     reports it, and left out
  FAKE_INTRO_FAIL    fail at start-up with this message and exit status 1
  FAKE_STATE         a folder for intro.pid, intro.cwd and, after every
                     write that raised it, peak: the most frame files seen
                     in capture/ right after one of its own renames
"""

import os
import struct
import sys

FRAME_NAME_PREFIX = "frame"


def bmp(width, height, number):
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray(stride * height)
    pixels[:4] = struct.pack("<I", number)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def frames_waiting():
    return sum(1 for name in os.listdir("capture") if name.startswith(FRAME_NAME_PREFIX) and name.endswith(".bmp"))


def main():
    state = os.environ.get("FAKE_STATE")
    if state:
        with open(os.path.join(state, "intro.cwd"), "w") as f:
            f.write(os.getcwd() + "\n")
        with open(os.path.join(state, "intro.pid"), "w") as f:
            f.write("%d\n" % os.getpid())
    if "FAKE_INTRO_FAIL" in os.environ:
        sys.stderr.write(os.environ["FAKE_INTRO_FAIL"] + "\n")
        return 1
    count = int(os.environ["FAKE_INTRO_FRAMES"])
    skip = int(os.environ.get("FAKE_INTRO_SKIP", "-1"))
    width, height = (int(v) for v in os.environ.get("FAKE_INTRO_SIZE", "320 180").split())
    peak = 0
    for number in range(count):
        path = "capture/frame%d.bmp" % number
        if number == skip:
            sys.stderr.write("Could not write %s: No space left on device\n" % path)
            continue
        with open(path + ".part", "wb") as f:
            f.write(bmp(width, height, number))
        os.rename(path + ".part", path)
        waiting = frames_waiting()
        if state and waiting > peak:
            peak = waiting
            with open(os.path.join(state, "peak.part"), "w") as f:
                f.write("%d\n" % peak)
            os.rename(os.path.join(state, "peak.part"), os.path.join(state, "peak"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
