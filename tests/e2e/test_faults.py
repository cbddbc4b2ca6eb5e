"""Bad inputs and faults, end to end: every case either lets the intro go on
or stops it with one clear message and a non-zero status, and never with a
signal. tests/README.md lists the cases."""

import os
import random
import shutil
import struct
import subprocess
import unittest

from harness import INTRO, MUSIC_NAME, IntroTestCase, png, replace_file, scratch_dir
from test_capture import SOLID_SHADER, first_frame_of_size, frame_path, read_bmp
from test_intro import complete_lines, time_lines, wait_for_frames

NO_UNIFORMS_SHADER = "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = vec4(0.25); }\n"
UNWRITTEN_VARYING_SHADER = ("#version 330\nin vec4 tint;\nout vec4 outputColor;\n"
                            "void main() { outputColor = tint; }\n")
NO_MAIN_SHADER = "#version 330\nout vec4 outputColor;\nvoid helper() { outputColor = vec4(1.0); }\n"
WRONG_TYPES_SHADER = ("#version 330\nuniform int iGlobalTime;\nuniform vec2 width;\nuniform float message;\n"
                      "out vec4 outputColor;\n"
                      "void main() { outputColor = vec4(float(iGlobalTime), width, message); }\n")
SHADER_REPORT = "Error from Shader Compiler,\tHigh priority\nMessage: "


def write(path, data):
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)


def garbage(size, seed):
    generator = random.Random(seed)
    return bytes(generator.randrange(256) for _ in range(size))


class FaultTestCase(IntroTestCase):

    def run_to_end(self, cwd, expected_status, **kwargs):
        """Runs the intro until it ends by itself; returns the run."""
        intro = self.start(cwd=cwd, **kwargs)
        self.assertExitedNormally(intro.wait(), expected_status, intro)
        return intro

    def run_and_escape(self, cwd, frames=40, status=0, **kwargs):
        """Runs the intro for some frames, then presses Escape; it must end with status."""
        intro = self.start(cwd=cwd, **kwargs)
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        wait_for_frames(intro, frames)
        self.assertIsNone(intro.process.poll(), intro.stderr())
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), status, intro)
        return intro


