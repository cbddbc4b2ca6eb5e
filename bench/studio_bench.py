#!/usr/bin/env python3
"""The studio's benchmarks, against the intro where both do the same thing;
prints the figures and writes them as the studio's section of
bench/results.md (replacing an earlier one, else added at the end). make
bench runs it after the other benchmarks of run_benchmarks.py.

Usage: studio_bench.py BUILD_DIR SOURCE_DIR

Both programs draw into the same 640x480 window on one Xvfb screen of that
size: the intro full screen, the studio with --size 640x480. Neither is
timed by its own output: bench/swap_log.c, preloaded, records a monotonic
time at every buffer swap (and, where the pixel matters, the centre pixel
of the frame about to be shown), and writes the log once asked.

  frame loop   frames per second over the steady part of a run (from 1 s
               after the first frame), with bench/trivial.frag and with the
               bundled data/intro.frag; the studio's against the intro's.
  edit         an atomic replace of data/intro.frag with a shader of another
               solid colour, at a recorded time, to the first frame whose
               centre pixel has that colour: with a light shader and with one
               of about 20 fps (bench/solid.frag at 0 and 80 iterations).
               The intro looks at its files every 30 frames, the studio at
               every frame.
  seek         in the studio, from a key press (Up, +60 s, then Down, -60 s,
               by turns; sent and timed by bench/key_sender) to the first
               frame drawn at the new time, with a shader whose red shows
               the time, light and at about 20 fps.

Comparisons alternate the two programs round by round, the order swapped
each round, and report medians with the spread of the rounds. Benchmarks
measure; nothing here fails on a missed goal.
"""

import datetime
import os
import random
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))

import intro_constants  # noqa: E402
from xvfb import Xvfb  # noqa: E402

WIDTH, HEIGHT = 640, 480
# bench/solid.frag's loop length for about 20 fps at WIDTH x HEIGHT here.
HEAVY_ITERATIONS = 80
RUN_ENV = dict(os.environ, SDL_AUDIODRIVER="dummy", LIBGL_ALWAYS_SOFTWARE="1")
RECORD = struct.Struct("<q4B4x")
# Where the studio starts for the seek benchmark, and the jump of each key.
SEEK_FROM = 10.0
SEEK_SECONDS = 60.0
TIME_COLOUR = "vec3(iGlobalTime / 135.0, fract(iGlobalTime), 0.0)"
# The edits' colours in turn, after the first shader's.
FIRST_COLOUR = (0, 255, 0)
EDIT_COLOURS = ((0, 0, 255), (255, 0, 0))
SECTION_BEGIN = "<!-- studio_bench.py: begin -->"
SECTION_END = "<!-- studio_bench.py: end -->"


def median(values):
    return statistics.median(values) if values else float("nan")


class Paths:
    def __init__(self, build_dir, source_dir):
        self.build = os.path.abspath(build_dir)
        self.source = os.path.abspath(source_dir)
        self.intro = os.path.join(self.build, "intro")
        self.studio = os.path.join(self.build, "studio")
        self.swap_log = os.path.join(self.build, "bench", "libswap_log.so")
        self.key_sender = os.path.join(self.build, "bench", "key_sender")
        self.trivial = os.path.join(self.source, "bench", "trivial.frag")
        self.bundled = os.path.join(self.source, "data", "intro.frag")
        self.solid = os.path.join(self.source, "bench", "solid.frag")

    def command(self, program):
        if program == "intro":
            return [self.intro]
        return [self.studio, "--size", "%dx%d" % (WIDTH, HEIGHT)]

    def command_from(self, seconds):
        return self.command("studio") + ["--from", "%g" % seconds]


def solid_shader(paths, iterations, colour):
    """bench/solid.frag with its loop length and colour (a GLSL vec3)."""
    with open(paths.solid) as f:
        text = f.read()
    lines = []
    for line in text.splitlines():
        if line.startswith("#define ITERATIONS "):
            line = "#define ITERATIONS %d" % iterations
        elif line.startswith("#define COLOUR "):
            line = "#define COLOUR " + colour
        lines.append(line)
    return "\n".join(lines) + "\n"


def rgb(colour):
    return "vec3(%.1f, %.1f, %.1f)" % tuple(c / 255.0 for c in colour)


def workdir(paths, shader_text):
    """A scratch working directory laid out as the intro's, with shader_text
    as data/intro.frag."""
    path = tempfile.mkdtemp(prefix="intro-bench-studio-")
    shutil.copytree(os.path.join(paths.source, "data"), os.path.join(path, "data"))
    with open(os.path.join(path, "data", "intro.frag"), "w") as f:
        f.write(shader_text)
    os.makedirs(os.path.join(path, "images"))
    shutil.copy(os.path.join(paths.build, "images", "long.png"), os.path.join(path, "images"))
    shutil.copy(os.path.join(paths.build, intro_constants.read()["kSoundtrackFile"]), path)
    return path


