#!/usr/bin/env python3
"""Checks tools/export-video's logic against stand-ins: helpers/fake_intro.py
as the intro (frame files, no GL) and helpers/fake_ffmpeg.py as ffmpeg (it
records the frames it reads). The exporter runs as in real use, Xvfb
included, but with a capture of a few hundred frames in place of FRAME_COUNT.

Usage: export_test.py SOURCE_DIR
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.path.abspath(sys.argv.pop(1)) if __name__ == "__main__" else os.environ.get("INTRO_SOURCE_DIR", "")
EXPORTER = os.path.join(SOURCE_DIR, "tools", "export-video")
FAKE_INTRO = os.path.join(SOURCE_DIR, "tests", "helpers", "fake_intro.py")
FAKE_FFMPEG = os.path.join(SOURCE_DIR, "tests", "helpers", "fake_ffmpeg.py")
SOUNDTRACK = "lumiter_party_biisi.wav"
FRAMES = 300

# Runs the exporter's main() with a given frame count, with its rename gate
# or with SIGSTOP alone: python3 -c RUNNER FRAME_COUNT gate|stop ARGS...
RUNNER = """import importlib.machinery, importlib.util, sys
loader = importlib.machinery.SourceFileLoader("export_video", %r)
module = importlib.util.module_from_spec(importlib.util.spec_from_loader("export_video", loader))
loader.exec_module(module)
sys.exit(module.main(sys.argv[3:], int(sys.argv[1]), sys.argv[2] == "gate"))
""" % EXPORTER

PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    """Makes processes that the exporter leaves behind this process's
    children, where leftovers() finds them, rather than init's."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


def leftovers():
    """The pids of this process's children, running or not yet reaped; the
    ones left behind are ended here, so that one failure does not spread."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == os.getpid():
            found.append(int(entry))
    for pid in found:
        try:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        except (ProcessLookupError, ChildProcessError):
            pass
    return found


class ExportCase(unittest.TestCase):
    """A run directory with a soundtrack, an output folder, a private TMPDIR
    for the exporter's scratch area and a state folder for the stand-ins."""

    @classmethod
    def setUpClass(cls):
        become_subreaper()

    def folder(self, prefix):
        path = tempfile.mkdtemp(prefix=prefix)
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def setUp(self):
        self.base = self.folder("export-test-")
        self.run_dir = os.path.join(self.base, "run")
        os.makedirs(os.path.join(self.run_dir, "images"))
        with open(os.path.join(self.run_dir, SOUNDTRACK), "wb") as f:
            f.write(b"RIFF")
        self.out_dir = self.folder("export-out-")
        self.output = os.path.join(self.out_dir, "intro.mp4")
        self.tmp = self.folder("export-tmp-")
        self.state = self.folder("export-state-")
        self.bin = self.folder("export-bin-")
        os.symlink(FAKE_FFMPEG, os.path.join(self.bin, "ffmpeg"))
        self.env = dict(os.environ, TMPDIR=self.tmp, FAKE_STATE=self.state, FAKE_INTRO_FRAMES=str(FRAMES),
                        PATH=self.bin + os.pathsep + os.environ["PATH"])
        self.env.pop("DISPLAY", None)

    def start(self, args=None, frames=FRAMES, hold="gate", **env):
        args = ["--size", "64x48", FAKE_INTRO, self.run_dir, self.output] if args is None else args
        return subprocess.Popen([sys.executable, "-c", RUNNER, str(frames), hold] + args,
                                env=dict(self.env, **env), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                text=True, start_new_session=True)

    def export(self, args=None, frames=FRAMES, hold="gate", **env):
        """Runs the exporter to its end; returns (status, stderr)."""
        process = self.start(args, frames, hold, **env)
        _, stderr = process.communicate(timeout=300)
        return process.returncode, stderr

    def read_state(self, name):
        with open(os.path.join(self.state, name)) as f:
            return f.read().split()

    def assertFailedCleanly(self, status, stderr, cause):
        """One line naming the cause first, a failure status, and nothing
        left: no video, no temporary file, no scratch area, no process."""
        self.assertNotIn(status, (0, 2), stderr)
        first = [line for line in stderr.splitlines() if " frames (" not in line][0]
        self.assertTrue(first.startswith("export-video: ") and cause in first, stderr)
        self.assertEqual(os.listdir(self.out_dir), [])
        self.assertEqual(os.listdir(self.tmp), [])
        self.assertEqual(leftovers(), [])


