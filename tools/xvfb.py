#!/usr/bin/env python3
"""A private X server (Xvfb) for the scripts, the benchmarks and the tests,
so that the intro can run whatever display the user has, or none.

As a program:

    xvfb.py WIDTHxHEIGHT COMMAND [ARGS...]

runs COMMAND with DISPLAY set to a private server with a screen of that size
and LIBGL_ALWAYS_SOFTWARE=1 (Mesa's software renderer), and stops the server
once COMMAND has ended. SIGINT, SIGTERM and SIGHUP are passed on to COMMAND.
The exit status is COMMAND's (128 + N where signal N ended it); when the
server cannot start, one line on standard error says why and the status is
125 (126 and 127 where COMMAND cannot be run or is not found).

As a module (the standard library alone, so that Debian's own Python can
import it too):

    with Xvfb(1280, 720) as server:
        subprocess.run(..., env=dict(os.environ, DISPLAY=server.display))

and start(), for a caller that starts its processes its own way.
"""

import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile

PROGRAM = "xvfb.py"
# The server writes its display number to this descriptor once it accepts
# clients; a server that has written nothing by then is taken as hung.
START_SECONDS = 60
PR_SET_PDEATHSIG = 1
FORWARDED_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class XvfbError(RuntimeError):
    """The server did not start. The message is one line, with the server's
    own reason where it gave one."""


def command(width, height, display_fd):
    """The server's command line: one screen of width x height at 24 bits,
    no TCP, its display number written to display_fd."""
    return ["Xvfb", "-displayfd", str(display_fd), "-screen", "0", "%dx%dx24" % (width, height),
            "-nolisten", "tcp"]


def die_with_parent():
    """In the server's process: the kernel sends it SIGTERM should the thread
    that started it end without stopping it."""
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def spawn_server(arguments, **kwargs):
    """Starts the server in a process group of its own, so that a Ctrl-C on
    the terminal leaves it to the programs that draw on it, and with
    die_with_parent() in case this process is killed."""
    return subprocess.Popen(arguments, process_group=0, preexec_fn=die_with_parent, **kwargs)


def server_reason(log):
    """What the server said before it gave up: the line after its "Fatal
    server error:", else the last line that says anything."""
    lines = [line.replace("(EE)", "").strip() for line in log.splitlines()]
    lines = [line for line in lines if line]
    if "Fatal server error:" in lines[:-1]:
        return lines[lines.index("Fatal server error:") + 1]
    return lines[-1] if lines else ""


def start(width, height, spawn=spawn_server):
    """Starts a server with a screen of width x height through
    spawn(arguments, **Popen keywords), which returns the process or an
    object that stands for it, and waits until the server accepts clients,
    which it tells on the descriptor it writes its display number to.
    Returns (what spawn returned, ":N"); raises XvfbError when the server
    does not start, which leaves what spawn returned to the caller to stop."""
    if shutil.which("Xvfb") is None:
        raise XvfbError("Xvfb is not installed (Debian package xvfb)")
    with tempfile.TemporaryFile() as log:
        read_end, write_end = os.pipe()
        try:
            server = spawn(command(width, height, write_end), pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=log)
        except OSError as error:
            os.close(read_end)
            raise XvfbError("Xvfb could not be run: %s" % (error.strerror or error)) from None
        finally:
            os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            # Readable once the number is there, or at end of file when the
            # server has ended without one.
            ready, _, _ = select.select([pipe], [], [], START_SECONDS)
            number = pipe.readline().strip().decode(errors="replace") if ready else ""
        if re.fullmatch(r"[0-9]+", number):
            return server, ":" + number
        if not ready:
            raise XvfbError("Xvfb did not start a %dx%d screen within %d s" % (width, height, START_SECONDS))
        log.seek(0)
        reason = server_reason(log.read().decode(errors="replace"))
        raise XvfbError("Xvfb could not start a %dx%d screen%s" % (width, height, ": " + reason if reason else ""))


def stop(process):
    """Ends a server that start() started with the default spawn, and reaps it."""
    if process is None:
        return
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
    process.wait()


class Xvfb:
    """A private X server as a context manager; display is ":N" once entered.

    The server stays up until the context ends, or until the thread that
    entered the context ends (the process killed, say): the kernel then ends
    the server."""

    def __init__(self, width=640, height=480):
        self.width = width
        self.height = height
        self.process = None
        self.display = None

    def __enter__(self):
        started = []

        def spawn(arguments, **kwargs):
            started.append(spawn_server(arguments, **kwargs))
            return started[-1]
        try:
            self.process, self.display = start(self.width, self.height, spawn)
        except BaseException:
            # A server that did not start, or a signal that came meanwhile.
            for process in started:
                stop(process)
            raise
        return self

    def __exit__(self, *exc):
        stop(self.process)
        self.process = None


# ------------------------------------------------------------------ the program

class Interrupted(Exception):
    def __init__(self, signum):
        super().__init__(signal.Signals(signum).name)
        self.signum = signum


def run(width, height, arguments):
    """Runs arguments on a private server; returns the exit status."""
    child = None

    def forward(signum, _frame):
        if child is None:
            raise Interrupted(signum)
        child.send_signal(signum)

    # A signal the caller ignores (a shell starts a background command with
    # SIGINT ignored) stays ignored, here and in the command.
    for signum in FORWARDED_SIGNALS:
        if signal.getsignal(signum) != signal.SIG_IGN:
            signal.signal(signum, forward)
    try:
        with Xvfb(width, height) as server:
            env = dict(os.environ, DISPLAY=server.display, LIBGL_ALWAYS_SOFTWARE="1")
            # Signals wait until the command is recorded as the one to pass
            # them to; the command itself starts with none blocked.
            signal.pthread_sigmask(signal.SIG_BLOCK, FORWARDED_SIGNALS)
            try:
                child = subprocess.Popen(arguments, env=env, preexec_fn=lambda: signal.pthread_sigmask(
                    signal.SIG_UNBLOCK, FORWARDED_SIGNALS))
            except OSError as error:
                sys.stderr.write("%s: cannot run %s: %s\n" % (PROGRAM, arguments[0], error.strerror or error))
                return 127 if isinstance(error, FileNotFoundError) else 126
            finally:
                signal.pthread_sigmask(signal.SIG_UNBLOCK, FORWARDED_SIGNALS)
            status = child.wait()
    except XvfbError as error:
        sys.stderr.write("%s: %s\n" % (PROGRAM, error))
        return 125
    except Interrupted as interruption:
        return 128 + interruption.signum
    return 128 - status if status < 0 else status


def main(argv):
    size = re.fullmatch(r"([1-9][0-9]{0,4})x([1-9][0-9]{0,4})", argv[0]) if argv else None
    if size is None or len(argv) < 2:
        sys.stderr.write("usage: %s WIDTHxHEIGHT COMMAND [ARGS...]\n" % PROGRAM)
        return 2
    return run(int(size.group(1)), int(size.group(2)), argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
