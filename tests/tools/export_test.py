#!/usr/bin/env python3
"""Checks tools/export-video's logic against stand-ins: helpers/fake_intro.py
as the intro (frame files, no GL) and helpers/fake_ffmpeg.py as ffmpeg. The
exporter runs as in use, Xvfb included, but for 300 frames, not 8101.

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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import intro_constants  # noqa: E402

SOUNDTRACK = intro_constants.read()["kSoundtrackFile"]

SOURCE_DIR = os.path.abspath(sys.argv.pop(1)) if __name__ == "__main__" else os.environ.get("INTRO_SOURCE_DIR", "")
EXPORTER = os.path.join(SOURCE_DIR, "tools", "export-video")
FAKE_INTRO = os.path.join(SOURCE_DIR, "tests", "helpers", "fake_intro.py")
FRAMES = 300

# Runs the exporter's main() for FRAME_COUNT frames, with its rename gate or
# with SIGSTOP alone: python3 -c RUNNER FRAME_COUNT gate|stop ARGS...
RUNNER = """import importlib.machinery, importlib.util, sys
loader = importlib.machinery.SourceFileLoader("export_video", %r)
module = importlib.util.module_from_spec(importlib.util.spec_from_loader("export_video", loader))
loader.exec_module(module)
sys.exit(module.main(sys.argv[3:], int(sys.argv[1]), sys.argv[2] == "gate"))
""" % EXPORTER


def become_subreaper():
    """Processes the exporter leaves behind become this process's children,
    where leftovers() finds them, rather than init's."""
    if ctypes.CDLL(None).prctl(36, 1, 0, 0, 0) != 0:   # PR_SET_CHILD_SUBREAPER
        raise OSError("prctl(PR_SET_CHILD_SUBREAPER) failed")


def leftovers():
    """This process's children still there; they are ended here."""
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % entry) as f:
                if int(f.read().rsplit(")", 1)[1].split()[1]) == os.getpid():
                    found.append(int(entry))
        except OSError:
            continue
    for pid in found:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
    return found