class StreamTest(ExportCase):

    def test_every_frame_reaches_ffmpeg_once_in_order_and_nothing_is_left(self):
        before = sorted(os.walk(self.base))
        status, stderr = self.export()
        self.assertEqual(status, 0, stderr)
        self.assertEqual(self.read_state("frames"), [str(n) for n in range(FRAMES)])
        with open(self.output, "rb") as f:
            self.assertEqual(f.read(), b"fake video of %d frames\n" % FRAMES)
        self.assertEqual(os.listdir(self.out_dir), ["intro.mp4"])
        self.assertEqual(os.listdir(self.tmp), [])
        self.assertEqual(sorted(os.walk(self.base)), before)
        self.assertEqual(leftovers(), [])
        # Without a terminal, one progress line every 5 %.
        progress = [line for line in stderr.splitlines() if " frames (" in line]
        self.assertEqual([line.split("(")[1].split(")")[0] for line in progress],
                         ["%d %%" % (5 * step) for step in range(1, 21)])
        self.assertIn("export-video: 300 of 300 frames (100 %)", progress[-1])

    def test_ffmpeg_gets_the_encoding_options(self):
        status, stderr = self.export(["--crf", "23", FAKE_INTRO, self.run_dir, self.output])
        self.assertEqual(status, 0, stderr)
        args = " ".join(self.read_state("args"))
        for option in ("-f image2pipe -c:v bmp -framerate 60 -i pipe:0",
                       "-i " + os.path.join(self.run_dir, SOUNDTRACK), "-c:v libx264", "-crf 23",
                       "-pix_fmt yuv420p", "-c:a aac -b:a 192k", "-movflags +faststart",
                       "pad=ceil(iw/2)*2:ceil(ih/2)*2"):
            self.assertIn(option, args)
        # The video is written beside the output under another name.
        written = self.read_state("args")[-1]
        self.assertEqual(os.path.dirname(written), self.out_dir)
        self.assertNotEqual(written, self.output)

    def test_the_intros_renames_wait_while_63_frames_wait(self):
        status, stderr = self.export(frames=400, FAKE_INTRO_FRAMES="400", FAKE_FFMPEG_WAIT_HELD="63")
        self.assertEqual(status, 0, stderr)
        self.assertEqual(self.read_state("held"), ["1"])
        # ffmpeg reads nothing until the intro waits with 63 frame files in
        # place (and the 64th frame in its temporary file); had the gate let
        # one more rename through, the intro would have counted 64.
        self.assertEqual(self.read_state("peak"), ["63"])
        self.assertEqual(self.read_state("frames"), [str(n) for n in range(400)])

    def test_without_the_gate_the_intro_is_stopped_while_32_frames_wait(self):
        status, stderr = self.export(frames=400, hold="stop", FAKE_INTRO_FRAMES="400",
                                     FAKE_FFMPEG_WAIT_HELD="stop")
        self.assertEqual(status, 0, stderr)
        self.assertEqual(self.read_state("held"), ["1"])
        # Stopped once 32 frames wait, perhaps before it counts the 32nd.
        self.assertGreaterEqual(int(self.read_state("peak")[0]), 31)
        self.assertEqual(self.read_state("frames"), [str(n) for n in range(400)])


class FailureTest(ExportCase):

    def test_a_frame_the_intro_could_not_write_is_an_error(self):
        status, stderr = self.export(FAKE_INTRO_SKIP="100")
        self.assertFailedCleanly(status, stderr, "frame 100 is missing")
        self.assertIn("Could not write capture/frame100.bmp: No space left on device", stderr)

    def test_an_intro_that_ends_before_the_last_frame_is_an_error(self):
        status, stderr = self.export(FAKE_INTRO_FRAMES="250")
        self.assertFailedCleanly(status, stderr, "the intro ended after 250 of 300 frames")

    def test_a_last_frame_the_intro_could_not_write_is_an_early_end_with_its_words(self):
        status, stderr = self.export(FAKE_INTRO_SKIP=str(FRAMES - 1))
        self.assertFailedCleanly(status, stderr, "the intro ended after 299 of 300 frames; it said:")
        self.assertIn("\nCould not write capture/frame299.bmp: No space left on device\n", stderr)

    def test_the_intros_own_message_is_passed_on(self):
        status, stderr = self.export(FAKE_INTRO_FAIL="Could not find the file intro.frag")
        self.assertFailedCleanly(status, stderr, "the intro failed with exit status 1 at start-up")
        self.assertIn("\nCould not find the file intro.frag\n", stderr)

    def test_a_failing_ffmpeg_is_an_error_with_its_last_lines(self):
        status, stderr = self.export(FAKE_FFMPEG_FAIL_AFTER="50")
        self.assertFailedCleanly(status, stderr, "ffmpeg failed (exit status 1)")
        self.assertIn("[fake] Conversion failed after frame 49", stderr)

    def test_a_missing_ffmpeg_is_named(self):
        os.remove(os.path.join(self.bin, "ffmpeg"))
        os.symlink(shutil.which("Xvfb"), os.path.join(self.bin, "Xvfb"))
        status, stderr = self.export(PATH=self.bin)
        self.assertFailedCleanly(status, stderr, "ffmpeg is not installed or not on PATH")

    def test_sigterm_half_way_ends_everything(self):
        process = self.start(frames=2000, FAKE_INTRO_FRAMES="2000")
        for line in process.stderr:
            if "(50 %)" in line:
                break
        os.killpg(process.pid, signal.SIGTERM)
        _, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 128 + signal.SIGTERM)
        self.assertFailedCleanly(process.returncode, stderr, "interrupted by SIGTERM")

    def test_bad_usage_prints_the_usage_and_exits_2(self):
        for args in ([], [FAKE_INTRO, self.run_dir], ["--size", "0x90", FAKE_INTRO, self.run_dir, self.output],
                     ["--size", "160", FAKE_INTRO, self.run_dir, self.output],
                     ["--crf", "52", FAKE_INTRO, self.run_dir, self.output],
                     ["--bogus", FAKE_INTRO, self.run_dir, self.output]):
            with self.subTest(args=args):
                status, stderr = self.export(args)
                self.assertEqual(status, 2, stderr)
                self.assertTrue(stderr.startswith("usage: export-video [-h] [--size WxH] [--crf N] [--screen]"),
                                stderr)
                self.assertEqual(os.listdir(self.out_dir), [])


if __name__ == "__main__":
    unittest.main()
