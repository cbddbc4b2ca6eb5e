"""A build with the user's own music (MUSIC=, a 60-second 44.1-kHz WAV): the
programs of a second build folder, made with that setting, play a piece of
the music's length. The intro ends by itself after 60 s of its clock (run
faster), and a whole export is 60 s of picture and of sound."""

import array
import math
import os
import shutil
import subprocess
import tempfile
import wave

from harness import SOURCE_DIR, BUILD_DIR, FAKETIME_LIBRARY, IntroTestCase, scratch_dir
from test_export import EXPORTER, probe
from test_intro import time_lines

SECONDS = 60
RATE = 44100


def write_track(path):
    """60 s of a quiet 440-Hz tone, stereo, 16-bit, 44.1 kHz."""
    period = array.array("h", (int(3000 * math.sin(2 * math.pi * 440 * i / RATE)) for i in range(RATE // 440 * 10)))
    frames = array.array("h")
    for sample in period:
        frames.extend((sample, sample))
    one_second = frames * (RATE // (len(period)) + 1)
    with wave.open(path, "wb") as track:
        track.setnchannels(2)
        track.setsampwidth(2)
        track.setframerate(RATE)
        for _ in range(SECONDS):
            track.writeframes(one_second[:2 * RATE].tobytes())


class OwnMusicTest(IntroTestCase):

    @classmethod
    def setUpClass(cls):
        """Builds the intro and the studio with MUSIC= the track, in a build
        folder of their own beside the tests' build."""
        cls.folder = tempfile.mkdtemp(prefix="intro-own-music-")
        cls.track = os.path.join(cls.folder, "my track.wav")
        write_track(cls.track)
        cls.build = os.path.join(BUILD_DIR, "own-music")
        subprocess.run(["cmake", "-S", SOURCE_DIR, "-B", cls.build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                        "-DINTRO_MUSIC=" + cls.track], check=True, capture_output=True)
        subprocess.run(["cmake", "--build", cls.build, "--target", "intro", "studio", "soundtrack", "-j", "2"],
                       check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, True)

    def run_dir(self):
        """A working directory with the shaders, the image, the build's music
        and its constants, as the build folder holds them."""
        path = scratch_dir(self, music=False)
        os.makedirs(os.path.join(path, "music"))
        shutil.copy(os.path.join(self.build, "music", "my_track.wav"), os.path.join(path, "music"))
        shutil.copy(os.path.join(self.build, "intro_constants.h"), path)
        return path

    def test_the_piece_lasts_as_long_as_the_music(self):
        with open(os.path.join(self.build, "intro_constants.h")) as f:
            header = f.read()
        self.assertIn('kSoundtrackFile = "music/my_track.wav";', header)
        self.assertIn("kIntroSeconds = 60.0;", header)
        self.assertIn("kCaptureFrameCount = 3601;", header)

        run_dir = self.run_dir()
        intro = self.start(width=320, height=240, cwd=run_dir, binary=os.path.join(self.build, "intro"),
                           env={"LD_PRELOAD": FAKETIME_LIBRARY, "FAKETIME": "+0 x100", "FAKETIME_NO_CACHE": "1"})
        self.assertExitedNormally(intro.wait(timeout=120), 0, intro)
        last = float(time_lines(intro.stdout())[-1])
        self.assertLessEqual(last, SECONDS)
        self.assertGreater(last, SECONDS - 5)

        output = os.path.join(run_dir, "piece.mp4")
        export = subprocess.run([EXPORTER, "--size", "64x36", os.path.join(self.build, "studio"), run_dir, output],
                                capture_output=True, text=True, timeout=600)
        self.assertEqual(export.returncode, 0, export.stderr)
        video = probe(output, "v:0", "nb_frames,duration")
        self.assertEqual(int(video["nb_frames"]), SECONDS * 60 + 1)
        self.assertAlmostEqual(float(video["duration"]), SECONDS, delta=0.1)
        self.assertAlmostEqual(float(probe(output, "a:0", "duration")["duration"]), SECONDS, delta=0.1)
