"""The whole intro at 320x240 in real time: it must end by itself with status
0 after 135 s without growing, print every rebuild's size line and draw
without a driver error. It takes about two and a half minutes.

Until 20 s before the end the shader is edited again as soon as a rebuild has
surely picked up the last edit, so that every edit is exactly one real
rebuild that compiles and links. The driver's compiler takes memory of its
own during its first builds, so the baseline comes after the first ten real
rebuilds; from then on the resident memory must not grow with the number of
rebuilds. It is judged by the least-squares slope of the resident memory
against the rebuild count, which a leak of one program per rebuild raises and
a one-time step or a sample caught mid-rebuild barely moves."""

import os
import re
import statistics
import time
import unittest

from harness import IntroTestCase, replace_file, scratch_dir
from test_intro import SIZE_LINE, complete_lines

KIB = 1024
MIB = 1024 * KIB
WARM_UP_REBUILDS = 10
WINDOW_REBUILDS = 10
# The driver keeps about 4.5 MiB for one linked program of the bundled shader
# and the message texture takes over 1 MiB: a leak of either per rebuild is
# far above this. Without a leak the median is 0.
ALLOWED_GROWTH_PER_REBUILD = 256 * KIB


def resident_bytes(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    return None


def size_lines(text):
    return sum(1 for line in complete_lines(text) if SIZE_LINE.match(line))


def median_growth(samples, window):
    """The median over every run of window consecutive samples of (rebuild
    count, resident bytes) of the growth per rebuild within it."""
    return statistics.median((later[1] - earlier[1]) / (later[0] - earlier[0])
                             for earlier, later in zip(samples, samples[window:]))


class SoakTest(IntroTestCase):

    def test_a_full_run_ends_by_itself_without_growing(self):
        cwd = scratch_dir(self)
        shader = os.path.join(cwd, "data", "intro.frag")
        with open(shader) as f:
            original = f.read()
        intro = self.start(width=320, height=240, cwd=cwd)
        started = time.monotonic()
        edits = 0
        # The size-line count after which the last edit has surely been built:
        # the rebuild that prints the next line may have read the files just
        # before the edit, the one after it cannot have.
        edit_built_at = 0
        samples = []
        while intro.process.poll() is None and time.monotonic() - started < 115.0:
            rebuilds = size_lines(intro.stdout())
            if rebuilds >= edit_built_at:
                try:
                    rss = resident_bytes(intro.process.pid)
                except OSError:
                    break
                if edits > WARM_UP_REBUILDS and rss is not None:
                    samples.append((edits, rss))
                edits += 1
                # A new comment changes the file's bytes, so a rebuild compiles.
                replace_file(shader, original + "\n// edit %d\n" % edits)
                edit_built_at = rebuilds + 2
            intro.wait_for_output(lambda text: size_lines(text) >= edit_built_at, timeout=1)
        status = intro.wait(timeout=100)
        elapsed = time.monotonic() - started
        self.assertExitedNormally(status, 0, intro)
        self.assertGreater(elapsed, 134.0)

        lines = complete_lines(intro.stdout())
        frames = sum(1 for line in lines if re.match(r"^\d+(\.\d+)?$", line))
        sizes = sum(1 for line in lines if SIZE_LINE.match(line))
        self.assertEqual(sizes, 1 + frames // 30, "every rebuild prints its size line")
        self.assertFalse([line for line in lines if line.startswith("Error from")])
        self.assertEqual(intro.stderr(), "")
        growth = median_growth(samples, WINDOW_REBUILDS)
        print("\nsoak: %d frames, %d rebuilds, %d shader edits; resident %.1f MiB after %d edits, "
              "%.1f MiB at the last; growth %.1f KiB per rebuild (allowed %d)"
              % (frames, sizes - 1, edits, samples[0][1] / MIB, samples[0][0], samples[-1][1] / MIB,
                 growth / KIB, ALLOWED_GROWTH_PER_REBUILD // KIB))
        self.assertGreaterEqual(len(samples), 3 * WINDOW_REBUILDS, "too few real rebuilds to tell anything")
        self.assertLessEqual(growth, ALLOWED_GROWTH_PER_REBUILD)


if __name__ == "__main__":
    unittest.main()