class ExportCase(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        become_subreaper()

    def folder(self):
        path = tempfile.mkdtemp(prefix="export-test-")
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def setUp(self):
        self.base, self.out_dir, self.tmp, self.state, self.bin = (self.folder() for _ in range(5))
        self.run_dir = os.path.join(self.base, "run")
        os.makedirs(self.run_dir)
        open(os.path.join(self.run_dir, SOUNDTRACK), "w").close()
        self.output = os.path.join(self.out_dir, "intro.mp4")
        os.symlink(os.path.join(SOURCE_DIR, "tests", "helpers", "fake_ffmpeg.py"), os.path.join(self.bin, "ffmpeg"))
        self.env = dict(os.environ, TMPDIR=self.tmp, FAKE_STATE=self.state, FAKE_INTRO_FRAMES=str(FRAMES),
                        PATH=self.bin + os.pathsep + os.environ["PATH"])

    def export(self, args=None, hold="gate", **env):
        """Runs the exporter to its end; returns (status, stderr)."""
        args = ["--size", "64x48", FAKE_INTRO, self.run_dir, self.output] if args is None else args
        result = subprocess.run([sys.executable, "-c", RUNNER, str(FRAMES), hold] + args, env=dict(self.env, **env),
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=300)
        return result.returncode, result.stderr

    def state_of(self, name):
        with open(os.path.join(self.state, name)) as f:
            return f.read().split()

    def assertFailedCleanly(self, status, stderr, cause):
        """One line naming the cause, a failure status, and nothing left: no
        video, temporary file, scratch area or process."""
        self.assertNotIn(status, (0, 2), stderr)
        self.assertIn(cause, [line for line in stderr.splitlines() if " frames (" not in line][0])
        self.assertEqual((os.listdir(self.out_dir), os.listdir(self.tmp), leftovers()), ([], [], []))


class StreamTest(ExportCase):

    def test_every_frame_reaches_ffmpeg_once_in_order_and_nothing_is_left(self):
        before = sorted(os.walk(self.base))
        status, stderr = self.export(["--crf", "23", FAKE_INTRO, self.run_dir, self.output])
        self.assertEqual(status, 0, stderr)
        self.assertEqual(self.state_of("frames"), [str(n) for n in range(FRAMES)])
        self.assertEqual(os.listdir(self.out_dir), ["intro.mp4"])
        with open(self.output) as f:
            self.assertEqual(f.read(), "300 frames\n")
        self.assertEqual((sorted(os.walk(self.base)), os.listdir(self.tmp), leftovers()), (before, [], []))
        progress = [line.split("(")[1].split(")")[0] for line in stderr.splitlines() if " frames (" in line]
        self.assertEqual(progress, ["%d %%" % (5 * step) for step in range(1, 21)])
        args = " ".join(self.state_of("args"))
        for option in ("-f image2pipe -c:v bmp -framerate 60 -i pipe:0", "-c:v libx264", "-crf 23",
                       "-i " + os.path.join(self.run_dir, SOUNDTRACK), "-pix_fmt yuv420p",
                       "-c:a aac -b:a 192k", "-movflags +faststart", "pad=ceil(iw/2)*2:ceil(ih/2)*2",
                       "-f mp4 " + self.out_dir + "/.intro.mp4."):
            self.assertIn(option, args)

    def test_the_intros_renames_wait_while_63_frames_wait(self):
        status, stderr = self.export(FAKE_FFMPEG_WAIT_HELD="63")
        self.assertEqual(status, 0, stderr)
        # ffmpeg reads nothing until the intro waits with 63 frame files in
        # place (and the 64th frame in its temporary file); had the gate let
        # one more rename through, the intro would have counted 64.
        self.assertEqual((self.state_of("held"), self.state_of("peak")), (["1"], ["63"]))
        self.assertEqual(self.state_of("frames"), [str(n) for n in range(FRAMES)])

    def test_without_the_gate_the_intro_is_stopped_while_32_frames_wait(self):
        status, stderr = self.export(hold="stop", FAKE_FFMPEG_WAIT_HELD="stop")
        self.assertEqual(status, 0, stderr)
        # Stopped once 32 frames wait, perhaps before it counts the 32nd.
        self.assertEqual(self.state_of("held"), ["1"])
        self.assertGreaterEqual(int(self.state_of("peak")[0]), 31)
        self.assertEqual(self.state_of("frames"), [str(n) for n in range(FRAMES)])


class FailureTest(ExportCase):

    def test_each_failure_names_its_cause_and_leaves_nothing(self):
        for env, cause, said in (
                ({"FAKE_INTRO_SKIP": "100"}, "frame 100 is missing: the intro went on to frame 101",
                 "Could not write capture/frame100.bmp: No space left on device"),
                ({"FAKE_INTRO_SKIP": "299"}, "the intro ended after 299 of 300 frames; it said:",
                 "Could not write capture/frame299.bmp: No space left on device"),
                ({"FAKE_FFMPEG_FAIL_AFTER": "50"}, "ffmpeg failed (exit status 1) after",
                 "[fake] Conversion failed after frame 49"),
                ({"PATH": self.folder()}, "ffmpeg is not installed or not on PATH", "")):
            with self.subTest(cause):
                status, stderr = self.export(**env)
                self.assertFailedCleanly(status, stderr, cause)
                self.assertIn(said, stderr)

    def test_bad_usage_prints_the_usage_and_exits_2(self):
        for args in ([], ["--size", "0x90", FAKE_INTRO, self.run_dir, self.output],
                     ["--crf", "52", FAKE_INTRO, self.run_dir, self.output]):
            with self.subTest(args=args):
                status, stderr = self.export(args)
                self.assertEqual(status, 2, stderr)
                self.assertTrue(stderr.startswith("usage: export-video [-h] [--size WxH] [--crf N] [--screen]"))


if __name__ == "__main__":
    unittest.main()