class ShaderFileTest(FaultTestCase):

    def test_a_missing_shader_file_names_itself_and_ends_start_up(self):
        for name in ("standard.vert", "intro.frag"):
            with self.subTest(name):
                cwd = scratch_dir(self)
                os.remove(os.path.join(cwd, "data", name))
                intro = self.run_to_end(cwd, 1)
                self.assertEqual(intro.stderr(), "Could not find the file %s\n" % name)
                self.assertEqual(intro.stdout(), "")

    def check_compile_failure(self, name, stage, content, debug_report=False):
        cwd = scratch_dir(self)
        path = os.path.join(cwd, "data", name)
        write(path, content)
        intro = self.run_to_end(cwd, 1)
        log = intro.driver_log(stage, path)
        self.assertNotEqual(log, "")
        # The file first, as the overlay's header names it, then the log.
        self.assertEqual(intro.stderr(), "data/%s:\n%s\n" % (name, log))
        if debug_report:
            # The driver reports the compiler's error through the debug
            # output too, in the words of its log; no frame is drawn.
            self.assertEqual(intro.stdout(), SHADER_REPORT + log)
        else:
            # Errors the driver's preprocessor finds may come without a report.
            self.assertTrue(intro.stdout() == "" or intro.stdout().startswith(SHADER_REPORT), intro.stdout())
        self.assertEqual(time_lines(intro.stdout()), [])

    def test_empty_shader_files_fail_to_compile_with_the_drivers_log(self):
        for name, stage in (("standard.vert", "vertex"), ("intro.frag", "fragment")):
            with self.subTest(name):
                self.check_compile_failure(name, stage, b"")

    def test_garbage_shader_files_are_refused_at_their_first_nul_byte(self):
        for name in ("standard.vert", "intro.frag"):
            with self.subTest(name):
                cwd = scratch_dir(self)
                content = garbage(3000, name)
                self.assertIn(0, content)
                write(os.path.join(cwd, "data", name), content)
                intro = self.run_to_end(cwd, 1)
                self.assertEqual(intro.stderr(), "data/%s holds a NUL byte at offset %d\n" % (name, content.index(0)))
                self.assertEqual(intro.stdout(), "", "nothing reached the compiler")

    def test_a_nul_byte_in_a_shader_with_main_is_named_not_the_drivers_missing_main(self):
        cwd = scratch_dir(self)
        write(os.path.join(cwd, "data", "intro.frag"), NO_UNIFORMS_SHADER.encode() + b"\0// after\n")
        intro = self.run_to_end(cwd, 1)
        self.assertEqual(intro.stderr(), "data/intro.frag holds a NUL byte at offset %d\n" % len(NO_UNIFORMS_SHADER))

    def test_a_shader_that_does_not_compile_ends_start_up_with_the_drivers_log(self):
        self.check_compile_failure("intro.frag", "fragment",
                                   "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = 1; }\n",
                                   debug_report=True)

    def test_a_program_that_does_not_link_ends_start_up_with_the_drivers_log(self):
        cwd = scratch_dir(self)
        write(os.path.join(cwd, "data", "intro.frag"), NO_MAIN_SHADER)
        intro = self.run_to_end(cwd, 1)
        log = intro.driver_log("link", os.path.join(cwd, "data", "standard.vert"),
                               os.path.join(cwd, "data", "intro.frag"))
        self.assertIn("main", log)
        self.assertEqual(intro.stderr(), "data/standard.vert + data/intro.frag:\n%s\n" % log)
        self.assertEqual(intro.stdout(), "")

    def test_an_unwritten_varying_links_on_this_driver_and_runs(self):
        cwd = scratch_dir(self)
        write(os.path.join(cwd, "data", "intro.frag"), UNWRITTEN_VARYING_SHADER)
        intro = self.run_and_escape(cwd)
        self.assertEqual(intro.stderr(), "")

    def test_uniforms_of_the_wrong_type_are_reported_once_and_left_unset(self):
        cwd = scratch_dir(self)
        shader = os.path.join(cwd, "data", "intro.frag")
        write(shader, WRONG_TYPES_SHADER)
        intro = self.start(cwd=cwd)
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        wait_for_frames(intro, 5)
        # A real rebuild with the same mismatches prints nothing new.
        replace_file(shader, WRONG_TYPES_SHADER + "// edited\n")
        rebuilt_at = len(time_lines(intro.stdout())) + 61
        wait_for_frames(intro, rebuilt_at)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertCountEqual(intro.stderr().splitlines(), [
            "data/intro.frag: uniform %s is declared %s, but the intro sets a %s; it is left unset"
            % mismatch for mismatch in (("iGlobalTime", "int", "float"), ("width", "vec2", "float"),
                                        ("message", "float", "sampler2D"))])
        self.assertNotIn("Message:", intro.stdout())

    def test_a_shader_without_any_optional_uniform_runs(self):
        cwd = scratch_dir(self)
        write(os.path.join(cwd, "data", "intro.frag"), NO_UNIFORMS_SHADER)
        intro = self.run_and_escape(cwd)
        self.assertEqual(intro.stderr(), "")
        self.assertNotIn("Message:", intro.stdout())


