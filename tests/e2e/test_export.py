"""tools/export-video with the real intro, Xvfb and ffmpeg: one whole export
at 160x90 whose frames carry their own numbers, and the failures that only
the real parts show (a shader that does not compile, Ctrl-C half-way)."""

import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

from harness import BUILD_DIR, INTRO, MUSIC_NAME, SHADER_LOG, SOURCE_DIR, Xvfb

sys.path.insert(0, os.path.join(SOURCE_DIR, "tests"))
from export_test import become_subreaper, leftovers  # noqa: E402

EXPORTER = os.path.join(SOURCE_DIR, "tools", "export-video")
FRAME_COUNT = 8101
WIDTH, HEIGHT = 160, 90
BITS = 13

# The frame number (the shader clock times 60, rounded) in 13 wide bars, the
# highest bit on the left, white for 1: bars survive lossy coding.
NUMBER_SHADER = """#version 330
uniform float iGlobalTime;
uniform float width;
out vec4 outputColor;
void main()
{
    int frame = int(floor(iGlobalTime * 60.0 + 0.5));
    int bit = %d - 1 - int(gl_FragCoord.x / width * %d.0);
    outputColor = vec4(vec3(float((frame >> bit) & 1)), 1.0);
}
""" % (BITS, BITS)
BROKEN_SHADER = "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = 1; }\n"
FRAME_FILE = re.compile(r"frame[0-9]+\.bmp")


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, check=True, **kwargs).stdout


def probe(video, entries, stream):
    """ffprobe's key=value pairs for one stream (v:0 or a:0)."""
    text = run(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", entries,
                "-of", "default=nw=1", video], text=True)
    return dict(line.split("=", 1) for line in text.splitlines())


