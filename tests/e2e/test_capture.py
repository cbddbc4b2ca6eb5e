"""Capture mode end to end: the files, their pictures and their times, and
what happens when a frame cannot be written."""

import os
import struct
import subprocess
import unittest

from harness import CONSTANTS, FAKETIME_LIBRARY, SOURCE_DIR, IntroTestCase, replace_file, scratch_dir
from test_intro import time_lines, wait_for_frames

# Red carries the shader time (a quarter of it), green the column, blue the row
# (1 at the top of the window), so a captured file shows when and where each
# pixel was drawn.
PROBE_SHADER = """#version 330
uniform float iGlobalTime;
uniform float width;
uniform float height;
out vec4 outputColor;
void main()
{
    outputColor = vec4(iGlobalTime * 0.25, gl_FragCoord.x / width, gl_FragCoord.y / height, 1.0);
}
"""
SOLID_SHADER = "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = vec4(%s, 1.0); }\n"


def read_bmp(path):
    """(width, height, rows top row first of (r, g, b) tuples, file size, row stride)."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"BM", path
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for file_row in range(height - 1, -1, -1):
        start = offset + file_row * stride
        line = data[start:start + width * 3]
        rows.append([(line[i + 2], line[i + 1], line[i]) for i in range(0, len(line), 3)])
    return width, height, rows, len(data), stride


def bmp_size(path):
    """(width, height) from a BMP file's header."""
    with open(path, "rb") as f:
        return struct.unpack_from("<ii", f.read(26), 18)


def first_frame_of_size(intro, cwd, first, size, timeout=60):
    """The number of the first captured frame from `first` on that is size
    (width, height), waiting for each file as the run writes it; None when
    the run ends or the time is up first."""
    number = [first]

    def found():
        while os.path.exists(frame_path(cwd, number[0])):
            if bmp_size(frame_path(cwd, number[0])) == size:
                return True
            number[0] += 1
        return False
    return number[0] if intro.wait_until(found, timeout, [os.path.join(cwd, "capture")]) else None


def capture_dir(test, shader=PROBE_SHADER, make_capture=True):
    cwd = scratch_dir(test)
    with open(os.path.join(cwd, "data", "intro.frag"), "w") as f:
        f.write(shader)
    if make_capture:
        os.makedirs(os.path.join(cwd, "capture"))
    return cwd


def frame_path(cwd, number):
    return os.path.join(cwd, "capture", "frame%d.bmp" % number)


