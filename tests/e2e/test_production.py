"""The production end to end: the real data/intro.frag plays the whole intro
in capture mode without a word from the shader compiler, each section of the
soundtrack shows a picture of its own, the drops flash in time with the music,
the picture rises from and fades to black, and a normal run draws without a
driver error."""

import os
import time
import unittest

from harness import CONSTANTS, IntroTestCase, scratch_dir
from test_capture import frame_path, read_bmp

# A small window, so that all the frames are drawn and written quickly.
WIDTH, HEIGHT = 96, 54
FRAMES = CONSTANTS["kCaptureFrameCount"]

# The soundtrack's sections and the second each starts at.
SECTIONS = [("intro", 0), ("buildup", 15), ("drop_a", 30), ("drop_b", 45),
            ("breakdown", 60), ("buildup2", 75), ("finale", 90), ("outro", 120)]
# Each section is looked at this far in, past any fade from the section before.
SETTLE_SECONDS = 2
# The drops at bars 16 and 48 open on a white flash.
DROP_SECONDS = (30, 90)


def frame_of(seconds):
    return int(round(seconds * 60))


# The frames the checks look at; the capture deletes all others as it goes.
CHECKED_FRAMES = ({0, FRAMES - 1}
                  | {frame_of(start + SETTLE_SECONDS) for _, start in SECTIONS}
                  | {frame_of(drop) for drop in DROP_SECONDS}
                  | {frame_of(drop) - 60 for drop in DROP_SECONDS})


def pixels(path):
    """The frame's pixels as one list of (r, g, b) tuples."""
    _, _, rows, _, _ = read_bmp(path)
    return [pixel for row in rows for pixel in row]


def spread(picture):
    """The standard deviation of the pixels' brightness."""
    levels = [sum(pixel) / 3.0 for pixel in picture]
    mean = sum(levels) / len(levels)
    return (sum((level - mean) ** 2 for level in levels) / len(levels)) ** 0.5


def mean_difference(first, second):
    """The mean absolute difference of two frames, per channel."""
    total = sum(abs(a - b) for p, q in zip(first, second) for a, b in zip(p, q))
    return total / (3.0 * len(first))


class WholeProductionTest(IntroTestCase):
    """One capture of the whole intro, checked frame by frame afterwards."""

    def setUp(self):
        self.cwd = scratch_dir(self)
        os.makedirs(os.path.join(self.cwd, "capture"))
        kept = {"frame%d.bmp" % number for number in CHECKED_FRAMES}
        self.intro = self.start(width=WIDTH, height=HEIGHT, cwd=self.cwd, args=["--capture"])
        capture = os.path.join(self.cwd, "capture")
        deadline = time.monotonic() + 300
        while self.intro.process.poll() is None and time.monotonic() < deadline:
            for entry in os.scandir(capture):
                if entry.name.endswith(".bmp") and entry.name not in kept:
                    os.remove(entry.path)
            time.sleep(0.2)
        self.status = self.intro.wait(timeout=10)

    def frame(self, number):
        path = frame_path(self.cwd, number)
        self.assertTrue(os.path.exists(path), "frame %d was not captured" % number)
        return pixels(path)

    def test_the_whole_run(self):
        with self.subTest("the run ends by itself after the last frame, without a word from the shader"):
            self.assertExitedNormally(self.status, 0, self.intro)
            self.assertEqual(self.intro.stderr(), "")
            self.assertNotIn("Message:", self.intro.stdout(), "the driver reported on the shader")
            self.assertTrue(os.path.exists(frame_path(self.cwd, FRAMES - 1)))
            self.assertFalse(os.path.exists(frame_path(self.cwd, FRAMES)))

        pictures = {}
        for name, start in SECTIONS:
            with self.subTest("the %s shows a picture" % name):
                picture = self.frame(frame_of(start + SETTLE_SECONDS))
                pictures[name] = picture
                self.assertGreater(len(set(picture)), 20, "hardly any colours")
                self.assertGreater(spread(picture), 4.0, "nearly one flat colour")

        names = [name for name, _ in SECTIONS if name in pictures]
        for index, first in enumerate(names):
            for second in names[index + 1:]:
                with self.subTest("the %s and the %s look different" % (first, second)):
                    self.assertGreater(mean_difference(pictures[first], pictures[second]), 8.0)

        for drop in DROP_SECONDS:
            with self.subTest("the drop at %d s flashes" % drop):
                flash = self.frame(frame_of(drop))
                before = self.frame(frame_of(drop) - 60)
                self.assertGreater(min(min(pixel) for pixel in flash), 200, "no white flash on the drop")
                self.assertLess(sum(map(sum, before)) / (3.0 * len(before)), 200, "white a second early")

        for number, moment in ((0, "first"), (FRAMES - 1, "last")):
            with self.subTest("the %s frame is black" % moment):
                self.assertLessEqual(max(max(pixel) for pixel in self.frame(number)), 3)


class NormalRunTest(IntroTestCase):

    def test_a_normal_run_draws_without_driver_errors(self):
        intro = self.start(width=640, height=360)
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        text = intro.wait_for_output(lambda t: "FPS: " in t, timeout=60)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertIn("FPS: ", text, "not even 101 frames drawn")
        errors = [line for line in intro.stdout().splitlines() if line.startswith("Error from")]
        self.assertEqual(errors, [])
        self.assertEqual(intro.stderr(), "")


if __name__ == "__main__":
    unittest.main()
