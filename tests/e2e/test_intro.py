"""The intro end to end: its lines, the keyboard, the time limit, the music,
the hot reload and a broken image."""

import os
import re
import shutil
import signal
import unittest

from harness import BUILD_DIR, CONSTANTS, FAKETIME_LIBRARY, MUSIC_NAME, IntroTestCase, png, replace_file, scratch_dir

# A second of the soundtrack's 16-bit stereo samples.
BYTES_PER_SECOND = CONSTANTS["kSoundtrackSampleRate"] * 4
SIZE_LINE = re.compile(r"^\d+ \d+ \d+$")
TIME_LINE = re.compile(r"^\d+(\.\d+)?(e[-+]\d+)?$")
BROKEN_SHADER = "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = undefinedThing; }\n"
OTHER_BROKEN_SHADER = "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = vec3(1.0); }\n"


def complete_lines(text):
    """The lines of text that have ended with a newline."""
    return text[:text.rfind("\n") + 1].splitlines()


def time_lines(text):
    return [line for line in complete_lines(text) if TIME_LINE.match(line)]


def wait_for_frames(intro, count, timeout=60):
    return intro.wait_for_output(lambda text: len(time_lines(text)) >= count, timeout)


class LinesTest(IntroTestCase):

    def test_size_time_and_rate_lines_come_in_order(self):
        intro = self.start()
        text = intro.wait_for_output(lambda t: t.count("FPS: ") >= 2 and len(time_lines(t)) >= 210)
        self.assertIsNotNone(intro.wait_window())
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)

        lines = complete_lines(text)
        self.assertRegex(lines[0], SIZE_LINE)
        frame = 0
        index = 1
        while frame < 210:
            if frame % 30 == 29:
                self.assertRegex(lines[index], SIZE_LINE, "rebuild before frame %d" % frame)
                index += 1
            self.assertRegex(lines[index], TIME_LINE, "time line of frame %d" % frame)
            index += 1
            if (frame + 1) % 101 == 0:
                self.assertTrue(lines[index].startswith("FPS: "), "rate after frame %d" % frame)
                self.assertGreater(float(lines[index][5:]), 0.0)
                index += 1
            frame += 1
        self.assertEqual(text.count("FPS: "), sum(1 for line in lines if line.startswith("FPS: ")))

        # Each rate is 100 / (last - first) of its window's 101 frame times.
        # A frame time (wall clock since the music started) is read after the
        # frame's time line (the toolkit's clock) and before the next frame's,
        # so the window's span lies between these differences of time lines;
        # both clocks count whole milliseconds.
        times = [float(line) for line in time_lines(text)]
        rates = [float(line[5:]) for line in lines if line.startswith("FPS: ")]
        for window, rate in enumerate(rates[:2]):
            first = window * 101
            last = first + 100
            span = 100.0 / rate
            self.assertGreaterEqual(span, times[last] - times[first + 1] - 0.003,
                                    "rate %d: frames %d-%d" % (window, first, last))
            self.assertLessEqual(span, times[last + 1] - times[first] + 0.003,
                                 "rate %d: frames %d-%d" % (window, first, last))
        self.assertNotIn("Message:", text)
        self.assertEqual(intro.stderr(), "")


class KeyboardTest(IntroTestCase):

    def test_escape_ends_the_run_and_nothing_else_does(self):
        intro = self.start()
        self.assertIsNotNone(intro.wait_window())
        wait_for_frames(intro, 5)
        intro.key("a")
        intro.key("space", "release")
        intro.key("Return")
        intro.click(1)
        intro.click(3)
        frames = len(time_lines(intro.stdout()))
        # The toolkit reads every pending event between two frames.
        wait_for_frames(intro, frames + 30)
        self.assertIsNone(intro.process.poll(), "the intro ended on a key other than Escape")
        self.assertGreaterEqual(len(time_lines(intro.stdout())), frames + 30)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)