class DataDirectoryTest(FaultTestCase):

    def test_data_only_in_the_parent_directory_is_found(self):
        root = scratch_dir(self)
        work = os.path.join(root, "work")
        os.makedirs(os.path.join(work, "images"))
        shutil.move(os.path.join(root, "images", "long.png"), os.path.join(work, "images"))
        shutil.move(os.path.join(root, MUSIC_NAME), work)
        intro = self.run_and_escape(work)
        self.assertEqual(intro.stderr(), "")

    def test_the_working_directorys_data_wins_over_the_parents(self):
        root = scratch_dir(self)
        work = os.path.join(root, "work")
        shutil.copytree(os.path.join(root, "data"), os.path.join(work, "data"))
        os.makedirs(os.path.join(work, "images"))
        os.makedirs(os.path.join(work, "capture"))
        shutil.copy(os.path.join(root, "images", "long.png"), os.path.join(work, "images"))
        shutil.copy(os.path.join(root, MUSIC_NAME), work)
        write(os.path.join(root, "data", "intro.frag"), SOLID_SHADER % "1.0, 0.0, 0.0")
        write(os.path.join(work, "data", "intro.frag"), SOLID_SHADER % "0.0, 1.0, 0.0")
        self.run_and_escape(work, args=["--capture"], frames=3)
        self.assertEqual(read_bmp(frame_path(work, 0))[2][0][0], (0, 255, 0))

    def test_data_in_neither_directory_ends_start_up(self):
        cwd = scratch_dir(self, data=False)
        intro = self.run_to_end(cwd, 1)
        self.assertEqual(intro.stderr(), "Could not find the file standard.vert\n")


