"""The application frame end to end: the window, the context checks and how
the run ends when the window goes away."""

import time
import unittest

from harness import GLX_SHIM, VERSION_REFUSAL, IntroTestCase


class WindowTest(IntroTestCase):

    def test_window_fills_the_screen_and_a_close_request_ends_the_run(self):
        intro = self.start(width=800, height=600)
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        deadline = time.monotonic() + 10
        while intro.geometry() != (800, 600) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(intro.geometry(), (800, 600))
        intro.close_window()
        self.assertExitedNormally(intro.wait(), 0, intro)

    def test_toolkit_takes_its_display_option_first(self):
        xvfb = self.server()
        intro = self.start(xvfb=xvfb, display_env=False, args=["-display", xvfb.display, "--capture"])
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        intro.close_window()
        self.assertExitedNormally(intro.wait(), 0, intro)


class DriverTest(IntroTestCase):

    def test_a_32_driver_is_refused_before_any_frame(self):
        intro = self.start(env={"LD_PRELOAD": GLX_SHIM, "GLX_SHIM_VERSION": "3.2 Mesa (faked)"})
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(intro.stdout(), VERSION_REFUSAL)

    def test_a_driver_without_debug_output_starts_without_reports(self):
        intro = self.start(env={"LD_PRELOAD": GLX_SHIM, "GLX_SHIM_HIDE": "GL_ARB_debug_output"})
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        time.sleep(1)
        intro.close_window()
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertNotIn("Message:", intro.stdout())


if __name__ == "__main__":
    unittest.main()