class CaptureTest(IntroTestCase):

    def run_capture(self, cwd, frames, width=320, height=240, **kwargs):
        """Captures until frame `frames` exists, then presses Escape."""
        intro = self.start(width=width, height=height, cwd=cwd, args=["--capture"], **kwargs)
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        intro.wait_until(lambda: os.path.exists(frame_path(cwd, frames)), 120, [os.path.join(cwd, "capture")])
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        return intro

    def test_frames_carry_the_fixed_step_clock_and_stand_upright(self):
        cwd = capture_dir(self)
        self.run_capture(cwd, 61)
        width, height, rows, _, _ = read_bmp(frame_path(cwd, 0))
        self.assertEqual((width, height), (320, 240))
        self.assertEqual(rows[0][0][0], 0, "frame 0 shows time 0")
        _, _, rows60, _, _ = read_bmp(frame_path(cwd, 60))
        self.assertAlmostEqual(rows60[0][0][0], 64, delta=1, msg="frame 60 shows time 1.0")
        _, _, rows30, _, _ = read_bmp(frame_path(cwd, 30))
        self.assertAlmostEqual(rows30[0][0][0], 32, delta=1, msg="frame 30 shows time 0.5")

        self.assertGreater(rows[0][0][2], 250, "the window's top row is the image's top row")
        self.assertLess(rows[-1][0][2], 5)
        self.assertLess(rows[0][0][1], 5, "the left column is on the left")
        self.assertGreater(rows[0][-1][1], 250)

    def test_a_width_that_is_not_a_multiple_of_four_pads_the_rows(self):
        cwd = capture_dir(self)
        self.run_capture(cwd, 2, width=333, height=250)
        width, height, rows, size, stride = read_bmp(frame_path(cwd, 1))
        self.assertEqual((width, height), (333, 250))
        self.assertEqual(stride, 1000)
        self.assertEqual(size, 54 + 1000 * 250)
        self.assertGreater(rows[0][332][1], 250)

    def test_an_existing_file_is_replaced(self):
        cwd = capture_dir(self)
        with open(frame_path(cwd, 0), "wb") as f:
            f.write(b"stale" * 1000)
        self.run_capture(cwd, 3)
        width, height, _, size, _ = read_bmp(frame_path(cwd, 0))
        self.assertEqual(size, 54 + 320 * 3 * 240)

    def test_a_missing_capture_directory_is_reported_once_and_fails_the_run(self):
        cwd = capture_dir(self, make_capture=False)
        intro = self.start(cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window())
        intro.wait_for_output(lambda text: text.count("\n") > 40)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 1, intro)
        frames = len(time_lines(intro.stdout()))
        self.assertEqual(intro.stderr().splitlines(), [
            "Could not write capture/frame0.bmp: No such file or directory",
            "Could not write %d of %d frames (first capture/frame0.bmp, last capture/frame%d.bmp)"
            % (frames, frames, frames - 1)])
        self.assertFalse(os.path.exists(os.path.join(cwd, "capture")))

    def test_a_hidden_window_is_said_to_hold_the_capture_until_it_shows_again(self):
        cwd = capture_dir(self)
        intro = self.start(cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window())
        folders = [os.path.join(cwd, "capture")]
        intro.wait_until(lambda: os.path.exists(frame_path(cwd, 5)), 60, folders)
        intro.unmap()
        waits = "The capture waits while its window is hidden\n"
        self.assertTrue(intro.wait_until(lambda: intro.stderr() == waits), "stderr: %r" % intro.stderr())
        intro.map()
        self.assertTrue(intro.wait_until(lambda: intro.stderr() == waits + "The capture goes on\n"),
                        "stderr: %r" % intro.stderr())
        after = len(time_lines(intro.stdout()))
        self.assertTrue(intro.wait_until(lambda: os.path.exists(frame_path(cwd, after + 30)), 60, folders))
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(intro.stderr(), waits + "The capture goes on\n")

    def test_a_normal_run_says_nothing_of_a_hidden_window(self):
        intro = self.start(cwd=scratch_dir(self))
        self.assertIsNotNone(intro.wait_window())
        wait_for_frames(intro, 5)
        intro.unmap()
        intro.map()
        wait_for_frames(intro, len(time_lines(intro.stdout())) + 30)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(intro.stderr(), "")

    def test_an_edited_shader_shows_up_in_later_frames(self):
        cwd = capture_dir(self, shader=SOLID_SHADER % "1.0, 0.0, 0.0")
        intro = self.start(cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window())
        intro.wait_for_output(lambda text: os.path.exists(frame_path(cwd, 5)))
        replace_file(os.path.join(cwd, "data", "intro.frag"), SOLID_SHADER % "0.0, 0.0, 1.0")
        edited_at = len(os.listdir(os.path.join(cwd, "capture")))
        intro.wait_until(lambda: os.path.exists(frame_path(cwd, edited_at + 70)), 60, [os.path.join(cwd, "capture")])
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(read_bmp(frame_path(cwd, 0))[2][0][0], (255, 0, 0))
        self.assertEqual(read_bmp(frame_path(cwd, edited_at + 70))[2][0][0], (0, 0, 255))

    def test_a_broken_edit_leaves_every_frame_as_the_last_good_shader_draws_it(self):
        cwd = capture_dir(self, shader=SOLID_SHADER % "1.0, 0.0, 0.0")
        intro = self.start(width=320, height=240, cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window())
        intro.wait_for_output(lambda text: os.path.exists(frame_path(cwd, 5)))
        replace_file(os.path.join(cwd, "data", "intro.frag"), "#version 330\nvoid main() { broken }\n")
        intro.wait_until(lambda: intro.stderr() != "")
        self.assertNotEqual(intro.stderr(), "", "the broken edit was never built")
        last = len(time_lines(intro.stdout())) + 40
        intro.wait_for_output(lambda text: os.path.exists(frame_path(cwd, last)))
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        red = bytes((0, 0, 255)) * (320 * 240)
        for number in range(last + 1):
            with open(frame_path(cwd, number), "rb") as f:
                self.assertEqual(f.read()[54:], red, "frame %d" % number)


class FullCaptureTest(IntroTestCase):

    def test_a_capture_holds_the_whole_intro_however_fast_the_wall_clock_runs(self):
        cwd = capture_dir(self, shader=SOLID_SHADER % "0.2, 0.4, 0.6")
        intro = self.start(width=64, height=48, cwd=cwd, args=["--capture"],
                           env={"LD_PRELOAD": FAKETIME_LIBRARY,
                                "FAKETIME": "+0 x20", "FAKETIME_NO_CACHE": "1"})
        self.assertExitedNormally(intro.wait(timeout=600), 0, intro)
        names = os.listdir(os.path.join(cwd, "capture"))
        self.assertEqual(len(names), CONSTANTS["kCaptureFrameCount"])
        self.assertIn("frame%d.bmp" % (CONSTANTS["kCaptureFrameCount"] - 1), names)
        self.assertEqual(intro.stderr(), "")


class VideoTest(IntroTestCase):

    def test_make_video_turns_a_short_capture_into_an_mp4_of_the_same_length(self):
        cwd = capture_dir(self)
        intro = self.start(width=322, height=242, cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window())
        intro.wait_for_output(lambda text: os.path.exists(frame_path(cwd, 130)))
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        frames = len(os.listdir(os.path.join(cwd, "capture")))

        video = os.path.join(cwd, "intro.mp4")
        result = subprocess.run([os.path.join(SOURCE_DIR, "tools", "make-video"),
                                 os.path.join(cwd, "capture"), os.path.join(cwd, "lumiter_party_biisi.wav"),
                                 video], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                                "stream=codec_name,pix_fmt,nb_frames,duration", "-of", "compact", video],
                               capture_output=True, text=True, check=True).stdout
        self.assertIn("codec_name=h264", probe)
        self.assertIn("pix_fmt=yuv420p", probe)
        self.assertIn("codec_name=aac", probe)
        self.assertIn("nb_frames=%d" % frames, probe)
        duration = float(subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration",
                                         "-of", "default=nw=1:nk=1", video],
                                        capture_output=True, text=True, check=True).stdout)
        self.assertAlmostEqual(duration, frames / CONSTANTS["kCaptureFramesPerSecond"], delta=0.05)


if __name__ == "__main__":
    unittest.main()
