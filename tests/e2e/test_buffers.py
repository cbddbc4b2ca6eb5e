"""Buffers end to end: a scene of two buffers (A counting its own ticks and
B's, B copying A's count of this tick), common code, and an image channel,
whose frame n shows n however it was reached: in intro --capture, in a
render-mode section from 30 s, and in studio stills after seeks forward and
back, and later an error in common.frag and an emptied common.frag, each
reported by file on standard error. Then the
failures of the new files at start-up: an error in common.frag, and a
channel line naming a buffer with no file."""

import os
import subprocess

from harness import STUDIO, IntroTestCase, png, replace_file, scratch_dir
from test_capture import frame_path, read_bmp
from test_studio import decode_png

WIDTH, HEIGHT = 160, 90
BITS = 13

COMMON = """// The value's bit under x, 13 bars across the frame, the highest on the left.
float bitAt(int value, float x, float width)
{
    return float((value >> (12 - int(x / width * 13.0))) & 1);
}
"""

BUFFER_A = """#version 330
#iChannel0 "self"
#iChannel0::filter "nearest"
#iChannel1 "bufferB"
uniform sampler2D iChannel0;
uniform sampler2D iChannel1;
out vec4 colour;
void main()
{
    ivec2 p = ivec2(gl_FragCoord.xy);
    colour = vec4(texelFetch(iChannel0, p, 0).x + 1.0, texelFetch(iChannel1, p, 0).y + 1.0, 0.0, 1.0);
}
"""

BUFFER_B = """#version 330
#iChannel0 "bufferA"
uniform sampler2D iChannel0;
out vec4 colour;
void main()
{
    colour = vec4(0.0, texelFetch(iChannel0, ivec2(gl_FragCoord.xy), 0).y, 0.0, 1.0);
}
"""

# The top half shows A's own count, the bottom half B's, less one: frame n's
# number. Blue is the image channel's grey where it has the image's size.
PICTURE = """#version 330
#iChannel0 "bufferA"
#iChannel1 "bufferB"
#iChannel2 "images/grey.png"
uniform sampler2D iChannel0;
uniform sampler2D iChannel1;
uniform sampler2D iChannel2;
uniform vec3 iChannelResolution[4];
uniform float width;
uniform float height;
out vec4 outputColor;
void main()
{
    ivec2 p = ivec2(gl_FragCoord.xy);
    float count = gl_FragCoord.y > height * 0.5 ? texelFetch(iChannel0, p, 0).x : texelFetch(iChannel1, p, 0).y;
    float image = iChannelResolution[2].xy == vec2(4.0, 2.0) ? texture(iChannel2, vec2(0.5)).r : 0.0;
    outputColor = vec4(bitAt(int(count) - 1, gl_FragCoord.x, width), 0.0, image, 1.0);
}
"""


def buffer_scene(test):
    cwd = scratch_dir(test)
    for name, text in (("common.frag", COMMON), ("bufferA.frag", BUFFER_A), ("bufferB.frag", BUFFER_B),
                       ("intro.frag", PICTURE)):
        with open(os.path.join(cwd, "data", name), "w") as f:
            f.write(text)
    with open(os.path.join(cwd, "images", "grey.png"), "wb") as f:
        f.write(png(4, 2))
    return cwd


