#!/usr/bin/env python3
"""Checks tools/xvfb.py: the Xvfb class and the program that runs a command
on a private server (the display and its size, the command's exit status,
signals passed on, a server that cannot start, bad usage), and that no
process is left behind.

Usage: xvfb_test.py SOURCE_DIR
"""

import ctypes
import os
import signal
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.path.abspath(sys.argv.pop(1)) if __name__ == "__main__" else os.environ.get("INTRO_SOURCE_DIR", "")
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xvfb  # noqa: E402
from export_test import become_subreaper, leftovers  # noqa: E402

PROGRAM = os.path.join(SOURCE_DIR, "tools", "xvfb.py")
X11 = ctypes.CDLL("libX11.so.6")
X11.XOpenDisplay.restype = ctypes.c_void_p
X11.XOpenDisplay.argtypes = [ctypes.c_char_p]
X11.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
X11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
X11.XCloseDisplay.argtypes = [ctypes.c_void_p]

# Prints the display, the renderer setting and the screen's size, read as a
# client of the server.
REPORT = """import ctypes, os
x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDisplayWidth.argtypes = x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
display = x11.XOpenDisplay(os.environ["DISPLAY"].encode())
print(os.environ["DISPLAY"], os.environ.get("LIBGL_ALWAYS_SOFTWARE"),
      "%dx%d" % (x11.XDisplayWidth(display, 0), x11.XDisplayHeight(display, 0)) if display else "none")
"""

# Says "ready", then on SIGTERM says "got SIGTERM" and exits 7.
WAIT_FOR_TERM = """import signal, sys
def stop(signum, frame):
    print("got", signal.Signals(signum).name, flush=True)
    sys.exit(7)
signal.signal(signal.SIGTERM, stop)
print("ready", flush=True)
while True:
    signal.pause()
"""


def screen_size(display):
    connection = X11.XOpenDisplay(display.encode())
    if not connection:
        return None
    size = X11.XDisplayWidth(connection, 0), X11.XDisplayHeight(connection, 0)
    X11.XCloseDisplay(connection)
    return size


class XvfbTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        become_subreaper()

    def run_program(self, *args, **kwargs):
        return subprocess.run([sys.executable, PROGRAM] + list(args), capture_output=True, text=True, timeout=120,
                              **kwargs)

    def test_the_class_gives_a_display_of_the_size_asked_for_and_stops_it(self):
        with xvfb.Xvfb(321, 123) as server:
            self.assertRegex(server.display, r"^:[0-9]+$")
            self.assertEqual(screen_size(server.display), (321, 123))
            process = server.process
        self.assertIsNotNone(process.returncode)
        self.assertEqual(leftovers(), [])

    def test_the_program_runs_the_command_on_its_own_server_and_returns_its_status(self):
        env = dict(os.environ, DISPLAY=":nowhere")
        result = self.run_program("200x100", sys.executable, "-c", REPORT + "raise SystemExit(3)", env=env)
        self.assertEqual(result.returncode, 3, result.stderr)
        display, software, size = result.stdout.split()
        self.assertRegex(display, r"^:[0-9]+$")
        self.assertEqual((software, size), ("1", "200x100"))
        self.assertEqual(result.stderr, "")
        self.assertEqual(leftovers(), [])

    def test_a_command_ended_by_a_signal_gives_128_plus_its_number(self):
        result = self.run_program("64x64", "sh", "-c", "kill -KILL $$")
        self.assertEqual(result.returncode, 128 + signal.SIGKILL, result.stderr)
        self.assertEqual(leftovers(), [])

    def test_sigterm_is_passed_on_to_the_command(self):
        process = subprocess.Popen([sys.executable, PROGRAM, "64x64", sys.executable, "-c", WAIT_FOR_TERM],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(leftovers)
        self.addCleanup(process.kill)
        self.assertEqual(process.stdout.readline(), "ready\n")
        process.send_signal(signal.SIGTERM)
        stdout, stderr = process.communicate(timeout=60)
        self.assertEqual((stdout, stderr, process.returncode), ("got SIGTERM\n", "", 7))
        self.assertEqual(leftovers(), [])

    def test_without_xvfb_one_line_says_so_and_the_command_does_not_run(self):
        folder = tempfile.mkdtemp(prefix="xvfb-test-")
        self.addCleanup(os.rmdir, folder)
        marker = os.path.join(folder, "ran")
        result = self.run_program("64x64", "/bin/sh", "-c", "touch " + marker, env=dict(os.environ, PATH=folder))
        self.assertEqual((result.returncode, result.stderr), (125, "xvfb.py: Xvfb is not installed (Debian package "
                                                                    "xvfb)\n"))
        self.assertFalse(os.path.exists(marker))

    def test_a_command_that_is_not_there_gives_127(self):
        result = self.run_program("64x64", "/no/such/command")
        self.assertEqual((result.returncode, result.stderr),
                         (127, "xvfb.py: cannot run /no/such/command: No such file or directory\n"))
        self.assertEqual(leftovers(), [])

    def test_bad_usage_prints_the_usage_and_exits_2(self):
        for args in ([], ["64x64"], ["64", "true"], ["0x64", "true"], ["64x64x24", "true"]):
            with self.subTest(args=args):
                result = self.run_program(*args)
                self.assertEqual((result.returncode, result.stderr),
                                 (2, "usage: xvfb.py WIDTHxHEIGHT COMMAND [ARGS...]\n"))


if __name__ == "__main__":
    unittest.main()