class Logged:
    """A program run with the swap log; swaps() ends it and returns its
    swaps as (monotonic seconds, (R, G, B))."""

    def __init__(self, paths, command, cwd, display, pixel=False):
        self.log = os.path.join(cwd, "swaps.log")
        env = dict(RUN_ENV, DISPLAY=display, LD_PRELOAD=paths.swap_log, SWAP_LOG=self.log,
                   SWAP_LOG_PIXEL="1" if pixel else "0")
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def swaps(self):
        try:
            if self.process.poll() is None:
                self.process.send_signal(signal.SIGUSR1)
            deadline = time.monotonic() + 10
            while not os.path.exists(self.log) and time.monotonic() < deadline:
                time.sleep(0.02)
        finally:
            self.process.kill()
            self.process.wait()
        if not os.path.exists(self.log):
            raise RuntimeError("no swap log from %s" % self.process.args[0])
        with open(self.log, "rb") as f:
            data = f.read()
        os.remove(self.log)
        return [(ns / 1e9, (r, g, b)) for ns, r, g, b, _ in RECORD.iter_unpack(data)]


def steady_rate(swaps, settle=1.0):
    times = [t for t, _ in swaps if t >= swaps[0][0] + settle] if swaps else []
    if len(times) < 2:
        raise RuntimeError("too few frames for a rate: %d" % len(times))
    return (len(times) - 1) / (times[-1] - times[0])


def load_average():
    return "%.2f, %.2f, %.2f" % os.getloadavg()


# ------------------------------------------------------------------ frame loop

def frame_loop(paths, display, shader_path, rounds=9, seconds=5.0):
    with open(shader_path) as f:
        cwd = workdir(paths, f.read())
    rates = {"intro": [], "studio": []}
    try:
        for index in range(rounds):
            order = ("intro", "studio") if index % 2 == 0 else ("studio", "intro")
            for program in order:
                run = Logged(paths, paths.command(program), cwd, display)
                time.sleep(seconds)
                rates[program].append(steady_rate(run.swaps()))
    finally:
        shutil.rmtree(cwd, True)
    ratios = [s / i for s, i in zip(rates["studio"], rates["intro"])]
    return {"intro": median(rates["intro"]), "studio": median(rates["studio"]),
            "ratio": median(rates["studio"]) / median(rates["intro"]),
            "round_min": min(ratios), "round_max": max(ratios), "rounds": rounds}


# ------------------------------------------------------------------ edit latency

def same_colour(pixel, colour, tolerance=3):
    return all(abs(p - c) <= tolerance for p, c in zip(pixel, colour))


def first_showing(swaps, since, wanted):
    """(seconds, frames) from since to the first swap after it for which
    wanted(pixel) holds; frames counts the swaps after since up to and with
    that one. None where none does."""
    frames = 0
    for t, pixel in swaps:
        if t <= since:
            continue
        frames += 1
        if wanted(pixel):
            return t - since, frames
    return None


def edit_latency(paths, display, iterations, rounds, edits, frame_seconds, rng):
    """Latencies in ms and in frames, per program, over rounds x edits, and
    the frame rates of those runs. The edits are at least 45 frames (of
    frame_seconds) apart, more by a random part of up to 30, so that the
    intro's 30-frame period meets them at every phase and each edit shows
    before the next; one that does not is counted as not seen."""
    spacing = max(0.6, 45 * frame_seconds)
    jitter = max(0.3, 30 * frame_seconds)
    results = {program: {"ms": [], "frames": [], "missed": 0, "rates": []} for program in ("intro", "studio")}
    for index in range(rounds):
        order = ("intro", "studio") if index % 2 == 0 else ("studio", "intro")
        for program in order:
            cwd = workdir(paths, solid_shader(paths, iterations, rgb(FIRST_COLOUR)))
            shader = os.path.join(cwd, "data", "intro.frag")
            try:
                run = Logged(paths, paths.command(program), cwd, display, pixel=True)
                time.sleep(2.0)
                writes = []
                for edit in range(edits):
                    colour = EDIT_COLOURS[edit % 2]
                    temporary = shader + ".new"
                    with open(temporary, "w") as f:
                        f.write(solid_shader(paths, iterations, rgb(colour)))
                    written = time.monotonic()
                    os.replace(temporary, shader)
                    writes.append((written, colour))
                    time.sleep(spacing + rng.uniform(0.0, jitter))
                swaps = run.swaps()
            finally:
                shutil.rmtree(cwd, True)
            results[program]["rates"].append(steady_rate(swaps))
            for edit, (written, colour) in enumerate(writes):
                until = writes[edit + 1][0] if edit + 1 < len(writes) else float("inf")
                shown = first_showing([s for s in swaps if s[0] < until], written,
                                      lambda pixel, c=colour: same_colour(pixel, c))
                if shown is None:
                    results[program]["missed"] += 1
                    continue
                results[program]["ms"].append(1000.0 * shown[0])
                results[program]["frames"].append(shown[1])
    return results


