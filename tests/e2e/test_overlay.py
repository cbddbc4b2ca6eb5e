"""The failure overlay on a running intro, read from the window: a broken
edit or a uniform of the wrong type darkens a panel across the top while the
rest of the window keeps showing the last good picture, and the next good
build takes it away."""

import os
import unittest

from harness import IntroTestCase, replace_file, scratch_dir
from test_intro import BROKEN_SHADER, time_lines, wait_for_frames

SHADER = "#version 330\nout vec4 outputColor;\nvoid main() { outputColor = vec4(0.2, 0.6, 0.8, 1.0); }\n"
# width is left unset, so (0, 0), and the colour stays the same.
WRONG_TYPE_SHADER = ("#version 330\nuniform vec2 width;\nout vec4 outputColor;\n"
                     "void main() { outputColor = vec4(0.2, 0.6, 0.8 + step(1e9, width.x), 1.0); }\n")
WIDTH, HEIGHT = 320, 240
# A pixel in the panel's top margin, where no glyph is drawn, and one far
# below any panel.
PANEL_PIXEL = (WIDTH // 2, 2)
PICTURE_PIXEL = (WIDTH // 2, HEIGHT - 10)


class OverlayTest(IntroTestCase):

    def pixel(self, intro, where):
        status, colour = intro.xwin("pixel", intro.window, *where)
        self.assertEqual(status, 0)
        return tuple(int(value) for value in colour)

    def edit_and_wait(self, intro, shader, content):
        """Replaces the shader and waits for 65 more frames: a rebuild comes
        every 30, so the second after the edit has surely built it, and some
        frames have been drawn after it."""
        replace_file(shader, content)
        wait_for_frames(intro, len(time_lines(intro.stdout())) + 65)
        self.assertIsNone(intro.process.poll(), intro.stderr())

    def test_a_panel_shows_only_while_the_build_fails_or_warns(self):
        cwd = scratch_dir(self)
        shader = os.path.join(cwd, "data", "intro.frag")
        replace_file(shader, SHADER)
        intro = self.start(width=WIDTH, height=HEIGHT, cwd=cwd)
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        wait_for_frames(intro, 5)
        picture = self.pixel(intro, PICTURE_PIXEL)
        self.assertEqual(self.pixel(intro, PANEL_PIXEL), picture, "no panel before the edit")

        for broken in (BROKEN_SHADER, WRONG_TYPE_SHADER):
            self.edit_and_wait(intro, shader, broken)
            panel = self.pixel(intro, PANEL_PIXEL)
            self.assertTrue(all(p < q for p, q in zip(panel, picture)), "a darker panel: %s" % (panel,))
            self.assertEqual(self.pixel(intro, PICTURE_PIXEL), picture, "the picture goes on below")
            self.edit_and_wait(intro, shader, SHADER)
            self.assertEqual(self.pixel(intro, PANEL_PIXEL), picture, "the panel is gone after a good build")

        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)


if __name__ == "__main__":
    unittest.main()
