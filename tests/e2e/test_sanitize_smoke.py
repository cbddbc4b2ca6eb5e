"""A short capture run of the real intro, for builds with AddressSanitizer and
UndefinedBehaviorSanitizer (tests/sanitize/run.sh): start-up, a few seconds of
frames written to files through a buffer's pass and the picture, Escape, and
a clean exit with nothing reported by a sanitizer, leaks at exit included. On
a normal build it is a quick smoke test."""

import os
import re
import time
import unittest

from harness import IntroTestCase, scratch_dir

# The first line of any ASan, LSan or UBSan report.
SANITIZER_REPORT = re.compile(r"==\d+==ERROR: |runtime error: |SUMMARY: \w+Sanitizer")
# Reads every uniform the intro sets and a buffer, but costs little on a
# software renderer.
LIGHT_SHADER = """#version 330
#iChannel0 "bufferA"
uniform sampler2D iChannel0;
uniform float iGlobalTime;
uniform float width;
uniform float height;
uniform float loopDuration;
uniform sampler2D message;
out vec4 outputColor;
void main()
{
    vec2 place = gl_FragCoord.xy / vec2(width, height);
    outputColor = vec4(fract(iGlobalTime / loopDuration), place, 1.0) + texture(message, place).a
        + texture(iChannel0, place);
}
"""
# Fades its own last frame.
BUFFER_SHADER = """#version 330
#iChannel0 "self"
uniform sampler2D iChannel0;
uniform float iTime;
uniform vec3 iResolution;
out vec4 colour;
void main()
{
    colour = texture(iChannel0, gl_FragCoord.xy / iResolution.xy) * 0.9 + vec4(fract(iTime) * 0.1);
}
"""


class SanitizedCaptureTest(IntroTestCase):

    def test_a_short_capture_ends_cleanly_without_sanitizer_reports(self):
        cwd = scratch_dir(self)
        for name, text in (("intro.frag", LIGHT_SHADER), ("bufferA.frag", BUFFER_SHADER)):
            with open(os.path.join(cwd, "data", name), "w") as f:
                f.write(text)
        os.makedirs(os.path.join(cwd, "capture"))
        intro = self.start(width=160, height=120, cwd=cwd, args=["--capture"])
        self.assertIsNotNone(intro.wait_window(timeout_ms=60000), intro.stderr())
        # Two seconds of frames, but at least the first rebuild (frame 30) so
        # that the hot-reload path runs too.
        deadline = time.monotonic() + 2
        last_frame = os.path.join(cwd, "capture", "frame31.bmp")
        while (time.monotonic() < deadline or not os.path.exists(last_frame)) \
                and time.monotonic() < deadline + 60 and intro.process.poll() is None:
            time.sleep(0.05)
        intro.key("Escape")
        status = intro.wait(timeout=120)
        stderr = intro.stderr()
        self.assertIsNone(SANITIZER_REPORT.search(stderr), "sanitizer report:\n" + stderr)
        self.assertExitedNormally(status, 0, intro)
        self.assertTrue(os.path.exists(last_frame), "fewer than 32 frames captured; stderr:\n" + stderr)


if __name__ == "__main__":
    unittest.main()