class SignalTest(IntroTestCase):

    def test_interrupt_and_terminate_end_the_run(self):
        for signal_number in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal_number):
                intro = self.start()
                self.assertIsNotNone(intro.wait_window())
                wait_for_frames(intro, 5)
                intro.process.send_signal(signal_number)
                self.assertEqual(intro.wait(timeout=10), -signal_number)


class TimeLimitTest(IntroTestCase):

    def test_the_run_ends_by_itself_once_the_toolkit_clock_passes_135_seconds(self):
        intro = self.start(width=320, height=240,
                           env={"LD_PRELOAD": FAKETIME_LIBRARY, "FAKETIME": "+0 x100",
                                "FAKETIME_NO_CACHE": "1"})
        self.assertExitedNormally(intro.wait(timeout=120), 0, intro)
        last = float(time_lines(intro.stdout())[-1])
        self.assertLessEqual(last, CONSTANTS["kIntroSeconds"])
        self.assertGreater(last, 130.0)


class MusicTest(IntroTestCase):

    def test_a_missing_music_file_ends_start_up(self):
        intro = self.start(cwd=scratch_dir(self, music=False))
        self.assertExitedNormally(intro.wait(), 1, intro)
        errors = intro.stderr().splitlines()
        self.assertEqual(errors[0], "Error loading music: " + MUSIC_NAME)
        self.assertEqual(len(errors), 2, intro.stderr())
        self.assertEqual(time_lines(intro.stdout()), [], "no frame before the music is loaded")

    def test_an_sdl_that_cannot_start_audio_ends_start_up(self):
        intro = self.start(env={"SDL_AUDIODRIVER": "no_such_driver"})
        self.assertExitedNormally(intro.wait(), 1, intro)
        self.assertTrue(intro.stdout().endswith("Failed to init SDL\n"), intro.stdout())
        self.assertEqual(time_lines(intro.stdout()), [])

    def test_an_audio_device_that_cannot_open_is_reported_and_the_load_decides(self):
        intro = self.start(env={"SDL_AUDIODRIVER": "disk",
                                "SDL_DISKAUDIOFILE": "/nonexistent/folder/audio.raw"})
        self.assertExitedNormally(intro.wait(), 1, intro)
        errors = intro.stderr().splitlines()
        self.assertEqual(len(errors), 3, intro.stderr())
        self.assertTrue(errors[0].startswith("Could not open the audio device: "), errors[0])
        self.assertGreater(len(errors[0]), len("Could not open the audio device: "))
        self.assertEqual(errors[1], "Error loading music: " + MUSIC_NAME)
        self.assertNotEqual(errors[2], "")

    def test_the_disk_driver_hears_the_wav_from_its_beginning(self):
        cwd = scratch_dir(self)
        heard = os.path.join(cwd, "heard.raw")
        intro = self.start(cwd=cwd, env={"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": heard})
        self.assertIsNotNone(intro.wait_window())
        wait_for_frames(intro, 1)

        def without_leading_silence(samples):
            stripped = samples.lstrip(b"\0")
            return samples[len(samples) - len(stripped) & ~3:]

        def heard_music():
            with open(heard, "rb") as f:
                return without_leading_silence(f.read())

        # The disk driver writes what it plays as it plays it.
        intro.wait_until(lambda: len(heard_music()) > BYTES_PER_SECOND, 60, [os.path.dirname(heard)])
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)

        with open(os.path.join(BUILD_DIR, MUSIC_NAME), "rb") as f:
            wav = f.read()
        data = wav[wav.index(b"data") + 8:]
        played = heard_music()
        expected = without_leading_silence(data)
        self.assertGreater(len(played), BYTES_PER_SECOND, "less than a second of music was heard")
        self.assertEqual(played[:BYTES_PER_SECOND], expected[:BYTES_PER_SECOND])


