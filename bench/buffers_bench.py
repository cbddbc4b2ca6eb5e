"""The buffer passes' benchmark of make bench (BENCH_ONLY=buffers), at
1280x720; run_benchmarks.py runs it and writes its rows to
bench/results.md.

  passes   the live intro's frame rate (its own "FPS: " lines, no capture)
           with bufferA.frag to bufferD.frag and intro.frag all
           bench/trivial.frag, against bench/bare_loop --buffers 4, which
           makes the same five draws of the same shader into four pairs of
           float framebuffers and the window, on the same schedule: a live
           frame runs the buffers' ticks due since the last one (60 a
           second on the clock), so that above 60 frames a second most
           frames draw the picture alone. Alternating rounds, medians.
  seek     in the studio, with a light buffer (bufferA reads itself and
           adds one: a counter), paused at frame 0: a seek by keys to 90 s,
           then back to a random frame before it (fixed seed), each followed
           by `s`; the time from the seek's first key to the studio's "Saved
           stills/frame<N>.png" line, and the ticks replayed for it. The
           first replays from zero; the second from the latest checkpoint
           at or before its frame: as the studio keeps them, one at the
           target of the last replay that started from a checkpoint or
           from zero, the others at the multiples of
           CheckpointInterval(8101, capacity - 1) (scene/ticks.h) among the
           ticks run. The same keys in the studio without buffer files give
           what the seek and the still cost without a replay.
  memory   the studio's peak resident memory (VmHWM of /proc/PID/status,
           read before it quits) after a third seek, to the end, which
           fills every checkpoint; with the counter buffer and without
           buffer files, the difference against the 512 MiB budget.
  section  studio --render of 0 to 2 s and of 30 to 32 s (120 frames each)
           into /dev/null, rgb24, with the counter buffer: the second
           replays the 1800 ticks before its first frame unwritten, so the
           difference is the replay's cost. Alternating rounds, medians.

Benchmarks measure; nothing here fails on a missed goal.
"""

import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))

import intro_constants  # noqa: E402
import studio_bench  # noqa: E402
from xvfb import Xvfb  # noqa: E402

WIDTH, HEIGHT = 1280, 720
SIZE = "%dx%d" % (WIDTH, HEIGHT)
CONSTANTS = intro_constants.read()
FRAMES_PER_SECOND = 60
# The studio's checkpoint budget and the piece's ticks (frames 0 to 8100).
CHECKPOINT_BUDGET = 512 << 20
TOTAL_TICKS = 8101
LAST_FRAME = TOTAL_TICKS - 1
# RGBA, 32-bit floats.
BYTES_PER_TEXEL = 16
RUN_ENV = dict(os.environ, SDL_AUDIODRIVER="dummy", LIBGL_ALWAYS_SOFTWARE="1")
SEEK_SECONDS = 90
SEED = 8101
# How long the studio may take for one still, replay included.
STILL_TIMEOUT = 300
MARKER = "// ---- mainImage goes below this line ----"

COUNTER_BUFFER = """#iChannel0 "self"
#iChannel0::filter "nearest"

// A counter: every tick adds one to every texel of the last tick's output.
void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
	fragColor = texelFetch(iChannel0, ivec2(fragCoord), 0) + vec4(1.0);
}
"""

COUNTER_PICTURE = """#iChannel0 "bufferA"
#iChannel0::filter "nearest"

// The count shown: red steps every tick, green every second.
void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
	float ticks = texelFetch(iChannel0, ivec2(fragCoord), 0).r;
	fragColor = vec4(fract(ticks / 60.0), fract(ticks / 3600.0), 0.0, 1.0);
}
"""


def median(values):
    return statistics.median(values) if values else float("nan")


def spread(values, digits=2):
    return "%.*f to %.*f" % (digits, min(values), digits, max(values)) if values else "none"


def load_average():
    return "%.2f" % os.getloadavg()[0]


def mib(count):
    return count / float(1 << 20)


class Paths(studio_bench.Paths):
    """The studio benchmark's paths, and the bare loop's and the template's."""

    def __init__(self, build_dir, source_dir):
        super().__init__(build_dir, source_dir)
        self.bare_loop = os.path.join(self.build, "bench", "bare_loop")
        self.vertex = os.path.join(self.source, "data", "standard.vert")
        self.template = os.path.join(self.source, "data", "examples", "mainimage-wrapper.frag")