class ImageFileTest(FaultTestCase):

    def check_image(self, content, reason):
        cwd = scratch_dir(self)
        write(os.path.join(cwd, "images", "long.png"), content)
        intro = self.run_and_escape(cwd)
        self.assertEqual(intro.stderr(), "Could not load images/long.png: %s\n" % reason)
        self.assertEqual(complete_lines(intro.stdout())[0], "0 0 0")

    def test_an_empty_image_is_reported_and_the_run_goes_on(self):
        self.check_image(b"", "unknown image type")

    def test_a_garbage_image_is_reported_and_the_run_goes_on(self):
        self.check_image(garbage(5000, "png"), "unknown image type")

    def test_a_truncated_image_is_reported_and_the_run_goes_on(self):
        with open(os.path.join(scratch_dir(self), "images", "long.png"), "rb") as f:
            whole = f.read()
        self.check_image(whole[:len(whole) // 3], "outofdata")

    def test_an_image_that_claims_a_huge_size_is_refused_before_decoding(self):
        self.check_image(png(100000, 100000, image_data=b"\0" * 100), "too large")

    def test_a_16_bit_image_over_the_texel_limit_is_refused_by_its_size(self):
        self.check_image(png(16384, 16384, image_data=b"\0" * 100, depth=16),
                         "16384 x 16384 is larger than the 8192 x 8192 texel limit")

    def test_an_image_that_is_a_fifo_is_refused_without_blocking(self):
        cwd = scratch_dir(self)
        image = os.path.join(cwd, "images", "long.png")
        os.remove(image)
        os.mkfifo(image)
        intro = self.run_and_escape(cwd)
        self.assertEqual(intro.stderr(), "Could not load images/long.png: not a regular file\n")


class MusicFileTest(FaultTestCase):

    def check_music(self, content, reason=None):
        """Runs with content (bytes, or a function making the file at the
        path it is given) as the soundtrack: start-up must fail naming it,
        with the reason given, or any reason, on the next line."""
        cwd = scratch_dir(self)
        path = os.path.join(cwd, MUSIC_NAME)
        if callable(content):
            os.remove(path)
            content(path)
        else:
            write(path, content)
        intro = self.run_to_end(cwd, 1)
        errors = intro.stderr().split("\n")
        self.assertEqual(errors[0], "Error loading music: " + MUSIC_NAME)
        self.assertEqual(len(errors), 3, intro.stderr())
        self.assertNotEqual(errors[1], "", "the reason follows")
        if reason is not None:
            self.assertEqual(errors[1], reason)
        self.assertEqual(time_lines(intro.stdout()), [])

    def test_an_empty_music_file_ends_start_up(self):
        self.check_music(b"")

    def test_a_garbage_music_file_ends_start_up(self):
        self.check_music(garbage(100000, "wav"))

    def test_a_music_file_with_a_broken_header_ends_start_up(self):
        with open(os.path.join(scratch_dir(self), MUSIC_NAME), "rb") as f:
            whole = f.read()
        self.check_music(b"RIFX" + whole[4:100000])

    def test_a_music_file_whose_header_says_no_channels_ends_start_up(self):
        # PCM, 0 channels, 22050 Hz, 0 bytes a second, blocks of 0 bytes, 16 bits.
        fmt = struct.pack("<HHIIHH", 1, 0, 22050, 0, 0, 16)
        header = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", 4096)
        self.check_music(b"RIFF" + struct.pack("<I", len(header) + 4096) + header + bytes(4096),
                         "Channel count is zero.")

    def test_a_music_file_that_is_a_fifo_ends_start_up_without_waiting(self):
        self.check_music(os.mkfifo, "not a regular file")


class PlatformTest(FaultTestCase):

    def test_no_x_display_ends_the_run_with_the_toolkits_message(self):
        intro = self.start(display_env=False)
        self.assertExitedNormally(intro.wait(), 1, intro)
        self.assertEqual(intro.stderr(), "freeglut (%s): failed to open display ''\n" % INTRO)


class CaptureFaultTest(FaultTestCase):

    def mount_tmpfs(self, path, options):
        """Mounts a small tmpfs at path, or skips the test where mounting is not allowed."""
        os.makedirs(path, exist_ok=True)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path],
                                capture_output=True, text=True)
        if result.returncode != 0:
            self.skipTest("this machine does not allow a tmpfs mount: " + result.stderr.strip())
        self.addCleanup(subprocess.run, ["umount", "-l", path])

    def test_a_read_only_capture_directory_is_reported_once_and_fails_the_run(self):
        cwd = scratch_dir(self)
        self.mount_tmpfs(os.path.join(cwd, "capture"), "size=1m,ro")
        intro = self.run_and_escape(cwd, args=["--capture"], status=1)
        frames = len(time_lines(intro.stdout()))
        self.assertEqual(intro.stderr().splitlines(), [
            "Could not write capture/frame0.bmp: Read-only file system",
            "Could not write %d of %d frames (first capture/frame0.bmp, last capture/frame%d.bmp)"
            % (frames, frames, frames - 1)])

    def test_a_full_file_system_keeps_every_written_frame_whole(self):
        cwd = scratch_dir(self)
        capture = os.path.join(cwd, "capture")
        self.mount_tmpfs(capture, "size=2m")
        intro = self.run_and_escape(cwd, args=["--capture"], width=320, height=240, frames=60, status=1)
        errors = intro.stderr().splitlines()
        self.assertTrue(errors, "the file system never filled")
        written = sorted(os.listdir(capture), key=lambda name: int(name[5:-4]))
        self.assertTrue(written, "no frame fitted")
        first_failure = int(errors[0].split("frame")[1].split(".")[0])
        frames = len(time_lines(intro.stdout()))
        self.assertEqual(errors, [
            "Could not write capture/frame%d.bmp: No space left on device" % first_failure,
            "Could not write %d of %d frames (first capture/frame%d.bmp, last capture/frame%d.bmp)"
            % (frames - first_failure, frames, first_failure, frames - 1)])
        self.assertEqual(len(written), first_failure, "every frame before the first failure was written")
        for name in written:
            self.assertEqual(os.path.getsize(os.path.join(capture, name)), 54 + 320 * 3 * 240, name)


class StandardStreamTest(FaultTestCase):
    """The intro keeps its window working whatever its standard streams are."""

    def wait_for_frame_file(self, intro, cwd, number):
        intro.wait_until(lambda: os.path.exists(frame_path(cwd, number)), 60, [os.path.join(cwd, "capture")])
        self.assertIsNone(intro.process.poll(), "the run ended early")
        self.assertTrue(os.path.exists(frame_path(cwd, number)), "frame %d never came" % number)

    def capture_dir(self):
        cwd = scratch_dir(self)
        os.makedirs(os.path.join(cwd, "capture"))
        return cwd

    def test_a_closed_standard_output_leaves_the_window_working(self):
        cwd = self.capture_dir()
        intro = self.start(cwd=cwd, args=["--capture"], closed=(1,))
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        self.wait_for_frame_file(intro, cwd, 40)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)

    def test_a_closed_standard_error_leaves_the_window_working(self):
        cwd = scratch_dir(self, image=False)
        # The missing image is reported on standard error before the first frame.
        self.run_and_escape(cwd, closed=(2,))

    def test_a_reader_that_goes_away_does_not_end_the_run(self):
        cwd = self.capture_dir()
        intro = self.start(cwd=cwd, args=["--capture"], stdout_pipe=True)
        for _ in range(3):
            intro.process.stdout.readline()
        intro.process.stdout.close()
        # Every frame from here on prints its time line into the closed pipe.
        self.wait_for_frame_file(intro, cwd, len(os.listdir(os.path.join(cwd, "capture"))) + 60)
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(intro.stderr(), "")


