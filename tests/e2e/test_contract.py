"""What the intro hands its shader, read back from the pictures it draws: the
shader clock in a normal run, loopDuration, the message texture and its
sampling, and width and height after a rebuild and a resize."""

import os
import time
import unittest

from harness import GLX_SHIM, IntroTestCase, png, replace_file, scratch_dir
from test_capture import capture_dir, first_frame_of_size, frame_path, read_bmp
from test_intro import time_lines, wait_for_frames

# The shader time in whole milliseconds as a 24-bit number: red its high
# byte, green the middle one, blue the low one.
CLOCK_SHADER = """#version 330
uniform float iGlobalTime;
out vec4 outputColor;
void main()
{
    float ms = floor(iGlobalTime * 1000.0 + 0.5);
    outputColor = vec4(floor(ms / 65536.0), mod(floor(ms / 256.0), 256.0), mod(ms, 256.0), 255.0) / 255.0;
}
"""

# How long the GLX shim holds the intro's start-up once the window toolkit
# has started, so that the toolkit's clock (the printed one) has run at least
# this long when the music starts and the two clocks differ by that much.
HOLD_SECONDS = 2.0
# The most the shader clock may run ahead of the printed clock's distance
# from frame 0: the music starts in frame 0 a few statements before its time
# line is printed; far less than HOLD_SECONDS.
FRAME_ZERO_OFFSET = 0.5
# Both clocks count whole milliseconds.
CLOCK_SLACK = 0.004