# ------------------------------------------------------------------ seek latency

def seek_latency(paths, display, iterations, presses, spacing, jitter, rng):
    """Latencies in ms and in frames from each key's sending to the first
    frame whose red has moved by at least half the jump."""
    cwd = workdir(paths, solid_shader(paths, iterations, TIME_COLOUR))
    half_jump = 0.5 * SEEK_SECONDS / 135.0 * 255.0
    result = {"ms": [], "frames": [], "missed": 0, "rates": []}
    try:
        run = Logged(paths, paths.command_from(SEEK_FROM), cwd, display, pixel=True)
        sender = subprocess.Popen([paths.key_sender], env=dict(RUN_ENV, DISPLAY=display), stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        try:
            if not sender.stdout.readline().startswith("window "):
                raise RuntimeError("key_sender found no window")
            time.sleep(2.0)
            sent = []
            for press in range(presses):
                key = "Up" if press % 2 == 0 else "Down"
                sender.stdin.write(key + "\n")
                sender.stdin.flush()
                answer = sender.stdout.readline().split()
                if len(answer) != 2 or answer[0] != "sent":
                    raise RuntimeError("key_sender: %s" % " ".join(answer))
                sent.append((int(answer[1]) / 1e9, 1 if key == "Up" else -1))
                time.sleep(spacing + rng.uniform(0.0, jitter))
        finally:
            sender.stdin.close()
            sender.wait()
        swaps = run.swaps()
    finally:
        shutil.rmtree(cwd, True)
    result["rates"].append(steady_rate(swaps))
    for when, direction in sent:
        before = [pixel for t, pixel in swaps if t <= when]
        if not before:
            result["missed"] += 1
            continue
        red = before[-1][0]
        shown = first_showing(swaps, when, lambda pixel: direction * (pixel[0] - red) >= half_jump)
        if shown is None:
            result["missed"] += 1
            continue
        result["ms"].append(1000.0 * shown[0])
        result["frames"].append(shown[1])
    return result


# ------------------------------------------------------------------ all of it

def measure(paths):
    rng = random.Random(1)
    figures = {"load_start": load_average()}
    with Xvfb(WIDTH, HEIGHT) as xvfb:
        print("bench: studio: frame loop, trivial shader ...", flush=True)
        figures["loop_trivial"] = frame_loop(paths, xvfb.display, paths.trivial)
        print("bench: studio: frame loop, bundled intro ...", flush=True)
        figures["loop_bundled"] = frame_loop(paths, xvfb.display, paths.bundled)
        # The heavy shader's rate here, to check its "about 20 fps" and to
        # space the edits.
        figures["heavy_rate"] = heavy_rate(paths, xvfb.display)
        print("bench: studio: edit latency, light shader ...", flush=True)
        figures["edit_light"] = edit_latency(paths, xvfb.display, 0, rounds=3, edits=6, frame_seconds=0.0, rng=rng)
        print("bench: studio: edit latency, %d-iteration shader (%.1f fps) ..." % (
            HEAVY_ITERATIONS, figures["heavy_rate"]), flush=True)
        figures["edit_heavy"] = edit_latency(paths, xvfb.display, HEAVY_ITERATIONS, rounds=2, edits=6,
                                             frame_seconds=1.0 / figures["heavy_rate"], rng=rng)
        print("bench: studio: seek latency ...", flush=True)
        figures["seek_light"] = seek_latency(paths, xvfb.display, 0, presses=12, spacing=0.5, jitter=0.3, rng=rng)
        figures["seek_heavy"] = seek_latency(paths, xvfb.display, HEAVY_ITERATIONS, presses=12, spacing=1.0,
                                             jitter=0.5, rng=rng)
    figures["load_end"] = load_average()
    return figures


def heavy_rate(paths, display):
    cwd = workdir(paths, solid_shader(paths, HEAVY_ITERATIONS, rgb(FIRST_COLOUR)))
    try:
        run = Logged(paths, paths.command("studio"), cwd, display)
        time.sleep(5.0)
        return steady_rate(run.swaps())
    finally:
        shutil.rmtree(cwd, True)


def describe_latency(result):
    if not result["ms"]:
        return "none seen (%d missed)" % result["missed"]
    text = "%.1f ms (%.1f to %.1f), %g frames (%d to %d), %d events" % (
        median(result["ms"]), min(result["ms"]), max(result["ms"]), median(result["frames"]),
        min(result["frames"]), max(result["frames"]), len(result["ms"]))
    if result["missed"]:
        text += ", %d not seen" % result["missed"]
    return text


def rows(figures):
    table = []
    for key, name in (("loop_trivial", "trivial shader"), ("loop_bundled", "bundled intro")):
        loop = figures[key]
        table.append(("Studio frame loop against the intro's, %dx%d, %s" % (WIDTH, HEIGHT, name),
                      "studio %.1f fps, intro %.1f fps" % (loop["studio"], loop["intro"]),
                      "%.3f (rounds %.3f to %.3f)" % (loop["ratio"], loop["round_min"], loop["round_max"]),
                      "within the noise", None))
    heavy = "%d-iteration shader (about 20 fps)" % HEAVY_ITERATIONS
    for key, name in (("edit_light", "light shader"), ("edit_heavy", heavy)):
        edit = figures[key]
        ratio = median(edit["studio"]["ms"]) / median(edit["intro"]["ms"]) if edit["intro"]["ms"] else float("nan")
        table.append(("Edit to the first frame that shows it, %s (median, range)" % name,
                      "studio %s; intro %s; these runs at %.0f and %.0f fps" % (
                          describe_latency(edit["studio"]), describe_latency(edit["intro"]),
                          median(edit["studio"]["rates"]), median(edit["intro"]["rates"])),
                      "%.3f" % ratio, "studio a frame or two; intro up to 30 frames", None))
    for key, name in (("seek_light", "light shader"), ("seek_heavy", heavy)):
        seek = figures[key]
        table.append(("Studio seek, key press to the first frame at the new time, %s (median, range)" % name,
                      "%s; this run at %.0f fps" % (describe_latency(seek), median(seek["rates"])), "", "report",
                      None))
    return table


def section(figures):
    lines = [
        SECTION_BEGIN,
        "## The studio",
        "",
        "Measured on %s by `bench/studio_bench.py` (load average %s at the start, %s at the end)." % (
            datetime.date.today().isoformat(), figures["load_start"], figures["load_end"]),
        "",
        "Both programs draw into the same %dx%d window on one Xvfb screen of that size: the intro" % (WIDTH, HEIGHT),
        "full screen, the studio with `--size %dx%d`. Frames are counted and timed at their swaps by" % (WIDTH, HEIGHT),
        "`bench/swap_log.c` (preloaded), which also reads the centre pixel of the frame about to be",
        "shown for the latency figures; frame rates are over each run from 1 s after its first frame,",
        "the two programs taking turns, the order swapped each round. An edit is an atomic replace of",
        "`data/intro.frag` with `bench/solid.frag` in another colour, timed at the replace; a seek is",
        "an Up or Down key sent to the studio's window by `bench/key_sender`, timed at the sending,",
        "with a shader whose red shows the time. Frames count the swaps from the event to the one",
        "that shows it, that one included.",
        "",
        "| Measure | Figures | Ratio | Goal | Met |",
        "|---|---|---|---|---|",
    ]
    for name, values, ratio, goal, met in rows(figures):
        lines.append("| %s | %s | %s | %s | %s |" % (name, values, ratio, goal,
                                                    "" if met is None else ("yes" if met else "no")))
    lines += ["", SECTION_END]
    return "\n".join(lines) + "\n"


def record(source_dir, text):
    """Puts the section into bench/results.md, in place of an earlier one."""
    path = os.path.join(source_dir, "bench", "results.md")
    old = ""
    if os.path.exists(path):
        with open(path) as f:
            old = f.read()
    begin = old.find(SECTION_BEGIN)
    end = old.find(SECTION_END)
    if begin >= 0 and end > begin:
        rest = old[end + len(SECTION_END):].lstrip("\n")
        new = old[:begin] + text + ("\n" + rest if rest else "")
    else:
        new = old.rstrip("\n") + ("\n\n" if old else "") + text
    with open(path, "w") as f:
        f.write(new)


def run(build_dir, source_dir):
    """Measures, prints the section and writes it to bench/results.md."""
    paths = Paths(build_dir, source_dir)
    text = section(measure(paths))
    print(text, flush=True)
    record(paths.source, text)


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    run(argv[0], argv[1])


if __name__ == "__main__":
    main(sys.argv[1:])
