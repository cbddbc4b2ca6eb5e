"""The application frame end to end: the window, the context checks, the
debug report, and how the run ends when the window goes away."""

import os
import time
import unittest

from harness import GLX_SHIM, VERSION_REFUSAL, IntroTestCase, scratch_dir
from test_capture import frame_path
from test_intro import time_lines, wait_for_frames

# A shader whose iGlobalTime is an int. The intro leaves such a uniform unset;
# with the GLX shim blinding its type check, its glUniform1f for it fails with
# GL_INVALID_OPERATION in every frame.
INT_TIME_SHADER = ("#version 330\nuniform int iGlobalTime;\nout vec4 outputColor;\n"
                   "void main() { outputColor = vec4(float(iGlobalTime)); }\n")
API_ERROR_REPORT = "Error from API,\tHigh priority\nMessage: "


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
        cwd = scratch_dir(self)
        os.makedirs(os.path.join(cwd, "capture"))
        intro = self.start(xvfb=xvfb, cwd=cwd, display_env=False, args=["-display", xvfb.display, "--capture"])
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        intro.wait_for_output(lambda text: os.path.exists(frame_path(cwd, 2)))
        intro.close_window()
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertTrue(os.path.exists(frame_path(cwd, 2)), "--capture reached the intro")
        self.assertEqual(intro.stderr(), "")


class DriverTest(IntroTestCase):

    def test_a_32_driver_is_refused_before_any_frame(self):
        intro = self.start(env={"LD_PRELOAD": GLX_SHIM, "GLX_SHIM_VERSION": "3.2 Mesa (faked)"})
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(intro.stdout(), VERSION_REFUSAL)

    def run_with_an_int_time_uniform(self, env=None):
        cwd = scratch_dir(self)
        with open(os.path.join(cwd, "data", "intro.frag"), "w") as f:
            f.write(INT_TIME_SHADER)
        intro = self.start(cwd=cwd, env=dict(env or {}, LD_PRELOAD=GLX_SHIM, GLX_SHIM_FLOAT_UNIFORMS="1"))
        self.assertIsNotNone(intro.wait_window(), intro.stderr())
        wait_for_frames(intro, 10)
        intro.key("Escape")
        self.assertExitedNormally(intro.wait(), 0, intro)
        self.assertEqual(intro.stderr(), "")
        self.assertGreaterEqual(len(time_lines(intro.stdout())), 10)
        return cwd, intro

    def test_a_gl_error_the_intro_causes_is_reported_unless_the_driver_lacks_debug_output(self):
        with self.subTest("the debug report is on"):
            cwd, intro = self.run_with_an_int_time_uniform()
            message = intro.driver_log("uniform1f", os.path.join(cwd, "data", "standard.vert"),
                                       os.path.join(cwd, "data", "intro.frag"), "iGlobalTime")
            self.assertNotEqual(message, "", "the driver reports the failed glUniform1f")
            self.assertEqual(intro.stdout().count(API_ERROR_REPORT + message), len(time_lines(intro.stdout())),
                             "one report of the driver's message per frame:\n" + intro.stdout()[:500])
        with self.subTest("GL_ARB_debug_output hidden"):
            _, intro = self.run_with_an_int_time_uniform({"GLX_SHIM_HIDE": "GL_ARB_debug_output"})
            self.assertEqual(intro.stdout().count("Message:"), 0, "no debug report")


if __name__ == "__main__":
    unittest.main()
