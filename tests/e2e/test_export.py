"""tools/export-video with the real studio, Xvfb and ffmpeg: a whole export at
160x90 whose frames carry their own numbers, a section, a video larger than
the private screen, the render mode's frames against the capture's, and the
failures that only the real programs show (a shader that does not compile,
Ctrl-C half-way)."""

import ctypes
import fcntl
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile

from harness import (BUILD_DIR, CONSTANTS, MUSIC_NAME, NUMBER_BITS, NUMBER_SHADER, SHADER_LOG, SOURCE_DIR, STUDIO,
                     IntroTestCase, Xvfb, scratch_dir)
from test_capture import frame_path, read_bmp

sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))
from export_test import become_subreaper, leftovers, load_exporter  # noqa: E402

EXPORTER = os.path.join(SOURCE_DIR, "tools", "export-video")
FRAME_COUNT = CONSTANTS["kCaptureFrameCount"]
WIDTH, HEIGHT, BITS = 160, 90, NUMBER_BITS


def output_of(command, **kwargs):
    return subprocess.run(command, capture_output=True, check=True, **kwargs).stdout


def probe(video, stream, entries):
    text = output_of(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", "stream=" + entries,
                      "-of", "default=nw=1", video], text=True)
    return dict(line.split("=", 1) for line in text.splitlines())