# The message image: 2 x 2 pixels, (R, G, B) top row first as in the file.
TOP_LEFT, TOP_RIGHT = (240, 20, 60), (20, 200, 100)
BOTTOM_LEFT, BOTTOM_RIGHT = (200, 40, 0), (0, 120, 240)
BOTTOM_MEAN = tuple((a + b) // 2 for a, b in zip(BOTTOM_LEFT, BOTTOM_RIGHT))

# Each 16-pixel column of the window shows one value, so a captured frame
# holds them all: 0 loopDuration * 40 in red; 1-7 message texture lookups
# (texture coordinates have row 0 at the bottom); 8 and 9 width and height as
# (value / 256, value % 256, 0); 10 the marker that tells the shader's
# versions apart. `other` is never set by the intro, so it samples unit 0.
PROBE_SHADER = """#version 330
uniform float loopDuration;
uniform float width;
uniform float height;
uniform sampler2D message;
uniform sampler2D other;
out vec4 outputColor;
vec4 number(float value)
{
    return vec4(floor(value / 256.0), mod(value, 256.0), 0.0, 255.0) / 255.0;
}
void main()
{
    int column = int(gl_FragCoord.x) / 16;
    if(column == 0) outputColor = vec4(loopDuration * 40.0 / 255.0, 0.0, 0.0, 1.0);
    else if(column == 1) outputColor = texture(message, vec2(0.25, 0.25));
    else if(column == 2) outputColor = texture(message, vec2(0.25, 0.75));
    else if(column == 3) outputColor = texture(message, vec2(0.5, 0.25));
    else if(column == 4) outputColor = texture(message, vec2(-1.0, -1.0));
    else if(column == 5) outputColor = texture(message, vec2(2.0, 2.0));
    else if(column == 6) outputColor = textureLod(message, vec2(0.5, 0.25), 1.0);
    else if(column == 7) outputColor = texture(other, vec2(0.25, 0.25));
    else if(column == 8) outputColor = number(width);
    else if(column == 9) outputColor = number(height);
    else outputColor = vec4(vec3(%s), 1.0);
}
"""
# What columns 0-7 show, and what each one proves.
EXPECTED_PROBES = [
    (0, (200, 0, 0), "loopDuration is 5.0"),
    (1, BOTTOM_LEFT, "the image's bottom row is texture row 0"),
    (2, TOP_LEFT, "the image's top row is the texture's top"),
    (3, BOTTOM_MEAN, "magnification filters linearly"),
    (4, BOTTOM_LEFT, "below and left of the texture the edge texel repeats (clamp to edge)"),
    (5, TOP_RIGHT, "above and right of the texture the edge texel repeats (clamp to edge)"),
    (6, BOTTOM_MEAN, "minification filters linearly, without mipmaps"),
    (7, BOTTOM_LEFT, "the texture is on unit 0"),
]


def message_png():
    def row(*pixels):
        return b"\0" + b"".join(bytes(pixel) + b"\xff" for pixel in pixels)
    return png(2, 2, row(TOP_LEFT, TOP_RIGHT) + row(BOTTOM_LEFT, BOTTOM_RIGHT))


def probe(rows, column):
    """The colour of a probe column, from the middle row of a frame."""
    return rows[len(rows) // 2][column * 16 + 8]


class ShaderClockTest(IntroTestCase):

    def test_the_shader_clock_runs_from_the_music_start_with_the_printed_clock(self):
        cwd = scratch_dir(self)
        with open(os.path.join(cwd, "data", "intro.frag"), "w") as f:
            f.write(CLOCK_SHADER)
        intro = self.start(width=160, height=120, cwd=cwd,
                           env={"LD_PRELOAD": GLX_SHIM, "GLX_SHIM_DELAY_MS": str(int(HOLD_SECONDS * 1000))})
        self.assertIsNotNone(intro.wait_window(), intro.stderr())

        def half_a_second_drawn(text):
            times = time_lines(text)
            return len(times) > 1 and float(times[-1]) - float(times[0]) >= 0.5
        intro.wait_for_output(half_a_second_drawn)
        before = len(time_lines(intro.stdout()))
        status, colour = intro.xwin("pixel", intro.window, 80, 60)
        after = len(time_lines(intro.stdout()))
        text = wait_for_frames(intro, after + 1)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(status, 0)

        times = [float(line) for line in time_lines(text)]
        self.assertGreaterEqual(times[0], HOLD_SECONDS, "the start-up was held on the toolkit's clock")
        red, green, blue = (int(value) for value in colour)
        shown = (red * 65536 + green * 256 + blue) / 1000.0
        # The window shows a frame whose swap returned before the screenshot
        # ended (at most frame after - 1), and no older than the one before the
        # last time line printed before it (swaps wait for the server). Each
        # frame's shader time is read after its time line and before the
        # next, and the music started before frame 0's time line.
        lowest = times[max(before - 3, 0)] - times[0] - CLOCK_SLACK
        highest = times[after] - times[0] + FRAME_ZERO_OFFSET
        self.assertGreaterEqual(shown, lowest, "printed times from %.3f to %.3f around the screenshot"
                                % (times[max(before - 3, 0)], times[after]))
        self.assertLessEqual(shown, highest, "the shader clock counts from the music start, "
                             "not from the toolkit's start (%.3f s before frame 0)" % times[0])


class CapturedUniformTest(IntroTestCase):

    def start_capture(self, width=320, height=240):
        cwd = capture_dir(self, shader=PROBE_SHADER % "0.0")
        replace_file(os.path.join(cwd, "images", "long.png"), message_png())
        intro = self.start(width=width, height=height, cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        return cwd, intro

    def end(self, intro):
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(intro.stderr(), "")

    def check_frame(self, cwd, number, size, marker):
        width, height, rows, _, _ = read_bmp(frame_path(cwd, number))
        self.assertEqual((width, height), size, "frame %d" % number)
        self.assertEqual(probe(rows, 10), (marker,) * 3, "frame %d is from the shader's other version" % number)
        for column, expected, meaning in EXPECTED_PROBES:
            for got, want in zip(probe(rows, column), expected):
                self.assertAlmostEqual(got, want, delta=2, msg="frame %d, column %d: %s" % (number, column, meaning))
        self.assertEqual(probe(rows, 8), (width // 256, width % 256, 0), "frame %d: width" % number)
        self.assertEqual(probe(rows, 9), (height // 256, height % 256, 0), "frame %d: height" % number)

    def test_loop_duration_and_the_message_texture_as_a_captured_frame_shows_them(self):
        cwd, intro = self.start_capture()
        intro.wait_for_output(lambda text: os.path.exists(frame_path(cwd, 1)))
        self.end(intro)
        self.check_frame(cwd, 0, (320, 240), 0)
        self.check_frame(cwd, 1, (320, 240), 0)

    def test_width_and_height_follow_a_rebuild_and_a_resize(self):
        cwd, intro = self.start_capture()
        intro.wait_for_output(lambda text: os.path.exists(frame_path(cwd, 1)))
        unedited = len(time_lines(intro.stdout()))
        replace_file(os.path.join(cwd, "data", "intro.frag"), PROBE_SHADER % "1.0")
        # A rebuild comes within 30 frames of the edit.
        edited = len(time_lines(intro.stdout()))
        rebuilt = first_frame_of_size(intro, cwd, edited + 31, (320, 240))
        self.assertIsNotNone(rebuilt, intro.stderr())
        first_new = next((number for number in range(max(unedited, 1), rebuilt + 1)
                          if probe(read_bmp(frame_path(cwd, number))[2], 10) == (255, 255, 255)), None)
        self.assertIsNotNone(first_new, "no frame from the edited shader")

        resized_at = len(time_lines(intro.stdout()))
        intro.resize(200, 150)
        resized = first_frame_of_size(intro, cwd, resized_at, (200, 150))
        self.assertIsNotNone(resized, "no frame at the new size")
        self.end(intro)

        self.check_frame(cwd, first_new - 1, (320, 240), 0)
        self.check_frame(cwd, first_new, (320, 240), 255)
        self.check_frame(cwd, resized, (200, 150), 255)


if __name__ == "__main__":
    unittest.main()
