"""The studio end to end, under a private Xvfb whose screen is larger than its
window: the window it opens, bad options, time control read back from a
frame-number shader, the music after --from and a seek (SDL's disk driver),
an edit shown while paused, and a still equal to the captured frame."""

import os
import subprocess
import struct
import time
import zlib

from harness import BUILD_DIR, MUSIC_NAME, NUMBER_BITS, NUMBER_SHADER, STUDIO, IntroTestCase, replace_file, scratch_dir
from test_capture import frame_path, read_bmp

WIDTH, HEIGHT = 416, 64


def decode_png(path):
    """(width, height, rows top first of (r, g, b)) of an 8-bit RGB PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    position, idat = 8, b""
    while position < len(data):
        length, kind = struct.unpack_from(">I4s", data, position)
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack_from(">IIBB", body)
            assert (depth, colour) == (8, 2), "8-bit RGB"
        elif kind == b"IDAT":
            idat += body
        position += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 3] if i >= 3 else 0
            up = previous[i]
            corner = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append([tuple(line[i:i + 3]) for i in range(0, stride, 3)])
        previous = line
    return width, height, rows


def until(condition, timeout):
    """Reads the window (condition) until it holds; the deadline only bounds a
    failure, each look is a read of the window."""
    deadline = time.monotonic() + timeout
    while not condition() and time.monotonic() < deadline:
        pass
    return condition()


class StudioTestCase(IntroTestCase):

    def studio(self, args=(), cwd=None, screen=(640, 480), shader=NUMBER_SHADER, **kwargs):
        if cwd is None:
            cwd = scratch_dir(self)
            if shader is not None:
                with open(os.path.join(cwd, "data", "intro.frag"), "w") as f:
                    f.write(shader)
        studio = self.start(width=screen[0], height=screen[1], cwd=cwd, args=list(args), binary=STUDIO, **kwargs)
        self.assertIsNotNone(studio.wait_window(), studio.stderr())
        return studio

    def number(self, studio):
        """The frame number the window shows, read from its bars."""
        value = 0
        for bar in range(NUMBER_BITS):
            _, fields = studio.xwin("pixel", studio.window, int((bar + 0.5) * WIDTH / NUMBER_BITS), HEIGHT // 4)
            value = value * 2 + (1 if int(fields[0]) >= 128 else 0)
        return value

    def wait_number(self, studio, wanted, what):
        """Reads the window until it shows the frame number wanted."""
        seen = []
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            seen.append(self.number(studio))
            if seen[-1] == wanted:
                return
        self.fail("%s: expected frame %d, the window showed %s" % (what, wanted, sorted(set(seen))[-8:]))

    def quit(self, studio):
        studio.key("q")
        self.assertExitedNormally(studio.wait(), 0, studio)


class StudioWindowTest(StudioTestCase):

    def test_the_window_has_its_size_and_shrinks_to_a_smaller_screen(self):
        studio = self.studio(["--size", "640x360"], screen=(1280, 720))
        self.assertEqual(studio.geometry(), (640, 360))
        self.quit(studio)
        studio = self.studio([], screen=(800, 600))
        self.assertEqual(studio.geometry(), (800, 450), "1280x720 made smaller, its aspect kept")
        self.quit(studio)

    def test_a_bad_option_is_one_line_and_status_2(self):
        """Without a display too: the options are read before the window's
        toolkit starts, whose own options are passed over."""
        for args, option in ((["--size", "0x5"], "--size"), (["--from", "soon"], "--from"),
                             (["--bpm", "-3"], "--bpm"), (["-display", ":99", "--loud"], "unknown option")):
            studio = self.start(cwd=scratch_dir(self), args=args, binary=STUDIO, display_env=False)
            self.assertExitedNormally(studio.wait(), 2, studio)
            lines = studio.stderr().splitlines()
            self.assertEqual(len(lines), 1, lines)
            self.assertTrue(lines[0].startswith("studio: " + option), lines[0])
        studio = self.start(cwd=scratch_dir(self), args=["--help"], binary=STUDIO, display_env=False)
        self.assertExitedNormally(studio.wait(), 0, studio)
        self.assertTrue(studio.stdout().startswith("usage: studio [--from SECONDS] [--size WxH] [--bpm N]"))


    def test_a_shader_broken_at_start_up_is_shown_and_the_first_good_build_takes_over(self):
        studio = self.studio(["--size", "320x180"], shader="#version 330\nvoid main() { broken }\n")
        studio.wait_until(lambda: "data/intro.frag:\n" in studio.stderr(), 60)
        self.assertIsNone(studio.process.poll(), "the studio waits for a good build: " + studio.stderr())
        self.assertRegex(studio.stderr(), r"^data/intro\.frag:\n0:2\(")
        replace_file(os.path.join(studio.cwd, "data", "intro.frag"),
                     "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = vec4(0.0, 0.0, 1.0, 1.0); }\n")
        until(lambda: studio.xwin("pixel", studio.window, 160, 90)[1] == ["0", "0", "255"], 60)
        self.assertEqual(studio.xwin("pixel", studio.window, 160, 90)[1], ["0", "0", "255"])
        self.quit(studio)


class StudioTimeTest(StudioTestCase):

    def test_from_pause_steps_seeks_and_home_read_back_from_the_picture(self):
        studio = self.studio(["--from", "30", "--size", "%dx%d" % (WIDTH, HEIGHT)])
        until(lambda: self.number(studio) >= 1800, 30)
        studio.key("space")
        first = self.number(studio)
        self.assertGreaterEqual(first, 1800, "--from 30 starts at frame 1800")
        self.assertLess(first, 1800 + 60 * 60)
        # Paused, the number stays until a key moves it.
        self.wait_number(studio, first, "paused")
        self.assertEqual(self.number(studio), first)
        studio.key("period")
        self.wait_number(studio, first + 1, "a frame on")
        studio.key("comma")
        studio.key("comma")
        self.wait_number(studio, first - 1, "two frames back")
        studio.key("Right")
        self.wait_number(studio, first - 1 + 300, "5 s on, still paused")
        studio.key("Up")
        self.wait_number(studio, first - 1 + 300 + 3600, "60 s on")
        studio.key("Home")
        self.wait_number(studio, 0, "the start")
        studio.key("Left")
        self.wait_number(studio, 0, "clamped at the start")
        self.quit(studio)


class StudioMusicTest(StudioTestCase):

    def test_the_music_starts_at_from_and_follows_a_seek(self):
        cwd = scratch_dir(self)
        heard = os.path.join(cwd, "heard.raw")
        with open(os.path.join(BUILD_DIR, MUSIC_NAME), "rb") as f:
            wav = f.read()
        data = wav.index(b"data") + 8
        rate = 22050

        def at(seconds):
            start = data + int(seconds * rate) * 4
            return wav[start:start + 2000]

        def heard_bytes():
            if not os.path.exists(heard):
                return b""
            with open(heard, "rb") as f:
                return f.read()

        studio = self.studio(["--from", "30"], cwd=cwd, shader=None,
                             env={"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": heard})
        studio.wait_until(lambda: at(30.5) in heard_bytes(), 30, [cwd])
        self.assertIn(at(30.5), heard_bytes(), "the music plays from --from")
        before = len(heard_bytes())
        studio.key("Up")
        # 92 s of the soundtrack is heard within seconds only if the music
        # followed the seek of +60 s.
        studio.wait_until(lambda: at(92.0) in heard_bytes()[before:], 30, [cwd])
        self.assertIn(at(92.0), heard_bytes()[before:], "the music follows the seek")
        self.quit(studio)


class StudioEditTest(StudioTestCase):

    def test_an_edit_shows_while_paused_and_a_still_equals_the_captured_frame(self):
        cwd = scratch_dir(self)
        studio = self.studio(["--from", "1", "--size", "320x180"], cwd=cwd, shader=None)
        studio.key("space")
        studio.key("period")
        studio.key("s")
        studio.wait_for_output(lambda out: "Saved stills/frame" in out, 60)
        line = [l for l in studio.stdout().splitlines() if l.startswith("Saved stills/frame")][0]
        frame = int(line[len("Saved stills/frame"):-len(".png")])
        self.assertGreaterEqual(frame, 61)

        replace_file(os.path.join(cwd, "data", "intro.frag"),
                     "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = vec4(0.0, 0.0, 1.0, 1.0); }\n")
        until(lambda: studio.xwin("pixel", studio.window, 160, 90)[1] == ["0", "0", "255"], 60)
        self.assertEqual(studio.xwin("pixel", studio.window, 160, 90)[1], ["0", "0", "255"],
                         "the edit shows while paused")
        self.quit(studio)

        width, height, still = decode_png(os.path.join(cwd, "stills", "frame%d.png" % frame))
        self.assertEqual((width, height), (320, 180))
        capture = scratch_dir(self)
        os.makedirs(os.path.join(capture, "capture"))
        intro = self.start(width=320, height=180, cwd=capture, args=["--capture"])
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        intro.wait_until(lambda: os.path.exists(frame_path(capture, frame + 1)), 120, [os.path.join(capture, "capture")])
        intro.key("Escape")
        intro.wait()
        _, _, captured, _, _ = read_bmp(frame_path(capture, frame))
        self.assertEqual(still, captured, "the still is the captured frame %d" % frame)

    def test_a_key_set_in_the_studio_shows_in_the_render_modes_frame(self):
        cwd = scratch_dir(self)
        tracks = os.path.join(cwd, "data", "tracks.txt")
        with open(os.path.join(cwd, "data", "intro.frag"), "w") as f:
            f.write("#version 330\nuniform float glow;\nout vec4 outputColor;\n"
                    "void main() { outputColor = vec4(glow, 0.0, 0.0, 1.0); }\n")
        # A bad file is the author's unfinished typing: no key replaces it.
        with open(tracks, "w") as f:
            f.write("# the flash\nglow 1 x step\n")
        studio = self.studio(["--size", "160x90"], cwd=cwd)
        for key in ("Tab", "k", "q"):
            studio.key(key)
        self.assertExitedNormally(studio.wait(), 0, studio)
        self.assertIn('data/tracks.txt:2: the value "x" is not a number', studio.stderr())
        self.assertEqual(open(tracks).read(), "# the flash\nglow 1 x step\n")

        with open(tracks, "w") as f:
            f.write("# the flash\n")
        studio = self.studio(["--from", "30", "--size", "160x90"], cwd=cwd)
        for key in ("space", "Tab", "equal", "0", "period", "5", "Return", "bracketright", "i"):
            studio.key(key)
        studio.wait_until(lambda: open(tracks).read().count("0.6 linear") == 1, 60, [os.path.dirname(tracks)])
        lines = open(tracks).read().splitlines()
        # Without its file a track reads 0 again, as in a program built afresh.
        until(lambda: studio.xwin("pixel", studio.window, 80, 20)[1] == ["153", "0", "0"], 60)
        os.rename(tracks, tracks + ".away")
        until(lambda: studio.xwin("pixel", studio.window, 80, 20)[1] == ["0", "0", "0"], 60)
        self.assertEqual(studio.xwin("pixel", studio.window, 80, 20)[1], ["0", "0", "0"], "no tracks file: 0")
        self.quit(studio)
        os.rename(tracks + ".away", tracks)
        self.assertEqual(lines[0], "# the flash", "the comment is kept")
        name, time, value, interpolation = lines[1].split()
        self.assertEqual((name, value, interpolation), ("glow", "0.6", "linear"))

        def red(start):
            raw = subprocess.run([STUDIO, "--render", "1", "--size", "4x2", "--from", start, "--to",
                                  "%.3f" % (float(start) + 0.01)], cwd=cwd, capture_output=True, check=True,
                                 env=dict(os.environ, DISPLAY=studio.xvfb.display, SDL_AUDIODRIVER="dummy",
                                          LIBGL_ALWAYS_SOFTWARE="1")).stdout
            return raw[0]
        self.assertEqual((red("0"), red(time)), (153, 153), "one key holds everywhere")
        with open(tracks, "a") as f:
            f.write("glow %.3f 0.2 step\n" % (float(time) + 10))
        self.assertEqual((red(time), red("%.3f" % (float(time) + 5)), red("%.3f" % (float(time) + 10))),
                         (153, 102, 51), "a key the file adds, and the interpolation set in the studio")


if __name__ == "__main__":
    import unittest
    unittest.main()
