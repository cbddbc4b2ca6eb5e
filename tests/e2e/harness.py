"""Runs the real intro binary end to end.

Each test gets a private Xvfb server (tools/xvfb.py) of the size it asks
for, a scratch working directory holding the inputs it wants, and the xwin
helper to act as the window manager, keyboard and mouse. The build folder
comes from the INTRO_BUILD_DIR environment variable (ctest sets it), the
source folder from INTRO_SOURCE_DIR.
"""

import ctypes
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import intro_constants  # noqa: E402
import files  # noqa: E402
from xvfb import Xvfb  # noqa: E402

BUILD_DIR = os.environ.get("INTRO_BUILD_DIR", "")
SOURCE_DIR = os.environ.get("INTRO_SOURCE_DIR", "")
INTRO = os.path.join(BUILD_DIR, "intro")
STUDIO = os.path.join(BUILD_DIR, "studio")
XWIN = os.path.join(BUILD_DIR, "tests", "helpers", "xwin")
GLX_SHIM = os.path.join(BUILD_DIR, "tests", "helpers", "libglx_shim.so")
SHADER_LOG = os.path.join(BUILD_DIR, "tests", "helpers", "shader_log")
CONSTANTS = intro_constants.read(BUILD_DIR or None)
MUSIC_NAME = CONSTANTS["kSoundtrackFile"]
FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
# The frame number (the shader clock times 60, rounded) as NUMBER_BITS wide
# bars, the highest bit on the left, white for 1: bars survive lossy coding
# and read back from a window's pixels.
NUMBER_BITS = 13
NUMBER_SHADER = """#version 330
uniform float iGlobalTime;
uniform float width;
out vec4 outputColor;
void main()
{
    int bit = 12 - int(gl_FragCoord.x / width * 13.0);
    outputColor = vec4(vec3(float((int(floor(iGlobalTime * 60.0 + 0.5)) >> bit) & 1)), 1.0);
}
"""
VERSION_REFUSAL = ("Your OpenGL version is 3, 2. "
                   "You must have at least OpenGL 3.3 to run this tutorial.\n")


def replace_file(path, content):
    """files.replace_file with the file dated a second back: the intro leaves
    a shader modified within the last tenth of a second for a later check,
    and the tests count on the next one."""
    files.replace_file(path, content, modified=time.time() - 1.0)