class WindowSizeTest(FaultTestCase):

    def test_the_window_can_shrink_to_one_pixel_and_grow_again(self):
        cwd = scratch_dir(self)
        os.makedirs(os.path.join(cwd, "capture"))
        intro = self.start(cwd=cwd, args=["--capture"], width=320, height=240)
        self.assertIsNotNone(intro.wait_window())
        wait_for_frames(intro, 10)
        intro.resize(1, 1)
        shrunk = first_frame_of_size(intro, cwd, 10, (1, 1))
        self.assertIsNotNone(shrunk, "no frame of 1x1")
        wait_for_frames(intro, shrunk + 10)
        intro.resize(333, 250)
        grown = first_frame_of_size(intro, cwd, shrunk, (333, 250))
        self.assertIsNotNone(grown, "no frame of 333x250; exit status %s; stderr:\n%s"
                             % (intro.process.poll(), intro.stderr()))
        wait_for_frames(intro, grown + 10)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        sizes = {read_bmp(frame_path(cwd, n))[:2] for n in (0, shrunk + 5, grown + 5)}
        self.assertEqual(sizes, {(320, 240), (1, 1), (333, 250)})
        self.assertEqual(intro.stderr(), "")

    def test_a_screen_one_pixel_wide_or_high_is_captured_whole(self):
        for width, height in ((1, 1), (333, 1), (1, 333)):
            with self.subTest("%dx%d" % (width, height)):
                cwd = scratch_dir(self)
                os.makedirs(os.path.join(cwd, "capture"))
                intro = self.start(cwd=cwd, args=["--capture"], width=width, height=height)
                self.assertIsNotNone(intro.wait_window(), intro.stderr())
                drawn = intro.wait_until(lambda: os.path.exists(frame_path(cwd, 3)), 60,
                                         [os.path.join(cwd, "capture")])
                self.assertTrue(drawn, "no frame 3; stderr:\n" + intro.stderr())
                intro.key("Escape")
                self.assertExitedNormally(intro.wait(), 0, intro)
                self.assertEqual(read_bmp(frame_path(cwd, 0))[:2], (width, height))
                self.assertEqual(intro.stderr(), "")

    def test_a_screen_whose_width_is_not_a_multiple_of_four_runs(self):
        intro = self.run_and_escape(scratch_dir(self), width=333, height=250)
        self.assertEqual(intro.stderr(), "")


class CommandLineTest(FaultTestCase):

    def check_capture_switch(self, args, captures):
        cwd = scratch_dir(self)
        os.makedirs(os.path.join(cwd, "capture"))
        intro = self.run_and_escape(cwd, args=args, frames=10)
        self.assertEqual(bool(os.listdir(os.path.join(cwd, "capture"))), captures, args)
        self.assertEqual(intro.stderr(), "")

    def test_only_a_single_capture_argument_turns_capture_on(self):
        self.check_capture_switch(["--capture"], True)
        self.check_capture_switch(["--capture", "x"], False)
        self.check_capture_switch(["--capture", "--capture"], False)
        self.check_capture_switch(["--unknown"], False)

    def test_toolkit_options_are_taken_out_before_the_intro_sees_the_rest(self):
        self.check_capture_switch(["-sync", "--capture"], True)
        self.check_capture_switch(["-gldebug", "--capture"], True)


if __name__ == "__main__":
    unittest.main()
