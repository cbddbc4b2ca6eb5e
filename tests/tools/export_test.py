#!/usr/bin/env python3
"""Checks tools/export-video against stand-ins: helpers/fake_studio.py as
the studio's render mode (numbered raw frames, no GL) and
helpers/fake_ffmpeg.py as ffmpeg and ffprobe. The exporter runs as in use,
with tiny frames; its frame range and ffmpeg's command line are also checked
as functions.

Usage: export_test.py SOURCE_DIR
"""

import ctypes
import fcntl
import importlib.machinery
import importlib.util
import os
import select
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import types
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import intro_constants  # noqa: E402
import piece_constants  # noqa: E402
import video_encoding  # noqa: E402

SOUNDTRACK = intro_constants.read()["kSoundtrackFile"]
FRAME_COUNT = intro_constants.read()["kCaptureFrameCount"]

SOURCE_DIR = os.path.abspath(sys.argv.pop(1)) if __name__ == "__main__" else os.environ.get("INTRO_SOURCE_DIR", "")
EXPORTER = os.path.join(SOURCE_DIR, "tools", "export-video")
HELPERS = os.path.join(SOURCE_DIR, "tests", "helpers")
FAKE_STUDIO = os.path.join(HELPERS, "fake_studio.py")


def load_exporter():
    loader = importlib.machinery.SourceFileLoader("export_video", EXPORTER)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("export_video", loader))
    loader.exec_module(module)
    return module


def become_subreaper():
    """Processes the exporter leaves behind become this process's children,
    where leftovers() finds them, rather than init's."""
    if ctypes.CDLL(None).prctl(36, 1, 0, 0, 0) != 0:   # PR_SET_CHILD_SUBREAPER
        raise OSError("prctl(PR_SET_CHILD_SUBREAPER) failed")


def children():
    """This process's children, living or ended but not yet reaped."""
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % entry) as f:
                if int(f.read().rsplit(")", 1)[1].split()[1]) == os.getpid():
                    found.append(int(entry))
        except OSError:
            continue
    return found


def ended(pid):
    """Whether the child pid has ended and waits only to be reaped."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


def leftovers():
    """This process's children still running; they are ended here. Children
    that have already ended (a helper of the X server orphaned as it died,
    say) are only reaped: they would show for as long as nobody waits for
    them, however quickly they ended."""
    found = []
    for pid in children():
        if not ended(pid):
            found.append(pid)
            os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
    return found


def read_past(process, text, limit=120):
    """Reads the exporter's standard error up to the end of the line that
    holds text; returns what came after it. A run that never prints it fails
    the test after limit seconds rather than hanging it."""
    seen, deadline = b"", time.monotonic() + limit
    while text.encode() not in seen or not seen.split(text.encode(), 1)[1].count(b"\n"):
        ready, _, _ = select.select([process.stderr], [], [], max(0.0, deadline - time.monotonic()))
        data = os.read(process.stderr.fileno(), 65536) if ready else b""
        if not data:
            process.kill()
            raise AssertionError("no line with %r; the exporter said:\n%s" % (text, seen.decode()))
        seen += data
    return seen.split(text.encode(), 1)[1].split(b"\n", 1)[1].decode()


def stalling(command, seconds):
    """command run as the exporter's main block runs it, STALL_SECONDS lowered to seconds."""
    return [sys.executable, "-c", "import signal, sys, export_test; e = export_test.load_exporter(); e.STALL_SECONDS = "
            "%r; [signal.signal(n, e.on_stop) for n in e.STOP_SIGNALS]; sys.exit(e.main(sys.argv[1:]))" % seconds
            ] + command[1:]


def dying(pid):
    """Whether the process has ended or has a SIGKILL on its way."""
    with open("/proc/%d/status" % pid) as f:
        fields = dict(line.split(":", 1) for line in f.read().splitlines() if ":" in line)
    pending = int(fields["SigPnd"], 16) | int(fields["ShdPnd"], 16)
    return fields["State"].split()[0] in ("Z", "X") or bool(pending & (1 << (signal.SIGKILL - 1)))