def png(width, height, image_data=None, depth=8):
    """An RGBA PNG of depth bits whose header says width x height: every pixel
    opaque grey (8 bits only), or the given (compressed as is) image data in
    place of the pixels."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    if image_data is None:
        image_data = b"".join(b"\0" + b"\x80\x80\x80\xff" * width for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, depth, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(image_data))
            + chunk(b"IEND", b""))


def scratch_dir(test, data=True, image=True, music=True):
    """A fresh working directory with the inputs asked for; removed after the test."""
    path = tempfile.mkdtemp(prefix="intro-e2e-")
    test.addCleanup(shutil.rmtree, path, True)
    if data:
        shutil.copytree(os.path.join(SOURCE_DIR, "data"), os.path.join(path, "data"))
    if image:
        os.makedirs(os.path.join(path, "images"))
        shutil.copy(os.path.join(BUILD_DIR, "images", "long.png"), os.path.join(path, "images"))
    if music:
        # A build's own music lies in a folder of the build, music/.
        os.makedirs(os.path.dirname(os.path.join(path, MUSIC_NAME)), exist_ok=True)
        shutil.copy(os.path.join(BUILD_DIR, MUSIC_NAME), os.path.join(path, MUSIC_NAME))
    return path


class Intro:
    """One run of the intro binary in a working directory on an Xvfb display."""

    def __init__(self, xvfb, cwd, args=(), env=None, display_env=True, binary=INTRO, closed=(),
                 stdout_pipe=False):
        """closed lists standard descriptors the intro starts without;
        stdout_pipe gives its standard output to process.stdout instead of a
        file."""
        self.cwd = cwd
        self.xvfb = xvfb
        # The studio's title names the shader it shows.
        self.title = "studio: data/intro.frag" if binary == STUDIO else binary
        run_env = dict(os.environ)
        run_env.pop("DISPLAY", None)
        run_env.setdefault("SDL_AUDIODRIVER", "dummy")
        run_env["LIBGL_ALWAYS_SOFTWARE"] = "1"
        if display_env:
            run_env["DISPLAY"] = xvfb.display
        run_env.update(env or {})
        # The intro writes its streams to files the tests read while it runs;
        # each read opens the file anew, so it never moves the writer's offset.
        self.output_dir = tempfile.mkdtemp(prefix="intro-output-")
        self.stdout_path = os.path.join(self.output_dir, "stdout")
        self.stderr_path = os.path.join(self.output_dir, "stderr")
        with open(self.stdout_path, "wb") as stdout, open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(
                [binary] + list(args), cwd=cwd, env=run_env, stdin=subprocess.DEVNULL,
                stdout=subprocess.PIPE if stdout_pipe else stdout, stderr=stderr,
                preexec_fn=(lambda: [os.close(fd) for fd in closed]) if closed else None)
        self.window = None

    def xwin(self, *args):
        result = subprocess.run([XWIN] + [str(a) for a in args], capture_output=True, text=True,
                                env=dict(os.environ, DISPLAY=self.xvfb.display), timeout=60)
        return result.returncode, result.stdout.split()

    def driver_log(self, *args):
        """What shader_log prints for these arguments, on this run's X server."""
        return subprocess.run([SHADER_LOG] + list(args), capture_output=True, text=True, check=True,
                              env=dict(os.environ, DISPLAY=self.xvfb.display, LIBGL_ALWAYS_SOFTWARE="1"),
                              timeout=60).stdout

    def wait_window(self, timeout_ms=20000):
        """Waits for the intro's window; returns (width, height) or None."""
        status, fields = self.xwin("wait", self.title, timeout_ms)
        if status != 0:
            return None
        self.window = fields[0]
        return int(fields[1]), int(fields[2])

    def geometry(self):
        _, fields = self.xwin("geometry", self.window)
        return int(fields[0]), int(fields[1])

    def close_window(self):
        self.xwin("close", self.window)

    def key(self, keysym, which="both"):
        self.xwin("key", self.window, keysym, which)

    def click(self, button):
        self.xwin("click", self.window, button)

    def resize(self, width, height):
        self.xwin("resize", self.window, width, height)

    def unmap(self):
        self.xwin("unmap", self.window)

    def map(self):
        self.xwin("map", self.window)

    def wait(self, timeout=60):
        """Waits for the process to end; returns its exit status (negative for a signal)."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
            raise

    def kill(self):
        """Ends the process if it still runs and removes its output files."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.output_dir, True)

    def stdout(self):
        with open(self.stdout_path, errors="replace") as f:
            return f.read()

    def stderr(self):
        with open(self.stderr_path, errors="replace") as f:
            return f.read()

    def wait_until(self, condition, timeout=60, folders=()):
        """Waits until condition() holds, the process ends or the time is up,
        waking whenever a file in the run's output folder or in one of
        folders is written, created or renamed into place, and when the
        process ends; returns condition()'s last value."""
        deadline = time.monotonic() + timeout
        if self.process.poll() is not None:
            return condition()
        with FolderEvents([self.output_dir] + list(folders)) as events, \
                os.fdopen(os.pidfd_open(self.process.pid), "rb", buffering=0) as ended:
            while True:
                result = condition()
                left = deadline - time.monotonic()
                if result or left <= 0 or self.process.poll() is not None:
                    return result
                ready, _, _ = select.select([events, ended], [], [], left)
                if events in ready:
                    events.drain()

    def wait_for_output(self, predicate, timeout=60):
        """Waits until predicate(stdout) holds or the process ends; returns
        stdout as it then is."""
        self.wait_until(lambda: predicate(self.stdout()), timeout)
        return self.stdout()


class FolderEvents:
    """An inotify descriptor that becomes readable when a file in one of the
    folders is written, created or renamed into place; use it as a context
    manager, and drain() it after each wake."""

    MASK = 0x00000002 | 0x00000008 | 0x00000080 | 0x00000100  # modify, close write, moved to, create

    def __init__(self, folders):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.descriptor = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.descriptor < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        for folder in folders:
            if os.path.isdir(folder):
                self.libc.inotify_add_watch(self.descriptor, os.fsencode(folder), self.MASK)

    def fileno(self):
        return self.descriptor

    def drain(self):
        try:
            while os.read(self.descriptor, 65536):
                pass
        except BlockingIOError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        os.close(self.descriptor)


class IntroTestCase(unittest.TestCase):
    """Starts Xvfb servers and intro runs that are always cleaned up."""

    def server(self, width=640, height=480):
        xvfb = Xvfb(width, height).__enter__()
        self.addCleanup(xvfb.__exit__)
        return xvfb

    def start(self, width=640, height=480, xvfb=None, cwd=None, **kwargs):
        """Runs the intro on xvfb (a new server of the given size by default) in
        cwd (by default a scratch directory with every input)."""
        xvfb = xvfb or self.server(width, height)
        intro = Intro(xvfb, cwd if cwd is not None else scratch_dir(self), **kwargs)
        self.addCleanup(intro.kill)
        return intro

    def assertExitedNormally(self, status, expected, intro):
        self.assertGreaterEqual(status, 0, "ended by signal %d; stderr:\n%s" % (-status, intro.stderr()))
        self.assertEqual(status, expected, "stderr:\n" + intro.stderr())