def numbers(rows):
    """(the top half's number, the bottom half's, the blue) of a frame's rows, top first."""
    width, height = len(rows[0]), len(rows)

    def read(row):
        value = 0
        for bar in range(BITS):
            value = value * 2 + (1 if row[int((bar + 0.5) * width / BITS)][0] >= 128 else 0)
        return value
    return read(rows[height // 4]), read(rows[3 * height // 4]), rows[0][0][2]


class BuffersTest(IntroTestCase):

    def test_frame_n_shows_n_in_the_capture_a_section_and_stills_after_seeks(self):
        cwd = buffer_scene(self)
        os.makedirs(os.path.join(cwd, "capture"))
        intro = self.start(width=WIDTH, height=HEIGHT, cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        intro.wait_until(lambda: os.path.exists(frame_path(cwd, 61)), 120, [os.path.join(cwd, "capture")])
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        for n in (0, 1, 2, 60):
            self.assertEqual(numbers(read_bmp(frame_path(cwd, n))[2]), (n, n, 128), "captured frame %d" % n)

        raw_path = os.path.join(cwd, "section.raw")
        with open(raw_path, "wb") as raw:
            subprocess.run([STUDIO, "--render", str(raw.fileno()), "--from", "30", "--to", "30.04", "--size",
                            "%dx%d" % (WIDTH, HEIGHT)], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                           pass_fds=(raw.fileno(),), timeout=300,
                           env=dict(os.environ, DISPLAY=self.server(64, 64).display, LIBGL_ALWAYS_SOFTWARE="1",
                                    SDL_AUDIODRIVER="dummy"))
        with open(raw_path, "rb") as f:
            section = f.read()
        frame_bytes = WIDTH * HEIGHT * 3
        self.assertEqual(len(section), 2 * frame_bytes)
        for index in range(2):
            frame = section[index * frame_bytes:][:frame_bytes]
            rows = [[tuple(frame[(y * WIDTH + x) * 3:][:3]) for x in range(WIDTH)] for y in range(HEIGHT)]
            self.assertEqual(numbers(rows), (1800 + index, 1800 + index, 128), "section frame %d" % index)

        studio = self.start(width=640, height=480, cwd=cwd, args=["--from", "10", "--size", "320x180"],
                            binary=STUDIO)
        self.assertIsNotNone(studio.wait_window(), studio.stderr())
        studio.key("space")
        stills = []
        for seek in ("Right", "Left", "Left"):
            studio.key(seek)
            studio.key("s")
            studio.wait_for_output(lambda out: out.count("Saved stills/frame") > len(stills), 120)
            line = [l for l in studio.stdout().splitlines() if l.startswith("Saved stills/frame")][-1]
            stills.append(int(line[len("Saved stills/frame"):-len(".png")]))
        # A still asked for during a long replay is of the frame shown then,
        # whatever is shown by the time the buffers reach it.
        studio.key("Up")
        studio.key("s")
        studio.key("Home")
        studio.wait_for_output(lambda out: out.count("Saved stills/frame") > len(stills), 120)
        line = [l for l in studio.stdout().splitlines() if l.startswith("Saved stills/frame")][-1]
        stills.append(int(line[len("Saved stills/frame"):-len(".png")]))
        self.assertGreater(stills[-1], stills[-2] + 3000, "the frame after Up, not after Home")
        # A later failure in the common code names its file on standard
        # error too.
        replace_file(os.path.join(cwd, "data", "common.frag"), "float bitAt(int v, float x, float w) { return u; }\n")
        studio.wait_until(lambda: "data/common.frag:\n" in studio.stderr(), 60)
        self.assertRegex(studio.stderr(), r"data/common\.frag:\n\d:1\(")
        # Emptied, it is no common code, built at once: the picture's pass
        # then misses its bitAt, and says so.
        replace_file(os.path.join(cwd, "data", "common.frag"), "")
        studio.wait_until(lambda: "data/intro.frag:\n" in studio.stderr(), 60)
        self.assertIn("bitAt", studio.stderr().split("data/intro.frag:\n")[-1])
        studio.key("q")
        self.assertExitedNormally(studio.wait(), 0, studio)
        self.assertGreater(stills[0], 900, "15 s and more after the seek forward")
        self.assertLess(stills[2], 600, "5 s and less after two seeks back")
        for frame in stills:
            width, height, rows = decode_png(os.path.join(cwd, "stills", "frame%d.png" % frame))
            self.assertEqual(numbers(rows), (frame, frame, 128), "the still of frame %d" % frame)

    def test_an_error_in_common_code_and_a_bad_channel_line_name_their_file_and_line(self):
        for name, text, expected in (
                ("common.frag", "float fine() { return 1.0; }\nfloat broken() { return undeclared; }\n",
                 r"data/common\.frag:\n\d:2\("),
                ("bufferB.frag", BUFFER_B.replace('"bufferA"', '"bufferC"'),
                 r"data/bufferB\.frag:2: iChannel0 reads bufferC, but there is no bufferC\.frag")):
            cwd = buffer_scene(self)
            with open(os.path.join(cwd, "data", name), "w") as f:
                f.write(text)
            intro = self.start(width=WIDTH, height=HEIGHT, cwd=cwd, args=["--capture"])
            self.assertExitedNormally(intro.wait(), 1, intro)
            self.assertRegex(intro.stderr(), expected)


if __name__ == "__main__":
    import unittest
    unittest.main()