def decoded_numbers(video, frames):
    """The numbers the bars show in the given decoded frames, in order."""
    select = "+".join("eq(n\\,%d)" % n for n in frames)
    raw = run(["ffmpeg", "-v", "error", "-i", video, "-vf", "select=" + select, "-fps_mode", "passthrough",
               "-f", "rawvideo", "-pix_fmt", "gray", "-"])
    numbers = []
    for index in range(len(raw) // (WIDTH * HEIGHT)):
        row = raw[index * WIDTH * HEIGHT + HEIGHT // 2 * WIDTH:][:WIDTH]
        bits = [row[int((bar + 0.5) * WIDTH / BITS)] >= 128 for bar in range(BITS)]
        numbers.append(sum(1 << (BITS - 1 - bar) for bar, on in enumerate(bits) if on))
    return numbers


def first_second(path):
    """The first second of path's sound, mono at 8 kHz, as 16-bit samples."""
    raw = run(["ffmpeg", "-v", "error", "-i", path, "-t", "1", "-ac", "1", "-ar", "8000", "-f", "s16le", "-"])
    return struct.unpack("<%dh" % (len(raw) // 2), raw)


def best_shift(a, b, limit):
    """The shift of b against a (in samples, up to limit either way) that
    correlates best, and that correlation, normalised."""
    energy = (sum(x * x for x in a) * sum(y * y for y in b)) ** 0.5
    best = (0, -1.0)
    n = min(len(a), len(b))
    for shift in range(-limit, limit + 1):
        total = sum(a[i] * b[i + shift] for i in range(max(0, -shift), min(n, n - shift)))
        if total / energy > best[1]:
            best = (shift, total / energy)
    return best


def top_level_boxes(path):
    names = []
    with open(path, "rb") as f:
        while True:
            header = f.read(8)
            if len(header) < 8:
                return names
            size, name = struct.unpack(">I4s", header)
            if size == 1:
                size, = struct.unpack(">Q", f.read(8))
                f.seek(size - 16, 1)
            else:
                f.seek(size - 8, 1)
            names.append(name.decode())


class ScratchSampler(threading.Thread):
    """Counts the frame files in the exporter's scratch area (under tmp) every
    few milliseconds until stopped; keeps the most seen."""

    def __init__(self, tmp):
        super().__init__(daemon=True)
        self.tmp = tmp
        self.most = 0
        self.saw_capture = False
        self.done = threading.Event()

    def run(self):
        while not self.done.wait(0.003):
            for scratch in os.listdir(self.tmp):
                try:
                    names = os.listdir(os.path.join(self.tmp, scratch, "run", "capture"))
                except OSError:
                    continue
                self.saw_capture = True
                self.most = max(self.most, sum(1 for name in names if FRAME_FILE.fullmatch(name)))


class ExportTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        become_subreaper()

    def setUp(self):
        """base/data holds the shaders, base/run the image and the music: the
        intro finds the shaders through its ../data fallback."""
        self.base = tempfile.mkdtemp(prefix="export-e2e-")
        self.addCleanup(shutil.rmtree, self.base, True)
        os.makedirs(os.path.join(self.base, "data"))
        shutil.copy(os.path.join(SOURCE_DIR, "data", "standard.vert"), os.path.join(self.base, "data"))
        self.shader = os.path.join(self.base, "data", "intro.frag")
        with open(self.shader, "w") as f:
            f.write(NUMBER_SHADER)
        self.run_dir = os.path.join(self.base, "run")
        os.makedirs(os.path.join(self.run_dir, "images"))
        shutil.copy(os.path.join(BUILD_DIR, "images", "long.png"), os.path.join(self.run_dir, "images"))
        shutil.copy(os.path.join(BUILD_DIR, MUSIC_NAME), self.run_dir)
        self.out_dir = tempfile.mkdtemp(prefix="export-e2e-out-")
        self.addCleanup(shutil.rmtree, self.out_dir, True)
        self.output = os.path.join(self.out_dir, "intro.mp4")
        self.tmp = tempfile.mkdtemp(prefix="export-e2e-tmp-")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def start(self):
        env = dict(os.environ, TMPDIR=self.tmp)
        env.pop("DISPLAY", None)
        return subprocess.Popen([EXPORTER, "--size", "%dx%d" % (WIDTH, HEIGHT), INTRO, self.run_dir, self.output],
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                start_new_session=True)

    def assertNothingLeft(self):
        self.assertEqual(os.listdir(self.out_dir), [])
        self.assertEqual(os.listdir(self.tmp), [])
        self.assertEqual(leftovers(), [])

    def test_a_whole_export_holds_every_frame_in_place_and_the_soundtrack_from_time_zero(self):
        before = sorted(os.walk(self.base))
        sampler = ScratchSampler(self.tmp)
        sampler.start()
        process = self.start()
        _, stderr = process.communicate(timeout=1200)
        sampler.done.set()
        sampler.join()
        self.assertEqual(process.returncode, 0, stderr)
        self.assertEqual(os.listdir(self.out_dir), ["intro.mp4"])
        self.assertEqual(os.listdir(self.tmp), [])
        self.assertEqual(sorted(os.walk(self.base)), before)
        self.assertEqual(leftovers(), [])
        self.assertTrue(sampler.saw_capture)
        self.assertLessEqual(sampler.most, 64)

        video = probe(self.output, "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_frames,duration", "v:0")
        self.assertEqual((video["codec_name"], video["pix_fmt"], video["r_frame_rate"]), ("h264", "yuv420p", "60/1"))
        self.assertEqual((int(video["width"]), int(video["height"])), (WIDTH, HEIGHT))
        self.assertEqual(int(video["nb_frames"]), FRAME_COUNT)
        self.assertLessEqual(abs(float(video["duration"]) - 135.0), 1 / 60 + 1e-3)
        audio = probe(self.output, "stream=codec_name,duration,start_time,bit_rate", "a:0")
        self.assertEqual(audio["codec_name"], "aac")
        self.assertAlmostEqual(float(audio["duration"]), 135.0, delta=0.1)
        self.assertAlmostEqual(float(audio["start_time"]), 0.0, delta=1e-3)
        self.assertAlmostEqual(int(audio["bit_rate"]), 192000, delta=20000)
        boxes = top_level_boxes(self.output)
        self.assertLess(boxes.index("moov"), boxes.index("mdat"))

        frames = [0, 1, 59, 60, 4049, 8100]
        self.assertEqual(decoded_numbers(self.output, frames), frames)

        ours, original = first_second(self.output), first_second(os.path.join(self.run_dir, MUSIC_NAME))
        self.assertGreater(max(abs(s) for s in ours), 1000)
        shift, correlation = best_shift(original, ours, 200)
        self.assertLess(abs(shift), 8000 / 60)
        self.assertGreater(correlation, 0.9)

    def test_a_shader_that_does_not_compile_ends_the_export_with_the_drivers_log(self):
        with open(self.shader, "w") as f:
            f.write(BROKEN_SHADER)
        with Xvfb(64, 64) as xvfb:
            log = run([SHADER_LOG, "fragment", self.shader], text=True,
                      env=dict(os.environ, DISPLAY=xvfb.display, LIBGL_ALWAYS_SOFTWARE="1"))
        self.assertNotEqual(log.strip(), "")
        process = self.start()
        _, stderr = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 1, stderr)
        lines = stderr.splitlines()
        self.assertEqual(lines[0], "export-video: the intro failed with exit status 1 at start-up; it said:")
        self.assertEqual("\n".join(lines[1:]), log.strip())
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
