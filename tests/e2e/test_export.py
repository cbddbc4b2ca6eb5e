"""tools/export-video with the real intro, Xvfb and ffmpeg: one whole export
at 160x90 whose frames carry their own numbers, and the failures that only
the real programs show (a shader that does not compile, Ctrl-C half-way)."""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

from harness import BUILD_DIR, CONSTANTS, INTRO, MUSIC_NAME, SHADER_LOG, SOURCE_DIR, Xvfb

sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))
from export_test import become_subreaper, leftovers  # noqa: E402

EXPORTER = os.path.join(SOURCE_DIR, "tools", "export-video")
WIDTH, HEIGHT, BITS = 160, 90, 13

# The frame number (the shader clock times 60, rounded) as 13 wide bars, the
# highest bit on the left, white for 1: bars survive lossy coding.
NUMBER_SHADER = """#version 330
uniform float iGlobalTime;
uniform float width;
out vec4 outputColor;
void main()
{
    int bit = 12 - int(gl_FragCoord.x / width * 13.0);
    outputColor = vec4(vec3(float((int(floor(iGlobalTime * 60.0 + 0.5)) >> bit) & 1)), 1.0);
}
"""


def output_of(command, **kwargs):
    return subprocess.run(command, capture_output=True, check=True, **kwargs).stdout


def probe(video, stream, entries):
    text = output_of(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", "stream=" + entries,
                      "-of", "default=nw=1", video], text=True)
    return dict(line.split("=", 1) for line in text.splitlines())