def without_temporary_folders(command, writable):
    """command in a mount namespace of its own where TMPDIR, /tmp and
    /var/tmp are read-only, the folders in writable excepted, and the current
    folder is /tmp: no folder where a temporary file could be made."""
    script = ('for d in "$@"; do shift; [ "$d" = -- ] && break; mount --bind "$d" "$d"; done && '
              'for d in "$TMPDIR" /tmp /var/tmp; do mount --rbind "$d" "$d" && mount -o remount,bind,ro "$d"; done && '
              'cd /tmp && exec "$@"')
    return ["unshare", "-rm", "sh", "-c", script, "sh"] + writable + ["--"] + command


class ExportCase(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        become_subreaper()

    def folder(self):
        path = tempfile.mkdtemp(prefix="export-test-")
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def setUp(self):
        """base/data holds the shaders, base/run the soundtrack and the
        image: the studio finds the shaders through its ../data fallback."""
        self.base, self.out_dir, self.tmp, self.state, self.bin = (self.folder() for _ in range(5))
        self.run_dir = os.path.join(self.base, "run")
        os.makedirs(os.path.join(self.run_dir, "images"))
        os.makedirs(os.path.join(self.base, "data"))
        for path in ("data/standard.vert", "data/intro.frag", "run/images/long.png", "run/" + SOUNDTRACK):
            with open(os.path.join(self.base, path), "w") as f:
                f.write(path)
        self.output = os.path.join(self.out_dir, "intro.mp4")
        for name in ("ffmpeg", "ffprobe"):
            os.symlink(os.path.join(HELPERS, "fake_ffmpeg.py"), os.path.join(self.bin, name))
        self.env = dict(os.environ, TMPDIR=self.tmp, FAKE_STATE=self.state, DISPLAY=":fake",
                        PATH=self.bin + os.pathsep + os.environ["PATH"])

    def command(self, options=("--screen",), output=None):
        return [EXPORTER, "--size", "4x2"] + list(options) + [FAKE_STUDIO, self.run_dir, output or self.output]

    def export(self, options=("--screen",), output=None, **env):
        """Runs the exporter to its end; returns (status, stderr)."""
        result = subprocess.run(self.command(options, output), env=dict(self.env, **env), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=300)
        return result.returncode, result.stderr

    def start(self, **env):
        return subprocess.Popen(self.command(), env=dict(self.env, **env), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def state_of(self, name):
        with open(os.path.join(self.state, name)) as f:
            return f.read().split("\n") if name.endswith(".args") else f.read().split()

    def assertFailedCleanly(self, status, stderr, cause):
        """One line naming the cause, a failure status, and nothing left: no
        video, temporary file or process."""
        self.assertNotIn(status, (0, 2), stderr)
        self.assertIn(cause, [line for line in stderr.splitlines() if " frames (" not in line][0])
        self.assertEqual((os.listdir(self.out_dir), os.listdir(self.tmp), leftovers()), ([], [], []))

    def assertRefused(self, status, stderr, cause, code=1):
        """One line naming the cause, before anything was started."""
        self.assertEqual((status, stderr.splitlines()), (code, ["export-video: " + cause]))
        self.assertFalse(os.path.exists(os.path.join(self.state, "studio.args")), "the studio was started")
        self.assertFalse(os.path.exists(os.path.join(self.state, "ffmpeg.args")), "ffmpeg was started")


class FunctionTest(unittest.TestCase):

    def test_the_frame_range_is_the_studios(self):
        exporter = load_exporter()
        piece = exporter.Piece(135.0, FRAME_COUNT, SOUNDTRACK)
        for (start, end), expected in (((0, 135), (0, FRAME_COUNT)), ((30, 31), (1800, 60)),
                                       ((134.99, 135), (8099, 2)), ((0, 0.5), (0, 30)), ((30, 30.005), (1800, 0)),
                                       ((1 / 120, 1), (1, 59)), ((45.5, 60.25), (2730, 885))):
            self.assertEqual(exporter.frame_range(start, end, piece), expected, (start, end))

    def test_ffmpeg_reads_raw_frames_and_the_sound_from_the_first_frame(self):
        command = video_encoding.ffmpeg_command(video_encoding.raw_frames_input(161, 91), 60, "/r/" + SOUNDTRACK,
                                                "/o/.v.mp4.7.tmp", crf=23, sound_start=30.0, progress_fd=5)
        text = " ".join(command)
        for part in ("-progress pipe:5 -f rawvideo -pix_fmt yuv420p -s 161x91 -r 60 -i pipe:0 "
                     "-ss 30.000000 -t 1.000000 -i /r/" + SOUNDTRACK + " -map 0:v:0 -map 1:a:0",
                     "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v libx264", "-crf 23", "-pix_fmt yuv420p",
                     "-c:a aac -b:a 192k", "-movflags +faststart -f mp4 /o/.v.mp4.7.tmp"):
            self.assertIn(part, text)
        self.assertEqual(command[:2], ["ffmpeg", "-nostdin"])
        # From the start, the sound is not sought: make-video's frame files.
        files = video_encoding.ffmpeg_command(video_encoding.files_input("/c"), FRAME_COUNT, "/r/w.wav", "/o/v.mp4")
        self.assertNotIn("-ss", files)
        self.assertNotIn("-progress", files)
        self.assertIn("-t 135.016667 -i /r/w.wav", " ".join(files))


class UsageTest(ExportCase):

    def test_bad_sizes_and_ranges_are_one_line_and_status_2(self):
        for options, said in (
                (["--size", "-5x10"], "argument --size: a side cannot be negative: '-5x10'"),
                (["--size=-5x10"], "argument --size: a side cannot be negative: '-5x10'"),
                (["--size", "0x90"], "argument --size: each side must be at least 1 pixel: '0x90'"),
                (["--size", "1280"], "argument --size: expected WIDTHxHEIGHT such as 1280x720, not '1280'"),
                (["--size", "12x8x3"], "argument --size: expected WIDTHxHEIGHT such as 1280x720, not '12x8x3'"),
                (["--from", "-3"], "argument --from: -3 s is outside the piece, 0 to 135 s"),
                (["--to", "135.5"], "argument --to: 135.5 s is outside the piece, 0 to 135 s"),
                (["--from", "1e1"], "argument --from: expected seconds such as 30 or 30.5, not '1e1'"),
                (["--to", "nan"], "argument --to: expected seconds such as 30 or 30.5, not 'nan'"),
                (["--from", "30", "--to", "20"], "--to 20 must come after --from 30"),
                (["--from", "30", "--to", "30"], "--to 30 must come after --from 30"),
                (["--from", "30", "--to", "30.005"], "--from 30 --to 30.005 holds no frame (they are 1/60 s apart)"),
                (["--crf", "52"], "argument --crf: expected a whole number from 0 to 51, not '52'")):
            with self.subTest(options=options):
                status, stderr = self.export(["--screen"] + options)
                self.assertRefused(status, stderr, said + " (see --help)", 2)
        result = subprocess.run([EXPORTER], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stderr.count("\n")), (2, 1), result.stderr)
        self.assertIn("the following arguments are required: STUDIO, RUN_DIR, OUTPUT.mp4", result.stderr)

    def test_outputs_that_cannot_be_written_are_refused_before_rendering(self):
        device = os.path.join(self.out_dir, "null.mp4")
        try:
            os.mknod(device, stat.S_IFCHR | 0o666, os.stat("/dev/null").st_rdev)
            kind = "a character device"
        except PermissionError:
            os.mkfifo(device)
            kind = "a FIFO"
        fifo = os.path.join(self.out_dir, "fifo.mp4")
        os.mkfifo(fifo)
        folder = os.path.join(self.out_dir, "folder.mp4")
        os.mkdir(folder)
        cases = [(device, "%s is %s, not a regular file" % (device, kind)),
                 (fifo, "%s is a FIFO, not a regular file" % fifo),
                 (folder, "%s is a directory, not a regular file" % folder),
                 (os.path.join(self.out_dir, "intro.gif"), "%s/intro.gif does not end in .mp4: the video is an MP4 "
                  "file" % self.out_dir),
                 (os.path.join(self.out_dir, "none", "intro.mp4"), "the output's folder %s/none does not exist" %
                  self.out_dir)]
        for what, target in (("the soundtrack", os.path.join(self.run_dir, SOUNDTRACK)),
                             ("the image", os.path.join(self.run_dir, "images", "long.png")),
                             ("the data file", os.path.join(self.base, "data", "intro.frag")),
                             ("the studio", FAKE_STUDIO)):
            link = os.path.join(self.out_dir, "link-%d.mp4" % len(cases))
            os.symlink(target, link)
            cases.append((link, "%s is %s %s, which the export reads" % (link, what, target)))
        # RUN_DIR/data is looked in before ../data.
        os.mkdir(os.path.join(self.run_dir, "data"))
        shutil.copy(os.path.join(self.base, "data", "intro.frag"), os.path.join(self.run_dir, "data", "x.mp4"))
        target = os.path.join(self.run_dir, "data", "x.mp4")
        cases.append((target, "%s is the data file %s, which the export reads" % (target, target)))
        for output, said in cases:
            with self.subTest(output=output):
                status, stderr = self.export(output=output)
                self.assertRefused(status, stderr, said)
        self.assertTrue(stat.S_ISCHR(os.stat(device).st_mode) or stat.S_ISFIFO(os.stat(device).st_mode))
        self.assertEqual(leftovers(), [])

    def test_missing_inputs_and_tools_are_refused_before_rendering(self):
        plain = os.path.join(self.base, "plain")
        shutil.copy(FAKE_STUDIO, plain)
        os.chmod(plain, 0o644)
        no_wav, no_data, fifo, empty, broken = self.folder(), os.path.join(self.folder(), "run"), *(
            self.folder() for _ in range(3))
        for run_dir in (no_wav, fifo, empty):
            shutil.copytree(os.path.join(self.base, "data"), os.path.join(run_dir, "data"))
        os.mkfifo(os.path.join(fifo, SOUNDTRACK))
        open(os.path.join(empty, SOUNDTRACK), "w").close()
        with open(intro_constants.header_path(broken), "w") as f:
            f.write("constexpr double kIntroSeconds = 60.0;\n")
        os.mkdir(no_data)
        shutil.copy(os.path.join(self.run_dir, SOUNDTRACK), no_data)
        for studio, run_dir, env, said in (
                (plain, self.run_dir, {}, "the studio %s is not an executable file" % plain),
                (FAKE_STUDIO, os.path.join(self.base, "none"), {},
                 "the run directory %s/none is not a directory" % self.base),
                (FAKE_STUDIO, no_data, {}, "no data/standard.vert in %s or its parent" % no_data),
                (FAKE_STUDIO, no_wav, {}, "no soundtrack %s in %s" % (SOUNDTRACK, no_wav)),
                (FAKE_STUDIO, fifo, {}, "%s/%s is a FIFO, not a regular file" % (fifo, SOUNDTRACK)),
                (FAKE_STUDIO, empty, {}, "ffprobe cannot read the soundtrack %s/%s: Invalid data found when "
                 "processing input" % (empty, SOUNDTRACK)),
                (FAKE_STUDIO, broken, {}, "%s/intro_constants.h does not define kCaptureFrameCount" % broken),
                (FAKE_STUDIO, self.run_dir, {"PATH": self.folder()},
                 "ffmpeg is not installed or not on PATH (Debian package ffmpeg)"),
                (FAKE_STUDIO, self.run_dir, {"DISPLAY": ""}, "--screen needs an X display, but DISPLAY is not set")):
            with self.subTest(said):
                result = subprocess.run([EXPORTER, "--screen", studio, run_dir, self.output], capture_output=True,
                                        text=True, env=dict(self.env, **env))
                self.assertRefused(result.returncode, result.stderr, said)
        self.assertEqual((os.listdir(self.out_dir), leftovers()), ([], []))


class StreamTest(ExportCase):

    def test_every_frame_goes_from_the_studio_to_ffmpeg_through_one_pipe(self):
        before = sorted(os.walk(self.base))
        status, stderr = self.export(["--crf", "23"], FAKE_STUDIO_WARN="Could not load images/long.png: No such "
                                     "file or directory")
        self.assertEqual(status, 0, stderr)
        self.assertEqual(self.state_of("ffmpeg.frames"), [str(n) for n in range(FRAME_COUNT)])
        # The studio's descriptor is ffmpeg's standard input: no copy between.
        self.assertEqual(self.state_of("studio.pipe"), self.state_of("ffmpeg.pipe"))
        self.assertEqual(os.listdir(self.out_dir), ["intro.mp4"])
        with open(self.output) as f:
            self.assertEqual(f.read(), "video %d\naudio\n" % FRAME_COUNT)
        self.assertEqual((sorted(os.walk(self.base)), os.listdir(self.tmp), leftovers()), (before, [], []))

        # A private Xvfb server, software GL, the run directory as the
        # working directory, the whole piece.
        args = self.state_of("studio.args")
        self.assertEqual(args[0], "--render")
        self.assertEqual(args[2:], ["--from", "0", "--to", "135", "--size", "4x2", "--pixel-format", "yuv420p"])
        display, software = self.state_of("studio.env")
        self.assertRegex(display, r"^:[0-9]+$")
        self.assertNotEqual(display, ":fake")
        self.assertEqual((software, self.state_of("studio.cwd")), ("1", [self.run_dir]))
        args = " ".join(self.state_of("ffmpeg.args"))
        for part in ("-f rawvideo -pix_fmt yuv420p -s 4x2 -r 60 -i pipe:0 -t 135.016667 -i %s/%s" % (
                     self.run_dir, SOUNDTRACK), "-crf 23", "-f mp4 %s/.intro.mp4." % self.out_dir):
            self.assertIn(part, args)
        self.assertNotIn("-ss", args)
        self.assertRegex(args, r" %s/\.intro\.mp4\.[0-9]+\.tmp$" % self.out_dir)

        lines = stderr.splitlines()
        self.assertEqual(lines[0], "Could not load images/long.png: No such file or directory")
        progress = [line.split("(")[1].split(")")[0] for line in lines if " frames (" in line]
        self.assertEqual(progress, ["%d %%" % (5 * step) for step in range(1, 21)])
        self.assertEqual(lines[-1], "export-video: wrote %s (%d frames, 4x2)" % (self.output, FRAME_COUNT))

    def test_a_section_has_its_frames_and_the_sound_from_its_start(self):
        """The last frame alone too, its sound the silence after the soundtrack's end."""
        for start, end, frames, sound in (("30", "31", range(1800, 1860), "30.000000 -t 1.000000"),
                                          ("134.995", "135", [8100], "135.000000 -t 0.016667")):
            status, stderr = self.export(["--screen", "--from", start, "--to", end])
            self.assertEqual((status, self.state_of("ffmpeg.frames")), (0, [str(n) for n in frames]), stderr)
            self.assertIn("-ss %s -i %s/%s" % (sound, self.run_dir, SOUNDTRACK), " ".join(self.state_of("ffmpeg.args")))
            with open(self.output) as f:
                self.assertEqual(f.read(), "video %d\naudio\n" % len(frames))
        self.assertEqual(self.state_of("studio.env"), [":fake", "None"])

    def test_a_build_folders_own_piece_and_its_soundtracks_length(self):
        """RUN_DIR's intro_constants.h gives the piece's length, frames,
        soundtrack and bounds; a soundtrack shorter than the video, or longer
        than the piece, is said once before rendering, and the sound stops
        where the pictures do. Its length, 200.0333... s, is more than six
        digits hold."""
        with open(intro_constants.header_path()) as f:
            header = piece_constants.piece_header(f.read(), length=200.03)[0]
        with open(intro_constants.header_path(self.run_dir), "w") as f:
            f.write(piece_constants.replace_constant(header, "kSoundtrackFile", '"own.wav"'))
        os.rename(os.path.join(self.run_dir, SOUNDTRACK), os.path.join(self.run_dir, "own.wav"))
        short = "export-video: the soundtrack (135.00 s) ends before the video's end (%s s): silence follows"
        long = "export-video: the soundtrack (250.00 s) runs past the piece's end (200.033 s): the video stops there"
        for options, sound, frames, said in (([], "200.03", range(12003), None),
                                             ([], "135", range(12003), short % "200.03"),
                                             (["--from", "150", "--to", "180"], "135", range(9000, 10800),
                                              short % "180.00"),
                                             (["--from", "150", "--to", "180"], "250", range(9000, 10800), None),
                                             ([], "250", range(12003), long)):
            with self.subTest(options=options, sound=sound):
                status, stderr = self.export(["--screen"] + options, FAKE_SOUND_SECONDS=sound)
                self.assertEqual((status, self.state_of("ffmpeg.frames")), (0, [str(n) for n in frames]), stderr)
                self.assertEqual([line for line in stderr.splitlines() if "soundtrack" in line],
                                 [said] if said else [])
        self.assertIn("-t 200.050000 -i %s/own.wav" % self.run_dir, " ".join(self.state_of("ffmpeg.args")))
        self.assertEqual(self.export(["--from", "201"]), (2, "export-video: argument --from: 201 s is outside the "
                                                             "piece, 0 to 200.033 s (see --help)\n"))

    def test_a_free_name_passes_over_a_video_there_and_one_being_written(self):
        open(self.output, "w").close()
        held = os.open(os.path.join(self.out_dir, ".intro-2.mp4.lock"), os.O_RDWR | os.O_CREAT)
        fcntl.flock(held, fcntl.LOCK_EX)
        first = self.export(["--screen", "--free-name", "--to", "1"])
        os.close(held)
        second = self.export(["--screen", "--free-name", "--to", "1"])
        self.assertEqual([stderr.splitlines()[-1] for _, stderr in (first, second)],
                         ["export-video: wrote %s/intro-%d.mp4 (60 frames, 4x2)" % (self.out_dir, n) for n in (3, 2)])
        self.assertEqual(sorted(os.listdir(self.out_dir)), ["intro-2.mp4", "intro-3.mp4", "intro.mp4"])

    def test_one_export_at_a_time_and_a_killed_ones_leftovers_are_cleared_by_the_next(self):
        process = self.start(FAKE_STUDIO_STALL=str(FRAME_COUNT // 2 + 1))
        read_past(process, "(50 %)")
        # A second one to the same video, through a link to its folder, is refused and starts nothing.
        state, link = self.folder(), os.path.join(self.folder(), "link")
        os.symlink(self.out_dir, link)
        status, stderr = self.export(output=link + "/intro.mp4", FAKE_STATE=state)
        self.assertEqual((status, stderr, os.listdir(state)), (1, "export-video: another export is writing %s/"
                                                                  "intro.mp4\n" % link, []))
        process.kill()
        process.wait()
        process.stderr.close()
        # Its children die with it: SIGKILL is on its way to each.
        orphans = children()
        self.assertEqual(len(orphans), 2)
        self.assertTrue(all(dying(pid) for pid in orphans))
        self.assertLessEqual(set(leftovers()), set(orphans))
        # Its lock file stays, but not its lock.
        killed = ".intro.mp4.%d.tmp" % process.pid
        self.assertEqual(sorted(os.listdir(self.out_dir)), [killed, ".intro.mp4.lock"])
        # One of a run that still goes on stays.
        running = ".intro.mp4.%d.tmp" % os.getpid()
        open(os.path.join(self.out_dir, running), "w").close()
        status, stderr = self.export()
        self.assertEqual(status, 0, stderr)
        self.assertEqual(sorted(os.listdir(self.out_dir)), sorted([running, "intro.mp4"]))


class FailureTest(ExportCase):

    def test_each_failure_names_its_cause_and_leaves_nothing(self):
        log = "0:3(15): error: value of type float cannot be assigned to variable of type vec4"
        for env, said, *options in (
                ({"FAKE_STUDIO_LOG": log}, "export-video: the studio failed with exit status 1 at start-up; "
                 "it said:\n%s\n" % log),
                ({"FAKE_STUDIO_LIMIT": "3"}, "export-video: studio: --size 4x2 is larger than this driver's limit "
                 "of 3 x 3\n"),
                ({"FAKE_FFMPEG_FAIL_AFTER": "50"}, "export-video: ffmpeg failed with exit status 1 after 50 of %d "
                 "frames; its last lines:\n[fake] Conversion failed after frame 49\n" % FRAME_COUNT),
                ({"FAKE_FFMPEG_QUIET_FAIL_AFTER": "50"}, "export-video: ffmpeg failed with exit status 1 after 50 of "
                 "%d frames, with nothing on its standard error\n" % FRAME_COUNT),
                # The studio still writing when ffmpeg goes (64x64 overflows the 1 MiB pipe), and one that has ended.
                ({"FAKE_FFMPEG_STOP_AFTER": "50"}, "export-video: ffmpeg ended (status 0) before it had read every "
                 "frame, after 50 of %d frames, with nothing on its standard error\n" % FRAME_COUNT, "--size", "64x64"),
                ({"FAKE_FFMPEG_LEAVE_AFTER": "50"}, "export-video: ffmpeg ended (status 0) before it had read every "
                 "frame, after 50 of 600 frames, with nothing on its standard error\n", "--to", "10"),
                ({"FAKE_STUDIO_END_AFTER": "50"}, "export-video: the studio ended (status 0) after 50 of %d frames, "
                 "without a word\n" % FRAME_COUNT),
                ({"FAKE_FFMPEG_EMPTY": "1"}, "export-video: ffmpeg ended well but wrote nothing (an empty file)\n"),
                ({"FAKE_FFMPEG_DROP": "1"}, "export-video: the video ffmpeg wrote holds %d frames, not one stream "
                 "of %d frames\n" % (FRAME_COUNT - 1, FRAME_COUNT)),
                ({"FAKE_FFMPEG_NO_AUDIO": "1"}, "export-video: the video ffmpeg wrote holds no sound\n")):
            with self.subTest(said, options=options):
                status, stderr = self.export(["--screen"] + options, **env)
                self.assertFailedCleanly(status, stderr, said.split("\n")[0])
                self.assertEqual("\n".join(line for line in stderr.splitlines() if " frames (" not in line) + "\n",
                                 said)

    def test_signals_half_way_stop_everything_and_leave_nothing(self):
        """One signal, or several pending together (sent while the exporter
        is stopped): the first handled decides the status and the line, and
        the others do not cut the clean-up short."""
        for burst in ((signal.SIGINT,), (signal.SIGTERM,),
                      (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGTERM)):
            with self.subTest(" ".join(signum.name for signum in burst)):
                process = self.start(FAKE_STUDIO_STALL=str(FRAME_COUNT // 2 + 1))
                stderr = read_past(process, "(50 %)")
                self.assertIsNone(process.poll())
                os.kill(process.pid, signal.SIGSTOP)
                os.waitpid(process.pid, os.WUNTRACED)
                for signum in burst + (signal.SIGCONT,):
                    os.kill(process.pid, signum)
                stderr += process.stderr.read().decode()
                process.stderr.close()
                status = process.wait()
                self.assertIn(status - 128, burst, stderr)
                self.assertEqual(stderr, "export-video: interrupted by %s; no video written\n" %
                                 signal.Signals(status - 128).name)
                self.assertEqual((os.listdir(self.out_dir), os.listdir(self.tmp), leftovers()), ([], [], []))

    def test_a_stall_is_said_once_naming_the_child_at_fault(self):
        """The whole export with STALL_SECONDS lowered, then each look at a
        stall in turn."""
        process = subprocess.Popen(stalling(self.command(), 0.25), env=dict(
            self.env, FAKE_STUDIO_STALL="0", PYTHONPATH=os.path.dirname(__file__), INTRO_SOURCE_DIR=SOURCE_DIR),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        read_past(process, "export-video: no frame for 0.25 s: the studio has written none since ")
        process.terminate()
        process.communicate()
        self.assertEqual((process.returncode, os.listdir(self.out_dir), leftovers()), (128 + signal.SIGTERM, [], []))
        said, studio = [], types.SimpleNamespace(poll=lambda: None)
        export = types.SimpleNamespace(seen=None, count=9, studio=studio, ffmpeg=types.SimpleNamespace(pid=-1),
                                       progress=types.SimpleNamespace(done=5, write=said.append))
        for waiting, ended in ((0, None), (0, None), (0, None), (12, None), (12, None), (12, None), (0, 0), (0, 0)):
            export.unread, studio.poll = (lambda: waiting), (lambda: ended)
            load_exporter().Export.watch(export)
        self.assertEqual([line.split(" since ")[0] for line in said],
                         ["export-video: no frame for 30 s: the studio has written none",
                          "export-video: no frame for 30 s: ffmpeg has read none of those waiting for it"])
        self.assertRegex(said[0], r" since [0-9]{2}:[0-9]{2}:[0-9]{2} \(5 of 9 frames encoded\); still waiting$")

    def test_no_usable_temporary_folder(self):
        """The export on the screen needs none; one for the private X server
        is refused before anything starts."""
        if subprocess.run(["unshare", "-rm", "true"], capture_output=True).returncode != 0:
            self.skipTest("no user and mount namespaces here to make the temporary folders read-only")
        for options in ([], ["--screen"]):
            with self.subTest(options=options):
                result = subprocess.run(without_temporary_folders(self.command(options), [self.out_dir, self.state]),
                                        env=self.env, capture_output=True, text=True)
                if options:
                    self.assertEqual((result.returncode, os.listdir(self.out_dir)), (0, ["intro.mp4"]),
                                     result.stderr)
                else:
                    self.assertRefused(result.returncode, result.stderr, "no usable temporary folder for the "
                                       "private X server (tried TMPDIR=%s, /tmp, /var/tmp, /usr/tmp and the current "
                                       "folder); --screen renders on $DISPLAY without one" % self.tmp)
                self.assertEqual((os.listdir(self.tmp), leftovers()), ([], []))


if __name__ == "__main__":
    unittest.main()
