"""The whole intro at 640x480 in real time: it must end by itself with status
0 after 135 s without growing, print every rebuild's size line and draw
without a driver error. It takes about two and a half minutes.

From frame 300 until 20 s before the end the shader is edited every second,
so that those rebuilds really compile, decode and upload. The resident
memory is compared at two quiet moments, frame 300 and the end, when the
rebuilds find nothing changed; a rebuild's own buffers come and go within
it and would otherwise decide which moment a sample catches."""

import os
import re
import time
import unittest

from harness import IntroTestCase, replace_file, scratch_dir
from test_intro import SIZE_LINE, complete_lines, time_lines

MIB = 1024 * 1024


def resident_bytes(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    return None


class SoakTest(IntroTestCase):

    def test_a_full_run_ends_by_itself_without_growing(self):
        cwd = scratch_dir(self)
        shader = os.path.join(cwd, "data", "intro.frag")
        with open(shader) as f:
            original = f.read()
        intro = self.start(width=640, height=480, cwd=cwd)
        started = time.monotonic()
        at_frame_300 = None
        last = None
        edits = 0
        next_edit = None
        while intro.process.poll() is None:
            # A new comment changes the file's bytes, so the next rebuild compiles.
            if next_edit is None and at_frame_300 is not None:
                next_edit = time.monotonic()
            editing = next_edit is not None and time.monotonic() - started < 115.0
            if editing and time.monotonic() >= next_edit:
                edits += 1
                replace_file(shader, original + "\n// edit %d\n" % edits)
                next_edit += 1.0
            try:
                rss = resident_bytes(intro.process.pid)
            except OSError:
                break
            frames = len(time_lines(intro.stdout()))
            if rss is not None:
                last = rss
                if at_frame_300 is None and frames >= 300:
                    at_frame_300 = rss
            self.assertLess(time.monotonic() - started, 200, "the run did not end by itself")
            time.sleep(0.2)
        status = intro.wait()
        elapsed = time.monotonic() - started
        self.assertExitedNormally(status, 0, intro)
        self.assertGreater(elapsed, 134.0)

        lines = complete_lines(intro.stdout())
        frames = sum(1 for line in lines if re.match(r"^\d+(\.\d+)?$", line))
        sizes = sum(1 for line in lines if SIZE_LINE.match(line))
        self.assertGreater(frames // 30, 20, "too few rebuilds to tell anything")
        self.assertEqual(sizes, 1 + frames // 30, "every rebuild prints its size line")
        self.assertFalse([line for line in lines if line.startswith("Error from")])
        self.assertEqual(intro.stderr(), "")
        print("\nsoak: %d frames, %d rebuilds, %d shader edits, resident %.1f MiB at frame 300, "
              "%.1f MiB at the end" % (frames, frames // 30, edits, at_frame_300 / MIB, last / MIB))
        # Memory the start-up used may still be returned later, so the end can
        # be lower; it must not be more than 8 MiB higher.
        self.assertLessEqual(last - at_frame_300, 8 * MIB)


if __name__ == "__main__":
    unittest.main()