def shown_numbers(video, frames):
    """The numbers the bars show in these decoded frames."""
    select = "select=" + "+".join("eq(n\\,%d)" % n for n in frames)
    raw = output_of(["ffmpeg", "-v", "error", "-i", video, "-vf", select, "-fps_mode", "passthrough",
                     "-f", "rawvideo", "-pix_fmt", "gray", "-"])
    rows = [raw[start + HEIGHT // 2 * WIDTH:][:WIDTH] for start in range(0, len(raw), WIDTH * HEIGHT)]
    return [sum(1 << (BITS - 1 - bar) for bar in range(BITS) if row[int((bar + 0.5) * WIDTH / BITS)] >= 128)
            for row in rows]


def first_second(path):
    """The first second of path's sound, mono, 8000 samples."""
    raw = output_of(["ffmpeg", "-v", "error", "-i", path, "-t", "1", "-ac", "1", "-ar", "8000", "-f", "s16le", "-"])
    return struct.unpack("<%dh" % (len(raw) // 2), raw)


def best_shift(a, b, limit):
    """The shift of b against a, within limit samples, that correlates best,
    and that correlation, normalised."""
    energy = (sum(x * x for x in a) * sum(y * y for y in b)) ** 0.5
    return max(((shift, sum(a[i] * b[i + shift] for i in range(max(0, -shift), min(len(a), len(b) - shift)))
                 / energy) for shift in range(-limit, limit + 1)), key=lambda pair: pair[1])


class ExportTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        become_subreaper()

    def setUp(self):
        """base/data holds the shaders, base/run the image and the music: the
        intro finds the shaders through its ../data fallback."""
        self.base, self.out_dir, self.tmp = (tempfile.mkdtemp(prefix="export-e2e-") for _ in range(3))
        for path in (self.base, self.out_dir, self.tmp):
            self.addCleanup(shutil.rmtree, path, True)
        self.run_dir = os.path.join(self.base, "run")
        os.makedirs(os.path.join(self.run_dir, "images"))
        os.makedirs(os.path.join(self.base, "data"))
        shutil.copy(os.path.join(SOURCE_DIR, "data", "standard.vert"), os.path.join(self.base, "data"))
        self.shader = os.path.join(self.base, "data", "intro.frag")
        with open(self.shader, "w") as f:
            f.write(NUMBER_SHADER)
        shutil.copy(os.path.join(BUILD_DIR, "images", "long.png"), os.path.join(self.run_dir, "images"))
        shutil.copy(os.path.join(BUILD_DIR, MUSIC_NAME), self.run_dir)
        self.output = os.path.join(self.out_dir, "intro.mp4")

    def start(self):
        env = dict(os.environ, TMPDIR=self.tmp)
        env.pop("DISPLAY", None)
        return subprocess.Popen([EXPORTER, "--size", "%dx%d" % (WIDTH, HEIGHT), INTRO, self.run_dir, self.output],
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                start_new_session=True)

    def assertNothingLeft(self):
        self.assertEqual((os.listdir(self.out_dir), os.listdir(self.tmp), leftovers()), ([], [], []))

    def test_a_whole_export_holds_every_frame_in_place_and_the_soundtrack_from_time_zero(self):
        before = sorted(os.walk(self.base))
        # The frame files in the scratch area, counted every 3 ms meanwhile.
        counts, done = [], threading.Event()

        def sample():
            while not done.wait(0.003):
                for scratch in os.listdir(self.tmp):
                    capture = os.path.join(self.tmp, scratch, "run", "capture")
                    if os.path.isdir(capture):
                        counts.append(sum(1 for name in os.listdir(capture) if name.endswith(".bmp")))
        sampler = threading.Thread(target=sample)
        sampler.start()
        process = self.start()
        _, stderr = process.communicate(timeout=1200)
        done.set()
        sampler.join()
        self.assertEqual(process.returncode, 0, stderr)
        self.assertEqual((os.listdir(self.out_dir), os.listdir(self.tmp), leftovers()), (["intro.mp4"], [], []))
        self.assertEqual(sorted(os.walk(self.base)), before)
        self.assertTrue(counts)
        self.assertLessEqual(max(counts), 64)

        video = probe(self.output, "v:0", "codec_name,pix_fmt,width,height,r_frame_rate,nb_frames,duration")
        self.assertEqual([video[key] for key in ("codec_name", "pix_fmt", "width", "height", "r_frame_rate",
                                                 "nb_frames")], ["h264", "yuv420p", "160", "90", "60/1", str(CONSTANTS["kCaptureFrameCount"])])
        self.assertLessEqual(abs(float(video["duration"]) - 135.0), 1 / 60 + 1e-3)
        audio = probe(self.output, "a:0", "codec_name,duration,start_time,bit_rate")
        self.assertEqual(audio["codec_name"], "aac")
        self.assertAlmostEqual(float(audio["duration"]), 135.0, delta=0.1)
        self.assertAlmostEqual(float(audio["start_time"]), 0.0, delta=1e-3)
        self.assertAlmostEqual(int(audio["bit_rate"]), 192000, delta=20000)
        with open(self.output, "rb") as f:   # the index (moov) right after ftyp
            head = f.read(4096)
        self.assertEqual(head[struct.unpack(">I", head[:4])[0] + 4:][:4], b"moov")

        frames = [0, 1, 59, 60, 4049, 8100]
        self.assertEqual(shown_numbers(self.output, frames), frames)
        ours = first_second(self.output)
        self.assertGreater(max(map(abs, ours)), 1000)
        shift, correlation = best_shift(first_second(os.path.join(self.run_dir, MUSIC_NAME)), ours, 200)
        self.assertLess(abs(shift), 8000 / 60)
        self.assertGreater(correlation, 0.9)

    def test_a_shader_that_does_not_compile_ends_the_export_with_the_drivers_log(self):
        with open(self.shader, "w") as f:
            f.write("#version 330\nout vec4 outputColor;\nvoid main() { outputColor = 1; }\n")
        with Xvfb(64, 64) as xvfb:
            log = output_of([SHADER_LOG, "fragment", self.shader], text=True,
                            env=dict(os.environ, DISPLAY=xvfb.display, LIBGL_ALWAYS_SOFTWARE="1")).strip()
        self.assertNotEqual(log, "")
        process = self.start()
        _, stderr = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 1, stderr)
        # The intro names the shader as it found it from its scratch folder.
        self.assertEqual(stderr, "export-video: the intro failed with exit status 1 at start-up; it said:\n"
                         "../data/intro.frag:\n%s\n" % log)
        self.assertNothingLeft()

    def test_ctrl_c_half_way_stops_everything_and_leaves_nothing(self):
        process = self.start()
        for line in process.stderr:
            if "(50 %)" in line:
                break
        self.assertIsNone(process.poll())
        os.killpg(process.pid, signal.SIGINT)
        _, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 128 + signal.SIGINT, stderr)
        self.assertEqual([line for line in stderr.splitlines() if " frames (" not in line],
                         ["export-video: interrupted by SIGINT; no video written"])
        self.assertNothingLeft()


if __name__ == "__main__":
    unittest.main()