class HotReloadTest(IntroTestCase):

    def test_a_broken_edit_is_reported_once_and_the_run_goes_on_until_fixed(self):
        cwd = scratch_dir(self)
        shader = os.path.join(cwd, "data", "intro.frag")
        with open(shader) as f:
            good = f.read()
        intro = self.start(cwd=cwd)
        self.assertIsNotNone(intro.wait_window())
        wait_for_frames(intro, 10)

        replace_file(shader, BROKEN_SHADER)
        frames = len(time_lines(intro.stdout()))
        wait_for_frames(intro, frames + 100)
        first_report = intro.stderr()
        self.assertIn("undefinedThing", first_report)
        self.assertEqual(first_report.count("undefinedThing"), 1, first_report)
        self.assertLessEqual(intro.stdout().count("Error from Shader Compiler"), 1,
                             "a shader that stays broken is not compiled again")
        self.assertIsNone(intro.process.poll())

        replace_file(shader, good)
        wait_for_frames(intro, len(time_lines(intro.stdout())) + 100)
        self.assertEqual(intro.stderr(), first_report, "a good rebuild prints nothing")

        replace_file(shader, BROKEN_SHADER)
        wait_for_frames(intro, len(time_lines(intro.stdout())) + 40)
        self.assertEqual(intro.stderr().count("undefinedThing"), 2, "broken again after a fix")
        replace_file(shader, OTHER_BROKEN_SHADER)
        wait_for_frames(intro, len(time_lines(intro.stdout())) + 40)
        self.assertEqual(intro.stderr().count("undefinedThing"), 2)
        self.assertGreater(len(intro.stderr()), len(first_report) * 2 - 10, "a different failure is new")

        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)

    def test_a_new_image_is_picked_up(self):
        cwd = scratch_dir(self)
        intro = self.start(cwd=cwd)
        self.assertIsNotNone(intro.wait_window())
        wait_for_frames(intro, 10)
        replace_file(os.path.join(cwd, "images", "long.png"), png(3, 2))
        wait_for_frames(intro, len(time_lines(intro.stdout())) + 40)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        sizes = [line for line in complete_lines(intro.stdout()) if SIZE_LINE.match(line)]
        self.assertNotEqual(sizes[0], "3 2 4")
        self.assertEqual(sizes[-1], "3 2 4")
        self.assertEqual(intro.stderr(), "")

    def test_a_deleted_shader_is_reported_once_and_picked_up_when_restored(self):
        cwd = scratch_dir(self)
        shader = os.path.join(cwd, "data", "intro.frag")
        intro = self.start(cwd=cwd)
        self.assertIsNotNone(intro.wait_window())
        wait_for_frames(intro, 10)
        shutil.move(shader, shader + ".away")
        wait_for_frames(intro, len(time_lines(intro.stdout())) + 100)
        self.assertEqual(intro.stderr(), "Could not find the file intro.frag\n")
        shutil.move(shader + ".away", shader)
        sizes = sum(1 for line in complete_lines(intro.stdout()) if SIZE_LINE.match(line))
        wait_for_frames(intro, len(time_lines(intro.stdout())) + 40)
        self.assertGreater(sum(1 for line in complete_lines(intro.stdout()) if SIZE_LINE.match(line)), sizes)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)


class ImageTest(IntroTestCase):

    def check_broken_image(self, cwd):
        intro = self.start(cwd=cwd)
        self.assertIsNotNone(intro.wait_window())
        wait_for_frames(intro, 40)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        lines = complete_lines(intro.stdout())
        self.assertEqual(lines[0], "0 0 0")
        self.assertGreater(sum(1 for line in lines if line == "0 0 0"), 1, "a size line every rebuild")
        errors = intro.stderr().splitlines()
        self.assertEqual(len(errors), 1, "the same warning is printed once")
        self.assertTrue(errors[0].startswith("Could not load images/long.png: "), errors)
        return errors[0]

    def test_a_missing_image_is_reported_and_the_run_goes_on(self):
        warning = self.check_broken_image(scratch_dir(self, image=False))
        self.assertEqual(warning, "Could not load images/long.png: No such file or directory")

    def test_a_corrupt_image_is_reported_and_the_run_goes_on(self):
        cwd = scratch_dir(self)
        with open(os.path.join(cwd, "images", "long.png"), "wb") as f:
            f.write(os.urandom(4096))
        self.check_broken_image(cwd)


if __name__ == "__main__":
    unittest.main()