def shown_numbers(video, frames, width=WIDTH, height=HEIGHT):
    """The numbers the bars show in these decoded frames."""
    select = "select=" + "+".join("eq(n\\,%d)" % n for n in frames)
    raw = output_of(["ffmpeg", "-v", "error", "-i", video, "-vf", select, "-fps_mode", "passthrough",
                     "-f", "rawvideo", "-pix_fmt", "gray", "-"])
    rows = [raw[start + height // 2 * width:][:width] for start in range(0, len(raw), width * height)]
    return [sum(1 << (BITS - 1 - bar) for bar in range(BITS) if row[int((bar + 0.5) * width / BITS)] >= 128)
            for row in rows]


def first_second(path, start=0):
    """The first second of path's sound from start seconds on, mono, 8000 samples."""
    raw = output_of(["ffmpeg", "-v", "error", "-ss", str(start), "-i", path, "-t", "1", "-ac", "1", "-ar", "8000",
                     "-f", "s16le", "-"])
    return struct.unpack("<%dh" % (len(raw) // 2), raw)


def best_shift(a, b, limit):
    """The shift of b against a, within limit samples, that correlates best,
    and that correlation, normalised."""
    energy = (sum(x * x for x in a) * sum(y * y for y in b)) ** 0.5
    return max(((shift, sum(a[i] * b[i + shift] for i in range(max(0, -shift), min(len(a), len(b) - shift)))
                 / energy) for shift in range(-limit, limit + 1)), key=lambda pair: pair[1])


class FileNames:
    """The names created or renamed into a set of folders, through
    inotify: read() after the run gives every one since the start."""

    def __init__(self, folders):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        for folder in folders:
            if self.libc.inotify_add_watch(self.fd, os.fsencode(folder), 0x100 | 0x80) < 0:  # create, moved to
                raise OSError(ctypes.get_errno(), "inotify_add_watch", folder)

    def read(self):
        names = []
        try:
            while True:
                data = os.read(self.fd, 65536)
                offset = 0
                while offset < len(data):
                    _, mask, _, length = struct.unpack_from("iIII", data, offset)
                    if mask & 0x4000:   # the queue overflowed
                        raise AssertionError("inotify's queue overflowed")
                    names.append(data[offset + 16:offset + 16 + length].rstrip(b"\0").decode())
                    offset += 16 + length
        except BlockingIOError:
            os.close(self.fd)
            return names


class ExportTest(IntroTestCase):

    @classmethod
    def setUpClass(cls):
        become_subreaper()

    def setUp(self):
        """base/data holds the shaders, base/run the image and the music: the
        studio finds the shaders through its ../data fallback."""
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

    def exporter(self, *options, size="%dx%d" % (WIDTH, HEIGHT)):
        env = dict(os.environ, TMPDIR=self.tmp)
        env.pop("DISPLAY", None)
        return subprocess.Popen([EXPORTER, "--size", size] + list(options) + [STUDIO, self.run_dir, self.output],
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                start_new_session=True)

    def export(self, *options, **kwargs):
        process = self.exporter(*options, **kwargs)
        _, stderr = process.communicate(timeout=1200)
        self.assertEqual(process.returncode, 0, stderr)
        self.assertEqual((os.listdir(self.out_dir), os.listdir(self.tmp), leftovers()), (["intro.mp4"], [], []))
        return stderr

    def assertNothingLeft(self):
        self.assertEqual((os.listdir(self.out_dir), os.listdir(self.tmp), leftovers()), ([], [], []))

    def test_a_whole_export_holds_every_frame_and_the_soundtrack_and_writes_no_frame_file(self):
        before = sorted(os.walk(self.base))
        names = FileNames([self.tmp, self.base, self.run_dir, os.path.join(self.run_dir, "images"),
                           os.path.join(self.base, "data"), self.out_dir])
        self.export()
        created = names.read()
        self.assertEqual([name for name in created if name.lower().endswith(".bmp")], [])
        self.assertIn("intro.mp4", created)   # the watch saw the rename
        self.assertEqual(sorted(os.walk(self.base)), before)

        video = probe(self.output, "v:0", "codec_name,pix_fmt,width,height,r_frame_rate,nb_frames,duration")
        self.assertEqual([video[key] for key in ("codec_name", "pix_fmt", "width", "height", "r_frame_rate",
                                                 "nb_frames")], ["h264", "yuv420p", "160", "90", "60/1", str(FRAME_COUNT)])
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

    def test_a_section_starts_with_its_frame_and_its_sound_and_passes_the_image_warning_on(self):
        os.remove(os.path.join(self.run_dir, "images", "long.png"))
        stderr = self.export("--from", "30", "--to", "31")
        self.assertIn("Could not load images/long.png: No such file or directory\n", stderr)
        video = probe(self.output, "v:0", "nb_frames")
        self.assertEqual(video["nb_frames"], "60")
        self.assertEqual(shown_numbers(self.output, range(60)), list(range(1800, 1860)))
        shift, correlation = best_shift(first_second(os.path.join(self.run_dir, MUSIC_NAME), 30),
                                        first_second(self.output), 200)
        self.assertLess(abs(shift), 8000 / 60)
        self.assertGreater(correlation, 0.9)

    def test_a_video_larger_than_the_private_screen_has_its_size_to_the_last_column(self):
        self.assertLess(load_exporter().SCREEN, (1000, 500))
        self.export("--to", "0.5", size="1000x500")
        video = probe(self.output, "v:0", "width,height,nb_frames")
        self.assertEqual(video, {"width": "1000", "height": "500", "nb_frames": "30"})
        self.assertEqual(shown_numbers(self.output, [0, 29], 1000, 500), [0, 29])
        # Frame 29's lowest bit, the rightmost bar, reaches the last column.
        raw = output_of(["ffmpeg", "-v", "error", "-i", self.output, "-vf", "select=eq(n\\,29)", "-fps_mode",
                         "passthrough", "-f", "rawvideo", "-pix_fmt", "gray", "-"])
        self.assertGreaterEqual(min(raw[row * 1000 + 999] for row in range(0, 500, 10)), 128)

    def render(self, cwd, *arguments):
        """The frames of `studio --render` with these arguments, run in cwd."""
        raw_path = os.path.join(self.tmp, "frames.raw")
        with open(raw_path, "wb") as raw:
            subprocess.run([STUDIO, "--render", str(raw.fileno())] + list(arguments), cwd=cwd, check=True,
                           stdout=subprocess.DEVNULL, pass_fds=(raw.fileno(),), timeout=300,
                           env=dict(os.environ, DISPLAY=self.server(64, 64).display, LIBGL_ALWAYS_SOFTWARE="1",
                                    SDL_AUDIODRIVER="dummy"))
        with open(raw_path, "rb") as f:
            return f.read()

    def test_the_render_modes_frames_are_the_captures(self):
        """The bundled shader, rendered to a file, against intro --capture."""
        cwd = scratch_dir(self)
        rendered = self.render(cwd, "--to", "1.02", "--size", "160x90")
        self.assertEqual(len(rendered), 61 * WIDTH * HEIGHT * 3)
        os.makedirs(os.path.join(cwd, "capture"))
        intro = self.start(width=WIDTH, height=HEIGHT, cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        intro.wait_until(lambda: os.path.exists(frame_path(cwd, 61)), 120, [os.path.join(cwd, "capture")])
        intro.key("Escape")
        intro.wait()
        for n in (0, 1, 2, 3, 60):
            frame = rendered[n * WIDTH * HEIGHT * 3:][:WIDTH * HEIGHT * 3]
            rows = [[tuple(frame[(y * WIDTH + x) * 3:][:3]) for x in range(WIDTH)] for y in range(HEIGHT)]
            width, height, captured, _, _ = read_bmp(frame_path(cwd, n))
            self.assertEqual((width, height), (WIDTH, HEIGHT))
            self.assertTrue(rows == captured, "rendered frame %d differs from the captured one" % n)

    def test_the_render_modes_descriptor_is_checked_first_and_standard_output_holds_frames_alone(self):
        """And a non-blocking descriptor is waited on."""
        env = dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1", SDL_AUDIODRIVER="dummy")
        env.pop("DISPLAY", None)
        # Refused before the toolkit's X connection could take descriptor 3.
        for stdin, reason in ((None, "is not open"), (subprocess.PIPE, "is not open for writing")):
            with subprocess.Popen(["sh", "-c", '"$0" --render 3 --size 16x8 3<&0' if stdin else
                                   '"$0" --render 3 --size 16x8 3<&-', STUDIO], stdin=stdin or subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, text=True, env=env, cwd=self.run_dir) as process:
                _, stderr = process.communicate(timeout=60)
            self.assertEqual((process.returncode, stderr), (2, "studio: --render 3: descriptor 3 " + reason + "\n"))
        env["DISPLAY"] = self.server(64, 64).display
        result = subprocess.run([STUDIO, "--render", "1", "--size", "16x8", "--from", "30", "--to", "30.1"],
                                cwd=self.run_dir, env=env, capture_output=True, timeout=300)
        self.assertEqual(len(result.stdout), 6 * 16 * 8 * 3, result.stderr)
        self.assertIn(b"13193 128 2", result.stderr, "the image's size line goes to standard error")
        # A non-blocking pipe, far smaller than a frame, full at once: waited
        # on, not failed.
        read_end, write_end = os.pipe()
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
        os.set_blocking(write_end, False)
        with subprocess.Popen([STUDIO, "--render", str(write_end), "--size", "160x90", "--from", "30", "--to", "30.1"],
                              cwd=self.run_dir, env=env, pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE) as process:
            os.close(write_end)
            with os.fdopen(read_end, "rb") as frames:
                received = frames.read()
            stderr = process.stderr.read()
        self.assertEqual((process.returncode, len(received)), (0, 6 * 160 * 90 * 3), stderr)

    def test_the_render_modes_yuv420p_is_its_rgb24_converted(self):
        """At an odd size, so that the last chroma column and row cover one
        pixel's width: BT.601, limited range, 2x2 means, planes top row first."""
        cwd = scratch_dir(self)
        width, height, frames = 161, 91, 3
        chroma_width, chroma_height = (width + 1) // 2, (height + 1) // 2
        rgb = self.render(cwd, "--from", "20", "--to", "20.05", "--size", "%dx%d" % (width, height))
        yuv = self.render(cwd, "--from", "20", "--to", "20.05", "--size", "%dx%d" % (width, height),
                          "--pixel-format", "yuv420p")
        frame_bytes = width * height + 2 * chroma_width * chroma_height
        self.assertEqual((len(rgb), len(yuv)), (frames * width * height * 3, frames * frame_bytes))
        for n in range(frames):
            pixels = rgb[n * width * height * 3:][:width * height * 3]

            def mean(x, y):
                near = [pixels[(min(y + j, height - 1) * width + min(x + i, width - 1)) * 3:][:3]
                        for i in (0, 1) for j in (0, 1)]
                return [sum(pixel[k] for pixel in near) / 4 / 255 for k in range(3)]

            def luma(r, g, b):
                return 0.299 * r + 0.587 * g + 0.114 * b

            expected = [round(16 + 219 * luma(*(c / 255 for c in pixels[i * 3:][:3]))) for i in range(width * height)]
            blue, red = [], []
            for y in range(chroma_height):
                for x in range(chroma_width):
                    r, g, b = mean(2 * x, 2 * y)
                    blue.append(round(128 + 224 * (b - luma(r, g, b)) / 1.772))
                    red.append(round(128 + 224 * (r - luma(r, g, b)) / 1.402))
            expected += blue + red
            got = yuv[n * frame_bytes:][:frame_bytes]
            self.assertLessEqual(max(abs(a - b) for a, b in zip(got, expected)), 1, "frame %d" % n)
            # A picture that would hide a flip or swapped planes fails here.
            bottom, cr = width * (height - 1), width * height + chroma_width * chroma_height
            self.assertGreater(sum(abs(a - b) for a, b in zip(expected[:width], expected[bottom:])), 2 * width)
            self.assertNotEqual(expected[width * height:cr], expected[cr:])

    def test_a_shader_that_does_not_compile_ends_the_export_with_the_drivers_log(self):
        with open(self.shader, "w") as f:
            f.write("#version 330\nout vec4 outputColor;\nvoid main() { outputColor = 1; }\n")
        with Xvfb(64, 64) as server:
            log = output_of([SHADER_LOG, "fragment", self.shader], text=True,
                            env=dict(os.environ, DISPLAY=server.display, LIBGL_ALWAYS_SOFTWARE="1")).strip()
        self.assertNotEqual(log, "")
        process = self.exporter()
        _, stderr = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 1, stderr)
        # The studio names the shader as it found it from RUN_DIR.
        self.assertEqual(stderr, "export-video: the studio failed with exit status 1 at start-up; it said:\n"
                         "../data/intro.frag:\n%s\n" % log)
        self.assertNothingLeft()

    def test_ctrl_c_half_way_stops_everything_and_leaves_nothing(self):
        process = self.exporter()
        for line in process.stderr:
            if " frames (" in line and int(line.split("(")[1].split(" ")[0]) >= 50:
                break
        # The studio is held still so that the export cannot end first.
        with open("/proc/%d/task/%d/children" % (process.pid, process.pid)) as f:
            studios = [pid for pid in map(int, f.read().split()) if os.readlink("/proc/%d/exe" % pid) == os.path.realpath(STUDIO)]
        self.assertEqual(len(studios), 1)
        os.kill(studios[0], signal.SIGSTOP)
        os.killpg(process.pid, signal.SIGINT)
        _, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 128 + signal.SIGINT, stderr)
        self.assertEqual([line for line in stderr.splitlines() if " frames (" not in line],
                         ["export-video: interrupted by SIGINT; no video written"])
        self.assertNothingLeft()


if __name__ == "__main__":
    import unittest
    unittest.main()
