"""The sound as the shaders see it, end to end: the spectrum texture follows
the shader's own time in a capture, two captures match byte for byte, a
shader without it causes no upload, and the mainImage template runs."""

import math
import os
import struct
import unittest

from harness import CONSTANTS, GLX_SHIM, MUSIC_NAME, SOURCE_DIR, IntroTestCase, replace_file
from test_capture import capture_dir, frame_path, read_bmp

RATE = CONSTANTS["kSoundtrackSampleRate"]
# Each column x of a 512-pixel-wide window shows texel x: row 0 (the
# spectrum) in red, row 1 (the samples) in green.
SPECTRUM_SHADER = """#version 330
uniform sampler2D spectrum;
out vec4 outputColor;
void main()
{
    float u = gl_FragCoord.x / 512.0;
    outputColor = vec4(texture(spectrum, vec2(u, 0.25)).r, texture(spectrum, vec2(u, 0.75)).r, 0.0, 1.0);
}
"""
NO_SPECTRUM_SHADER = "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = vec4(0.5); }\n"
SAMPLE_MAIN_IMAGE_MARK = "// ---- mainImage goes below this line ----"


def silence_then_sine(path, seconds_of_silence=1.0, seconds_of_sine=1.0, frequency=1000.0):
    """A 16-bit stereo WAV at the soundtrack's rate; the sine is quiet enough that
    its peak stays below the top of the spectrum's range."""
    silent = int(RATE * seconds_of_silence)
    frames = [0] * silent + [int(1500 * math.sin(2 * math.pi * frequency * n / RATE))
                             for n in range(int(RATE * seconds_of_sine))]
    data = b"".join(struct.pack("<hh", value, value) for value in frames)
    header = (b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt "
              + struct.pack("<IHHIIHH", 16, 1, 2, RATE, RATE * 4, 4, 16) + b"data" + struct.pack("<I", len(data)))
    with open(path, "wb") as f:
        f.write(header + data)


class SpectrumCaptureTest(IntroTestCase):

    def capture(self, shader, last_frame, env=None, silence=1.0, sine=1.0):
        """Captures frames 0 to last_frame at 512x64 with a 1 kHz sine after
        `silence` seconds as the soundtrack; returns the working directory."""
        cwd = capture_dir(self, shader=shader)
        silence_then_sine(os.path.join(cwd, MUSIC_NAME), silence, sine)
        intro = self.start(width=512, height=64, cwd=cwd, args=["--capture"], env=env)
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        intro.wait_until(lambda: os.path.exists(frame_path(cwd, last_frame)), 120, [os.path.join(cwd, "capture")])
        self.assertTrue(os.path.exists(frame_path(cwd, last_frame)), "frame %d never came" % last_frame)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(intro.stderr(), "")
        return cwd

    def test_the_spectrum_follows_the_shaders_time_and_two_captures_match(self):
        first = self.capture(SPECTRUM_SHADER, 63)
        _, _, rows, _, _ = read_bmp(frame_path(first, 59))
        self.assertEqual({pixel[0] for pixel in rows[32]}, {0}, "t = 59/60 s is silent")
        self.assertLessEqual({pixel[1] for pixel in rows[32]}, {127, 128, 129})
        _, _, rows, _, _ = read_bmp(frame_path(first, 63))
        reds = [pixel[0] for pixel in rows[32]]
        self.assertIn(reds.index(max(reds)), (46, 47), "1 kHz peaks at bins 46 to 47 at t = 63/60 s")
        greens = [pixel[1] for pixel in rows[32]]
        self.assertGreaterEqual(max(greens) - min(greens), 8, "the samples swing about the middle")

        second = self.capture(SPECTRUM_SHADER, 63)
        for number in range(64):
            with open(frame_path(first, number), "rb") as a, open(frame_path(second, number), "rb") as b:
                self.assertEqual(a.read(), b.read(), "frame %d" % number)

    def test_only_a_shader_that_reads_the_spectrum_causes_uploads(self):
        for shader, uploads in ((NO_SPECTRUM_SHADER, False), (SPECTRUM_SHADER, True)):
            log = os.path.join(capture_dir(self, shader=NO_SPECTRUM_SHADER), "uploads")
            self.capture(shader, 10, env={"LD_PRELOAD": GLX_SHIM, "GLX_SHIM_UPLOAD_LOG": log})
            count = 0
            if os.path.exists(log):
                with open(log) as f:
                    count = len(f.readlines())
            if uploads:
                self.assertGreaterEqual(count, 11, "one upload per frame")
            else:
                self.assertEqual(count, 0, "no upload without spectrum")

    def test_the_mainimage_template_runs_a_sample_unchanged(self):
        with open(os.path.join(SOURCE_DIR, "data", "examples", "mainimage-wrapper.frag")) as f:
            template = f.read()
        wrapper = template[:template.index(SAMPLE_MAIN_IMAGE_MARK) + len(SAMPLE_MAIN_IMAGE_MARK)]
        sample = ("\nvoid mainImage(out vec4 fragColor, in vec2 fragCoord)\n{\n"
                  "    fragColor = vec4(fragCoord / iResolution.xy, iTime, 1.0);\n}\n")
        cwd = self.capture(wrapper + sample, 30)
        _, height, rows, _, _ = read_bmp(frame_path(cwd, 30))
        red, green, blue = rows[height - 1][511]
        self.assertEqual((red, green), (255, 2), "the bottom-right pixel's fragCoord over iResolution")
        self.assertEqual(blue, 128, "iTime is 0.5 s at frame 30")
        self.assertEqual(rows[0][0][:2], (0, 253), "the top-left pixel")

    def test_pasted_code_may_reuse_the_intros_names_and_hears_the_sound_on_ichannel0(self):
        with open(os.path.join(SOURCE_DIR, "data", "examples", "mainimage-wrapper.frag")) as f:
            template = f.read()
        wrapper = template[:template.index(SAMPLE_MAIN_IMAGE_MARK) + len(SAMPLE_MAIN_IMAGE_MARK)]
        # Functions and variables named after the intro's own uniforms and
        # output, a macro over iTime, the date, and the sound at 1 kHz.
        pasted = """
float height(float x) { return x * 0.5; }
float spectrum(float x) { return x; }
vec3 message(vec3 c) { return c; }
float width = 1.0;
float iGlobalTime = 0.0;
float loopDuration = 2.0;
vec4 outputColor = vec4(0.0);
#define iTime (iTime + iGlobalTime)
void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    float level = texture(iChannel0, vec2(46.5 / 512.0, 0.25)).r;
    fragColor = vec4(message(vec3(spectrum(level), iDate.w / 4.0 * width, height(iTime))), 1.0) + outputColor;
}
"""
        heard = self.capture(wrapper + pasted, 60, silence=0.0, sine=2.0)
        _, _, rows, _, _ = read_bmp(frame_path(heard, 60))
        red, green, blue = rows[32][100]
        self.assertGreater(red, 0, "the sine is heard through iChannel0")
        self.assertIn(green, (63, 64), "iDate.w is the shader's time, 1 s at frame 60")
        self.assertEqual(blue, 128, "height() is the pasted function, of iTime through the macro")

        silent = self.capture(wrapper + pasted, 60, silence=2.0, sine=0.0)
        _, _, rows, _, _ = read_bmp(frame_path(silent, 60))
        self.assertEqual(rows[32][100], (0, green, blue), "silence reads 0 on iChannel0")


if __name__ == "__main__":
    unittest.main()