def workdir(paths, shaders):
    """A scratch run directory laid out as the intro's, with shaders (file
    name under data/ to text) written into data/."""
    path = tempfile.mkdtemp(prefix="intro-bench-buffers-")
    shutil.copytree(os.path.join(paths.source, "data"), os.path.join(path, "data"))
    for name, text in shaders.items():
        with open(os.path.join(path, "data", name), "w") as f:
            f.write(text)
    os.makedirs(os.path.join(path, "images"))
    shutil.copy(os.path.join(paths.build, "images", "long.png"), os.path.join(path, "images"))
    shutil.copy(os.path.join(paths.build, CONSTANTS["kSoundtrackFile"]), path)
    return path


def main_image(paths, code):
    """The mainImage template with code below its marker."""
    with open(paths.template) as f:
        text = f.read()
    return text[:text.index(MARKER) + len(MARKER)] + "\n\n" + code


def counter_shaders(paths):
    return {"bufferA.frag": main_image(paths, COUNTER_BUFFER), "intro.frag": main_image(paths, COUNTER_PICTURE)}


def checkpoint_capacity(buffers):
    """How many checkpoints of the buffers the studio's budget holds at the
    benchmark's size."""
    return CHECKPOINT_BUDGET // (buffers * WIDTH * HEIGHT * BYTES_PER_TEXEL)


