#!/usr/bin/env python3
"""Stands in for ffmpeg in the exporter's tests, found on PATH as `ffmpeg`:
reads the BMP frames the exporter streams to its standard input, notes the
frame number each carries (the first four pixel bytes, as fake_intro.py
writes them) and writes a small file at the last argument, the output.

The environment steers it:
  FAKE_STATE              a folder for args (its arguments, one a line) and
                          frames (the numbers read, one a line), written at
                          the end
  FAKE_FFMPEG_FAIL_AFTER  after reading this many frames, print an error
                          and exit with status 1
  FAKE_FFMPEG_WAIT_HELD   read nothing until the fake intro (its pid and
                          working directory in FAKE_STATE) is held back, so
                          that frames pile up until the exporter holds it:
                          "stop" waits for it to be stopped (state T); a
                          number N for it to wait in a seccomp notification
                          (as it does briefly at every rename) with N frame
                          files in its capture folder. held (1 or 0) then
                          says whether that came within a minute
"""

import os
import struct
import sys
import time


def read_exactly(stream, size):
    data = b""
    while len(data) < size:
        chunk = stream.read(size - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def is_held(state, how):
    try:
        with open(os.path.join(state, "intro.pid")) as f:
            pid = int(f.read())
        if how == "stop":
            with open("/proc/%d/stat" % pid) as f:
                return f.read().rsplit(")", 1)[1].split()[0] == "T"
        with open(os.path.join(state, "intro.cwd")) as f:
            capture = os.path.join(f.read().strip(), "capture")
        frames = sum(1 for name in os.listdir(capture) if name.startswith("frame") and name.endswith(".bmp"))
        with open("/proc/%d/wchan" % pid) as f:
            return frames >= int(how) and f.read().startswith("seccomp")
    except (OSError, ValueError):
        return False


def wait_until_held(state, how):
    """Waits for the fake intro to be held back, for a minute at most."""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        if is_held(state, how):
            return True
        time.sleep(0.005)
    return False


def main():
    state = os.environ["FAKE_STATE"]
    with open(os.path.join(state, "args"), "w") as f:
        f.write("\n".join(sys.argv[1:]) + "\n")
    if os.environ.get("FAKE_FFMPEG_WAIT_HELD"):
        with open(os.path.join(state, "held"), "w") as f:
            f.write("1\n" if wait_until_held(state, os.environ["FAKE_FFMPEG_WAIT_HELD"]) else "0\n")
    fail_after = int(os.environ.get("FAKE_FFMPEG_FAIL_AFTER", "-1"))
    numbers = []
    stream = sys.stdin.buffer
    while True:
        if len(numbers) == fail_after:
            sys.stderr.write("[fake] Conversion failed after frame %d\n" % (fail_after - 1))
            return 1
        header = read_exactly(stream, 54)
        if header is None:
            break
        size, = struct.unpack_from("<I", header, 2)
        body = read_exactly(stream, size - 54)
        if header[:2] != b"BM" or body is None:
            sys.stderr.write("[fake] not a whole BMP\n")
            return 1
        numbers.append(struct.unpack_from("<I", body, 0)[0])
    with open(os.path.join(state, "frames"), "w") as f:
        f.write("".join("%d\n" % n for n in numbers))
    with open(sys.argv[-1], "wb") as f:
        f.write(b"fake video of %d frames\n" % len(numbers))
    return 0


if __name__ == "__main__":
    sys.exit(main())