def checkpoint_interval(buffers):
    """The ticks between the studio's spread checkpoints, as scene.cpp's
    RunTick has them: one checkpoint's room is kept for the target of the
    last replay that started from a checkpoint or from zero, the rest are
    spread at the multiples of CheckpointInterval(8101, capacity - 1)
    (scene/ticks.h)."""
    spread = checkpoint_capacity(buffers) - 1
    return max(1, (TOTAL_TICKS + spread) // (spread + 1)) if spread > 0 else 0


# ------------------------------------------------------------------ passes

def passes_cost(paths, frame_rate, rounds=11, windows=5):
    """The live intro's frame rate with four trivial buffer passes against
    the bare loop's with the same draws."""
    with open(paths.trivial) as f:
        trivial = f.read()
    cwd = workdir(paths, {name + ".frag": trivial for name in ("intro", "bufferA", "bufferB", "bufferC", "bufferD")})
    intro, bare = [], []
    load = [load_average()]
    try:
        with Xvfb(WIDTH, HEIGHT) as xvfb:
            for index in range(rounds):
                order = ("intro", "bare") if index % 2 == 0 else ("bare", "intro")
                for program in order:
                    if program == "intro":
                        intro.append(frame_rate([paths.intro], cwd, xvfb.display, windows))
                    else:
                        bare.append(frame_rate([paths.bare_loop, paths.vertex, paths.trivial, "1000000", "--buffers",
                                                "4"], cwd, xvfb.display, windows))
                print("bench: buffers: round %d: intro %.1f fps, bare loop %.1f fps (load %s)" % (
                    index + 1, intro[-1], bare[-1], load_average()), flush=True)
    finally:
        shutil.rmtree(cwd, True)
    load.append(load_average())
    ratios = [i / b for i, b in zip(intro, bare)]
    return {"intro": median(intro), "bare": median(bare), "ratio": median(intro) / median(bare), "ratios": ratios,
            "rounds": rounds, "load": load}


# ------------------------------------------------------------------ the studio

class Studio:
    """The studio in a WIDTH x HEIGHT window, its standard output read as it
    comes, each line with the monotonic time it arrived, and keys sent to
    its window by bench/key_sender."""

    def __init__(self, paths, cwd, display):
        env = dict(RUN_ENV, DISPLAY=display)
        self.errors = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen([paths.studio, "--size", SIZE], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=self.errors, text=True)
        self.lines = []
        self.arrived = threading.Condition()
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()
        self.sender = subprocess.Popen([paths.key_sender], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       text=True)
        if not self.sender.stdout.readline().startswith("window "):
            self.close()
            raise RuntimeError("key_sender found no studio window")

    def read(self):
        for line in self.process.stdout:
            with self.arrived:
                self.lines.append((time.monotonic(), line.rstrip("\n")))
                self.arrived.notify_all()
        with self.arrived:
            self.arrived.notify_all()

    def keys(self, names):
        """Sends the keys in turn; the monotonic time the first was sent."""
        first = None
        for name in names:
            self.sender.stdin.write(name + "\n")
            self.sender.stdin.flush()
            answer = self.sender.stdout.readline().split()
            if len(answer) != 2 or answer[0] != "sent":
                raise RuntimeError("key_sender: %s" % (" ".join(answer) or "ended"))
            if first is None:
                first = int(answer[1]) / 1e9
        return first

    def still(self, names):
        """Sends the keys, then `s`; (seconds from the first key to the
        still's line, the still's frame number)."""
        with self.arrived:
            seen = len(self.lines)
        sent = self.keys(list(names) + ["s"])
        deadline = time.monotonic() + STILL_TIMEOUT
        with self.arrived:
            while True:
                for when, line in self.lines[seen:]:
                    if line.startswith("Saved stills/frame") and line.endswith(".png"):
                        # A second still of a frame is stills/frame<N>-2.png.
                        return when - sent, int(line[len("Saved stills/frame"):-len(".png")].split("-")[0])
                seen = len(self.lines)
                if self.process.poll() is not None or time.monotonic() > deadline:
                    break
                self.arrived.wait(0.5)
        self.errors.seek(0)
        raise RuntimeError("no still from the studio within %d s (status %s):\n%s" % (
            STILL_TIMEOUT, self.process.poll(), self.errors.read()[-2000:]))

    def peak_memory(self):
        """VmHWM, the peak resident memory so far, in bytes."""
        with open("/proc/%d/status" % self.process.pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
        raise RuntimeError("no VmHWM for the studio")

    def close(self):
        """Quits the studio with `q`, or ends it."""
        try:
            if self.process.poll() is None and self.sender.poll() is None:
                self.sender.stdin.write("q\n")
                self.sender.stdin.flush()
                self.process.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            pass
        finally:
            for process in (self.process, self.sender):
                if process.poll() is None:
                    process.kill()
                process.wait()
            self.sender.stdin.close()
            self.sender.stdout.close()
            self.reader.join(5)
            self.process.stdout.close()
            self.errors.close()


def seek_keys(start, target):
    """Keys that move the paused studio from frame start to frame target:
    Up and Down by 60 s, Right and Left by 5 s, with Shift by 1 s, period
    and comma by a frame; never past either end on the way."""
    keys = []
    delta = target - start
    for frames, forward, back in ((3600, "Up", "Down"), (300, "Right", "Left"), (60, "Shift+Right", "Shift+Left"),
                                  (1, "period", "comma")):
        count = abs(delta) // frames
        keys += [forward if delta > 0 else back] * count
        delta -= (1 if delta > 0 else -1) * count * frames
    return keys


def replay_start(held, kept, target):
    """Where the studio's replay to target starts (scene/ticks.h's
    ChooseReplayStart, the buffers holding an exact tick): the tick held,
    or the latest checkpoint at or before target, whichever is later and not
    past target; -1 for all zero."""
    best = max([tick for tick in kept if tick <= target] + [-1])
    return held if best <= held <= target else best


class Checkpoints:
    """The checkpoints the studio keeps as its buffers replay: the spread
    ones among the ticks run, and the last restored replay's target."""

    def __init__(self, interval):
        self.interval = interval
        self.spread = set()
        self.target = None

    def ticks(self):
        return self.spread | ({self.target} if self.target is not None else set())

    def replay(self, held, frame):
        """The replay from held to frame; returns where it started."""
        start = replay_start(held, self.ticks(), frame)
        self.spread |= {tick for tick in range(self.interval, frame + 1, self.interval) if tick > start}
        if start != held:
            self.target = frame
        return start


def studio_session(paths, cwd, display, random_frame, interval):
    """One studio run: the three seeks with their stills and the peak
    memory after them. With interval 0 (no buffers) nothing is replayed."""
    studio = Studio(paths, cwd, display)
    try:
        time.sleep(1.0)
        checkpoints = Checkpoints(interval)
        # Paused where it played to, then at frame 0: a replay from zero.
        _, held = studio.still(["space"])
        _, frame = studio.still(["Home"])
        if interval:
            checkpoints.replay(held, frame)
        held = frame
        result = {"seeks": []}
        for target in (SEEK_SECONDS * FRAMES_PER_SECOND, random_frame, LAST_FRAME):
            seconds, frame = studio.still(seek_keys(held, target))
            start = checkpoints.replay(held, frame) if interval else frame
            result["seeks"].append({"seconds": seconds, "frame": frame, "replayed": frame - start, "from": start})
            held = frame
        result["peak"] = studio.peak_memory()
        result["checkpoints"] = len(checkpoints.ticks())
        return result
    finally:
        studio.close()


def studio_seeks(paths, rounds=3):
    """Seeks and peak memory, with the counter buffer and without buffer
    files, the two taking turns."""
    random_frame = random.Random(SEED).randrange(0, SEEK_SECONDS * FRAMES_PER_SECOND)
    interval = checkpoint_interval(1)
    print("bench: buffers: seeks to frame %d (%d s), back to frame %d (random, seed %d), then to the end; "
          "room for %d checkpoints, spread every %d ticks" % (
              SEEK_SECONDS * FRAMES_PER_SECOND, SEEK_SECONDS, random_frame, SEED, checkpoint_capacity(1), interval),
          flush=True)
    runs = {"buffers": [], "none": []}
    with_buffers = workdir(paths, counter_shaders(paths))
    without = workdir(paths, {"intro.frag": main_image(paths, COUNTER_PICTURE.replace('"bufferA"', '"none"'))})
    try:
        with Xvfb(WIDTH, HEIGHT) as xvfb:
            for index in range(rounds):
                order = ("buffers", "none") if index % 2 == 0 else ("none", "buffers")
                for kind in order:
                    cwd = with_buffers if kind == "buffers" else without
                    run = studio_session(paths, cwd, xvfb.display, random_frame, interval if kind == "buffers" else 0)
                    runs[kind].append(run)
                    print("bench: buffers: studio %s: %s; peak memory %.0f MiB" % (
                        "with the counter buffer" if kind == "buffers" else "without buffers",
                        ", ".join("frame %d in %.2f s (%d ticks replayed)" % (s["frame"], s["seconds"], s["replayed"])
                                  for s in run["seeks"]), mib(run["peak"])), flush=True)
    finally:
        shutil.rmtree(with_buffers, True)
        shutil.rmtree(without, True)
    return {"random_frame": random_frame, "interval": interval, "runs": runs}


# ------------------------------------------------------------------ section export

def render_seconds(paths, cwd, display, start, end):
    """studio --render of start to end s into /dev/null; its wall time."""
    with open(os.devnull, "wb") as sink:
        began = time.monotonic()
        result = subprocess.run([paths.studio, "--render", str(sink.fileno()), "--size", SIZE, "--from", str(start),
                                 "--to", str(end), "--pixel-format", "rgb24"], cwd=cwd, pass_fds=(sink.fileno(),),
                                env=dict(RUN_ENV, DISPLAY=display), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                text=True)
        elapsed = time.monotonic() - began
    if result.returncode != 0:
        raise RuntimeError("studio --render failed (%d):\n%s" % (result.returncode, result.stderr[-2000:]))
    return elapsed


def section_export(paths, rounds=3):
    cwd = workdir(paths, counter_shaders(paths))
    times = {"start": [], "section": []}
    try:
        with Xvfb(160, 90) as xvfb:
            for index in range(rounds):
                order = ("start", "section") if index % 2 == 0 else ("section", "start")
                for kind in order:
                    start = 0 if kind == "start" else 30
                    times[kind].append(render_seconds(paths, cwd, xvfb.display, start, start + 2))
                print("bench: buffers: render 0 to 2 s %.2f s, 30 to 32 s %.2f s" % (
                    times["start"][-1], times["section"][-1]), flush=True)
    finally:
        shutil.rmtree(cwd, True)
    return times


# ------------------------------------------------------------------ the rows

def rows(build_dir, source_dir, frame_rate):
    """Runs the four parts, printing as it goes; the rows for results.md.
    frame_rate(command, cwd, display, windows) is run_benchmarks.py's: the
    median of a live run's "FPS: " lines after the first."""
    paths = Paths(build_dir, source_dir)
    table = []

    print("bench: buffers: the frame loop with four buffer passes ...", flush=True)
    passes = passes_cost(paths, frame_rate)
    print("bench: buffers: intro %.1f fps, bare loop %.1f fps, ratio %.3f" % (
        passes["intro"], passes["bare"], passes["ratio"]), flush=True)
    table.append(("Buffer passes, %s, four buffers and the picture, all bench/trivial.frag, live frame loop" % SIZE,
                  "intro %.1f fps, bare loop with the same draws on the same 60-a-second ticks %.1f fps; %d rounds, "
                  "load average %s at the start, %s at the end" % (
                      passes["intro"], passes["bare"], passes["rounds"], passes["load"][0], passes["load"][1]),
                  "%.3f (rounds %s)" % (passes["ratio"], spread(passes["ratios"], 3)), ">= 0.95 (within the noise)",
                  passes["ratio"] >= 0.95))

    print("bench: buffers: studio seeks and memory ...", flush=True)
    seeks = studio_seeks(paths)
    runs = seeks["runs"]
    names = ("to %d s (frame %d)" % (SEEK_SECONDS, SEEK_SECONDS * FRAMES_PER_SECOND),
             "back to a random frame before it, %d (seed %d)" % (seeks["random_frame"], SEED),
             "to the end (frame %d)" % LAST_FRAME)
    for index, name in enumerate(names):
        timed = [run["seeks"][index]["seconds"] for run in runs["buffers"]]
        alone = [run["seeks"][index]["seconds"] for run in runs["none"]]
        first = runs["buffers"][0]["seeks"][index]
        replayed = first["replayed"]
        since = "zero" if first["from"] < 0 else ("tick %d" % first["from"])
        per_tick = (median(timed) - median(alone)) / replayed * 1000.0 if replayed else float("nan")
        print("bench: buffers: seek %s: %.2f s, %d ticks replayed from %s; without buffers %.2f s" % (
            name, median(timed), replayed, since, median(alone)), flush=True)
        table.append(("Buffer passes, studio seek %s, counter buffer, %s, key to still saved (median, range)" % (
                          name, SIZE),
                      "%.2f s (%s), %d ticks replayed from %s (about %.2f ms a tick); without buffer files %.2f s "
                      "(%s); spread checkpoints every %d ticks" % (
                          median(timed), spread(timed), replayed, since, per_tick, median(alone), spread(alone),
                          seeks["interval"]),
                      "", "report", None))

    checkpoint = WIDTH * HEIGHT * BYTES_PER_TEXEL
    kept = runs["buffers"][0]["checkpoints"]
    peak = median([run["peak"] for run in runs["buffers"]])
    bare_peak = median([run["peak"] for run in runs["none"]])
    difference = peak - bare_peak
    expected = kept * checkpoint + 2 * checkpoint
    print("bench: buffers: peak memory %.0f MiB with the buffer, %.0f MiB without, difference %.0f MiB; "
          "%d checkpoints of %.1f MiB = %.0f MiB" % (mib(peak), mib(bare_peak), mib(difference), kept,
                                                    mib(checkpoint), mib(kept * checkpoint)), flush=True)
    table.append(("Buffer passes, studio peak resident memory after seeking over the whole piece, counter buffer, "
                  "%s" % SIZE,
                  "%.0f MiB with the buffer, %.0f MiB without buffer files: %.0f MiB more; %d checkpoints of %.1f MiB "
                  "(%.0f MiB) and the buffer's two textures (%.1f MiB) make %.0f MiB of it" % (
                      mib(peak), mib(bare_peak), mib(difference), kept, mib(checkpoint), mib(kept * checkpoint),
                      mib(2 * checkpoint), mib(expected)),
                  "%.2f x the 512 MiB budget" % (difference / CHECKPOINT_BUDGET),
                  "checkpoints within 512 MiB", kept * checkpoint <= CHECKPOINT_BUDGET))

    print("bench: buffers: section export ...", flush=True)
    times = section_export(paths)
    start, section = median(times["start"]), median(times["section"])
    replay = section - start
    print("bench: buffers: render 0 to 2 s %.2f s, 30 to 32 s %.2f s, replay %.2f s" % (start, section, replay),
          flush=True)
    table.append(("Buffer passes, section export, counter buffer, %s, studio --render into /dev/null, 120 frames "
                  "(median, range)" % SIZE,
                  "0 to 2 s %.2f s (%s); 30 to 32 s %.2f s (%s): the replay of 1800 ticks %.2f s (%.2f ms a tick)" % (
                      start, spread(times["start"]), section, spread(times["section"]), replay,
                      replay / 1800 * 1000.0),
                  "%.2f x" % (section / start), "report", None))
    return table
