#!/usr/bin/env python3
"""Runs every benchmark of make bench, prints the figures and writes them to
bench/results.md with a frame-time plot, bench/frame-times.png; last, the
video export's benchmark (export_bench.py) writes bench/export-results.md.

Usage: [BENCH_ONLY=NAME,...] run_benchmarks.py BUILD_DIR SOURCE_DIR

BUILD_DIR is a build configured with -DINTRO_BENCH=ON. BENCH_ONLY runs only
the benchmarks it names, of overhead, overlay, hitch, capture, bmp, spectrum,
tracks, loader, startup, buffers, studio and export; their rows then replace their
own in bench/results.md, which keeps the others (and from the studio's
section on, the notes written by hand too)
and notes the date of each one measured alone. Every comparison runs
both sides in the same invocation, alternating round by round, and reports
medians and ratios, since the machine is shared. Benchmarks measure; nothing
here fails on a missed goal.
"""

import contextlib
import datetime
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BUILD_DIR = os.path.abspath(sys.argv[1]) if len(sys.argv) == 3 else ""
SOURCE_DIR = os.path.abspath(sys.argv[2]) if len(sys.argv) == 3 else ""
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))

import buffers_bench  # noqa: E402
import export_bench  # noqa: E402
import intro_constants  # noqa: E402
import studio_bench  # noqa: E402
from files import replace_file  # noqa: E402
from xvfb import Xvfb  # noqa: E402

MUSIC_NAME = intro_constants.read()["kSoundtrackFile"]

INTRO = os.path.join(BUILD_DIR, "intro")
BENCH = os.path.join(BUILD_DIR, "bench")
TRIVIAL_SHADER = os.path.join(SOURCE_DIR, "bench", "trivial.frag")
VERTEX_SHADER = os.path.join(SOURCE_DIR, "data", "standard.vert")
RUN_ENV = dict(os.environ, SDL_AUDIODRIVER="dummy", LIBGL_ALWAYS_SOFTWARE="1")


def median(values):
    return statistics.median(values) if values else float("nan")


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))] if ordered else float("nan")


def workdir(fragment_shader=None):
    """A scratch working directory laid out as the intro's."""
    path = tempfile.mkdtemp(prefix="intro-bench-")
    shutil.copytree(os.path.join(SOURCE_DIR, "data"), os.path.join(path, "data"))
    if fragment_shader:
        shutil.copy(fragment_shader, os.path.join(path, "data", "intro.frag"))
    os.makedirs(os.path.join(path, "images"))
    shutil.copy(os.path.join(BUILD_DIR, "images", "long.png"), os.path.join(path, "images"))
    shutil.copy(os.path.join(BUILD_DIR, MUSIC_NAME), path)
    return path


def run_lines(command, cwd, display, enough, timeout=300, on_poll=None):
    """Runs command until enough(lines) holds; returns its output lines.

    The output goes to a file that is read every 0.1 s rather than through a
    pipe read line by line, so that reading it costs the measured program
    next to nothing."""
    env = dict(RUN_ENV, DISPLAY=display)
    with tempfile.TemporaryFile(mode="w+") as output:
        process = subprocess.Popen(command, cwd=cwd, env=env, stdout=output, stderr=subprocess.DEVNULL)
        started = time.monotonic()
        lines = []
        try:
            while process.poll() is None and time.monotonic() - started < timeout:
                time.sleep(0.1)
                if on_poll:
                    on_poll()
                with open("/proc/self/fd/%d" % output.fileno()) as reader:
                    text = reader.read()
                lines = text[:text.rfind("\n") + 1].splitlines()
                if enough(lines):
                    break
        finally:
            process.send_signal(signal.SIGKILL)
            process.wait()
    return lines


def first_line_milliseconds(command, cwd, display, wanted):
    """Milliseconds from starting command to the first output line for which
    wanted(line) holds, read through a pipe as it comes."""
    env = dict(RUN_ENV, DISPLAY=display)
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    started = time.monotonic()
    elapsed = float("nan")
    try:
        for line in process.stdout:
            if wanted(line.rstrip("\n")):
                elapsed = 1000.0 * (time.monotonic() - started)
                break
    finally:
        process.send_signal(signal.SIGKILL)
        process.wait()
        process.stdout.close()
    return elapsed


def is_time_line(line):
    return "." in line and " " not in line and not line.startswith("FPS")


def fps_values(lines):
    return [float(line[5:]) for line in lines if line.startswith("FPS: ")]


def frame_rate(command, cwd, display, windows=6):
    """The median of the frame-rate lines, leaving out the first window."""
    lines = run_lines(command, cwd, display, lambda got: len(fps_values(got)) >= windows + 1)
    return median(fps_values(lines)[1:])


def capture_in_memory(cwd):
    """Points cwd/capture at a fresh folder in /dev/shm (tmpfs), so that the
    disk's write-back does not decide the capture figures; returns a function
    that removes that folder again."""
    capture = os.path.join(cwd, "capture")
    if os.path.islink(capture):
        shutil.rmtree(os.readlink(capture), True)
        os.remove(capture)
    elif os.path.isdir(capture):
        shutil.rmtree(capture)
    target = tempfile.mkdtemp(prefix="intro-bench-capture-", dir="/dev/shm")
    os.symlink(target, capture)
    return lambda: shutil.rmtree(target, True)


# ------------------------------------------------------------------ 1. overhead

def frame_loop_overhead(rounds=9):
    cwd = workdir(TRIVIAL_SHADER)
    intro, bare = [], []
    with Xvfb(640, 480) as xvfb:
        for _ in range(rounds):
            intro.append(frame_rate([INTRO], cwd, xvfb.display))
            bare.append(frame_rate([os.path.join(BENCH, "bare_loop"), VERTEX_SHADER, TRIVIAL_SHADER,
                                    "100000"], cwd, xvfb.display))
    shutil.rmtree(cwd)
    return {"intro": median(intro), "bare": median(bare), "ratio": median(intro) / median(bare)}


# ------------------------------------------------------------------ 1b. failure overlay

def overlay_cost(rounds=9, frames=200):
    """The frame time at 1280x720 with no overlay call, with the overlay's
    draw called while nothing is shown, and with a 20-line compile log shown
    (the three take turns within one run of overlay_bench); and the times of
    one OverlayShow and one OverlayInit."""
    with Xvfb(1280, 720) as xvfb:
        output = subprocess.run([os.path.join(BENCH, "overlay_bench"), VERTEX_SHADER, TRIVIAL_SHADER,
                                 str(rounds), str(frames)], capture_output=True, text=True,
                                env=dict(RUN_ENV, DISPLAY=xvfb.display), check=True).stdout
    figures = dict(line.split() for line in output.splitlines() if len(line.split()) == 2)
    return {name: (value if name == "size" else float(value)) for name, value in figures.items()}


# ------------------------------------------------------------------ 2. rebuild hitch

def frame_times(lines):
    """(frame time in ms, whether the frame held a rebuild) per frame.

    The rebuild comes before a frame's time line, which reads the toolkit's
    clock afresh, so its cost lands in the interval that ends at the time
    line right after the size line."""
    result = []
    previous = None
    rebuild = False
    for line in lines:
        if len(line.split()) == 3:
            rebuild = True
            continue
        if not is_time_line(line):
            continue
        now = float(line)
        if previous is not None:
            result.append(((now - previous) * 1000.0, rebuild))
        previous = now
        rebuild = False
    return result


def rebuild_hitch(frames=1500):
    """Frame times of the bundled intro, with the shader files left alone and
    with the shader edited every half second so that rebuilds compile."""
    results = {}
    for label, edit in (("unchanged", False), ("edited", True)):
        cwd = workdir()
        shader = os.path.join(cwd, "data", "intro.frag")
        with open(shader) as f:
            original = f.read()
        state = {"next": time.monotonic(), "edits": 0}

        def edit_now():
            if edit and time.monotonic() >= state["next"]:
                state["edits"] += 1
                replace_file(shader, original + "\n// edit %d\n" % state["edits"])
                state["next"] += 0.5

        with Xvfb(640, 480) as xvfb:
            lines = run_lines([INTRO], cwd, xvfb.display,
                              lambda got: sum(1 for line in got if is_time_line(line)) >= frames,
                              on_poll=edit_now)
        shutil.rmtree(cwd)
        times = frame_times(lines)[60:]
        ordinary = [t for t, rebuild in times if not rebuild]
        rebuilds = [t for t, rebuild in times if rebuild]
        results[label] = {"ordinary": ordinary, "rebuild": rebuilds, "series": times}
    return results


def describe(values):
    return "%.1f / %.1f / %.1f" % (median(values), percentile(values, 0.99), max(values) if values else 0)


# ------------------------------------------------------------------ 3. capture

def capture_throughput(size, rounds=3, windows=3):
    cwd = workdir(TRIVIAL_SHADER)
    intro, floor = [], []
    with Xvfb(*size) as xvfb:
        for _ in range(rounds):
            release = capture_in_memory(cwd)
            intro.append(frame_rate([INTRO, "--capture"], cwd, xvfb.display, windows))
            release()
            release = capture_in_memory(cwd)
            floor.append(frame_rate([os.path.join(BENCH, "bare_loop"), VERTEX_SHADER, TRIVIAL_SHADER,
                                     "100000", "--capture-floor", os.path.join(cwd, "capture")],
                                    cwd, xvfb.display, windows))
            release()
    shutil.rmtree(cwd)
    return {"intro": median(intro), "floor": median(floor), "ratio": median(intro) / median(floor)}


# ------------------------------------------------------------------ 4. BMP encoding

def benchmark_medians(program):
    """The median entry of each benchmark of a Google Benchmark program in
    BENCH, 15 repetitions interleaved at random, by name."""
    output = subprocess.run([os.path.join(BENCH, program), "--benchmark_repetitions=15",
                             "--benchmark_enable_random_interleaving=true",
                             "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
                            capture_output=True, text=True, check=True).stdout
    return {entry["run_name"]: entry for entry in json.loads(output)["benchmarks"]
            if entry.get("aggregate_name") == "median"}


def bmp_encoding():
    rates = {name: entry["bytes_per_second"] / 1e9 for name, entry in benchmark_medians("bitmap_bench").items()}
    return {"encode": rates["EncodeBottomUp"], "encode_top_down": rates["EncodeTopDown"],
            "copy": rates["CopyFrame"], "ratio": rates["EncodeBottomUp"] / rates["CopyFrame"]}


# ------------------------------------------------------------------ 4b. the sound's bytes

def spectrum_cost():
    """Microseconds per frame: the transform alone (FFT and both rows of
    bytes), and a whole analysis from a WAV file (seek, read, transform)."""
    times = {name: entry["real_time"] for name, entry in benchmark_medians("spectrum_bench").items()}
    return {"transform": times["Transform"], "analysis": times["AnalyseFromFile"]}


# ------------------------------------------------------------------ 4c. sync tracks

def tracks_cost():
    """100 tracks of 1000 keys: every track's value for one frame (ms), the
    file read (ms) and one key edit as the studio makes it (ms)."""
    scales = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}
    times = {name: entry["real_time"] * scales[entry["time_unit"]]
             for name, entry in benchmark_medians("tracks_bench").items()}
    return {"frame": times["EvaluateFrame"], "read": times["ReadFile"], "edit": times["EditKey"]}


def tracks_frame_loop(rounds=9, tracks=20, keys=100):
    """The intro's frame rate at 640x480 with a shader that reads `tracks`
    float uniforms, with a tracks file of that many tracks of `keys` keys
    each, and without one (the uniforms then read 0), taking turns."""
    shader = tempfile.NamedTemporaryFile("w", suffix=".frag", delete=False)
    names = ["track%02d" % n for n in range(tracks)]
    shader.write("#version 330\nuniform float width;\nuniform float height;\n" +
                 "".join("uniform float %s;\n" % name for name in names) +
                 "out vec4 outputColor;\nvoid main()\n{\n\tfloat sum = " + " + ".join(names) + ";\n" +
                 "\toutputColor = vec4(gl_FragCoord.x / width, gl_FragCoord.y / height, fract(sum), 1.0);\n}\n")
    shader.close()
    with_tracks, without = workdir(shader.name), workdir(shader.name)
    os.remove(shader.name)
    for folder in (with_tracks, without):
        with contextlib.suppress(FileNotFoundError):
            os.remove(os.path.join(folder, "data", "tracks.txt"))
    with open(os.path.join(with_tracks, "data", "tracks.txt"), "w") as f:
        for name in names:
            for key in range(keys):
                f.write("%s %.3f %g %s\n" % (name, key * 1.35, key % 7 / 7.0, ("step", "linear", "smooth", "ramp")[key % 4]))
    rates = {"tracks": [], "none": []}
    with Xvfb(640, 480) as xvfb:
        for _ in range(rounds):
            rates["tracks"].append(frame_rate([INTRO], with_tracks, xvfb.display))
            rates["none"].append(frame_rate([INTRO], without, xvfb.display))
    shutil.rmtree(with_tracks)
    shutil.rmtree(without)
    return {"tracks": median(rates["tracks"]), "none": median(rates["none"]),
            "ratio": median(rates["tracks"]) / median(rates["none"])}


# ------------------------------------------------------------------ 5. loader

def loader_costs(rounds=15):
    names = ("glload", "glew", "epoxy")
    costs = {name: [] for name in names}
    lookups = {}
    env_counter = os.path.join(BENCH, "liblookup_counter.so")
    with Xvfb(64, 64) as xvfb:
        for _ in range(rounds):
            for name in names:
                result = subprocess.run([os.path.join(BENCH, "loader_bench_" + name)], capture_output=True,
                                        text=True, env=dict(RUN_ENV, DISPLAY=xvfb.display,
                                                            LD_PRELOAD=env_counter), check=True)
                init, first, second = (float(v) for v in result.stdout.split())
                costs[name].append(init + first - second)
                lookups[name] = int(result.stderr.split("lookups")[-1])
    return {name: {"ms": median(costs[name]), "lookups": lookups[name]} for name in names}


# ------------------------------------------------------------------ 6. start-up

def startup(rounds=10):
    cwd = workdir()
    first_frame, steps = [], []
    with Xvfb(1280, 720) as xvfb:
        for _ in range(rounds):
            first_frame.append(first_line_milliseconds([INTRO], cwd, xvfb.display, is_time_line))
            result = subprocess.run([os.path.join(BENCH, "startup_steps")], cwd=cwd, capture_output=True,
                                    text=True, env=dict(RUN_ENV, DISPLAY=xvfb.display), check=True)
            steps.append([float(v) for v in result.stderr.split()[-5:]])
    shutil.rmtree(cwd)
    toolkit, loader, program, image, audio = (median([s[i] for s in steps]) for i in range(5))
    return {"first_frame": median(first_frame), "toolkit": toolkit, "loader": loader,
            "compile": program - image, "image": image, "audio": audio,
            "own": loader + image + audio}


# ------------------------------------------------------------------ report

def plot(hitch, path):
    data = path + ".dat"
    with open(data, "w") as f:
        for label in ("unchanged", "edited"):
            for index, (ms, rebuild) in enumerate(hitch[label]["series"]):
                f.write("%d %.3f %d\n" % (index, ms, 1 if rebuild else 0))
            f.write("\n\n")
    script = """set terminal png size 1100,450
set output '%s'
set title 'Frame times of the bundled intro at 640x480 (llvmpipe)'
set xlabel 'frame'
set ylabel 'milliseconds'
set key top left
plot '%s' index 0 using 1:($3 == 0 ? $2 : 1/0) with points pt 7 ps 0.3 lc rgb '#4477aa' title 'frames', \\
     '%s' index 0 using 1:($3 == 1 ? $2 : 1/0) with points pt 5 ps 0.8 lc rgb '#228833' title 'rebuild, files unchanged', \\
     '%s' index 1 using 1:($3 == 1 ? $2 : 1/0) with points pt 9 ps 0.8 lc rgb '#cc3311' title 'rebuild, shader edited'
""" % (path, data, data, data)
    subprocess.run(["gnuplot"], input=script, text=True, check=True)
    os.remove(data)


# ------------------------------------------------------------------ the rows

def overhead_rows():
    overhead = frame_loop_overhead()
    return [("Frame-loop overhead, 640x480, trivial shader",
             "intro %.0f fps, bare loop %.0f fps" % (overhead["intro"], overhead["bare"]),
             "%.3f" % overhead["ratio"], ">= 0.95", overhead["ratio"] >= 0.95)]


def overlay_rows():
    overlay = overlay_cost()
    print("bench: failure overlay: frame ms none %.3f, hidden %.3f, shown %.3f; hidden/none %.3f, "
          "shown - none %.3f ms; OverlayShow %.3f ms, OverlayInit %.1f ms" % (
              overlay["frame_none_ms"], overlay["frame_hidden_ms"], overlay["frame_shown_ms"],
              overlay["hidden_over_none"], overlay["shown_minus_none_ms"], overlay["show_ms"],
              overlay["init_first_ms"]), flush=True)
    return [("Failure overlay, 1280x720, trivial shader (median frame ms)",
             "no overlay call %.3f, hidden %.3f, shown (20-line log, panel %d px high) %.3f; "
             "shown costs %.3f ms a frame; "
             "one OverlayShow %.3f ms; OverlayInit %.1f ms the first time, %.1f ms repeated" % (
                 overlay["frame_none_ms"], overlay["frame_hidden_ms"], overlay["panel_height"],
                 overlay["frame_shown_ms"], overlay["shown_minus_none_ms"], overlay["show_ms"],
                 overlay["init_first_ms"], overlay["init_ms"]),
             "hidden/none %.3f (rounds %.3f to %.3f), shown/none %.3f" % (
                 overlay["hidden_over_none"], overlay["hidden_over_none_round_min"],
                 overlay["hidden_over_none_round_max"], overlay["shown_over_none"]),
             "hidden: the frame loop unchanged; shown: reported", None)]


def hitch_rows():
    hitch = rebuild_hitch()
    plot(hitch, os.path.join(SOURCE_DIR, "bench", "frame-times.png"))
    unchanged = hitch["unchanged"]
    edited = hitch["edited"]
    median_frame = median(unchanged["ordinary"])
    return [
        ("Ordinary frames, bundled intro, 640x480 (median / p99 / max ms)",
         describe(unchanged["ordinary"]), "", "report", None),
        ("Rebuild frames, files unchanged (median / p99 / max ms)", describe(unchanged["rebuild"]),
         "%.2f x median frame" % (max(unchanged["rebuild"]) / median_frame),
         "<= 2 x median frame", max(unchanged["rebuild"]) <= 2 * median_frame),
        ("Rebuild frames, shader edited (median / p99 / max ms)", describe(edited["rebuild"]),
         "%.1f x median frame" % (median(edited["rebuild"]) / median_frame), "report", None),
    ]


def capture_rows():
    rows = []
    for size in ((640, 480), (1280, 720)):
        result = capture_throughput(size)
        rows.append(("Capture, %dx%d, trivial shader" % size,
                     "intro %.1f fps, floor %.1f fps" % (result["intro"], result["floor"]),
                     "%.3f" % result["ratio"], ">= 0.8", result["ratio"] >= 0.8))
    return rows


def bmp_rows():
    bmp = bmp_encoding()
    return [("BMP encoding, 1920x1080", "encode %.2f GB/s, copy %.2f GB/s" % (bmp["encode"], bmp["copy"]),
             "%.3f" % bmp["ratio"], ">= 0.25", bmp["ratio"] >= 0.25)]


def spectrum_rows():
    sound = spectrum_cost()
    print("bench: the sound's bytes: FFT and bytes %.1f us, whole analysis %.1f us" % (
        sound["transform"], sound["analysis"]), flush=True)
    return [("The sound's bytes per frame: FFT and bytes; whole analysis from a WAV file",
             "%.1f us; %.1f us" % (sound["transform"], sound["analysis"]), "",
             "FFT and bytes <= 100 us", sound["transform"] <= 100.0)]


def tracks_rows():
    tracks = tracks_cost()
    print("bench: sync tracks: a frame's values %.4f ms, the file read %.1f ms, a key edit %.1f ms" % (
        tracks["frame"], tracks["read"], tracks["edit"]), flush=True)
    loop = tracks_frame_loop()
    print("bench: sync tracks in the frame loop: %.0f fps with 20 tracks, %.0f without, ratio %.3f" % (
        loop["tracks"], loop["none"], loop["ratio"]), flush=True)
    return [("Sync tracks, 100 tracks of 1000 keys: every value for a frame; the file read; a key edit",
             "%.4f ms; %.1f ms; %.1f ms" % (tracks["frame"], tracks["read"], tracks["edit"]), "",
             "a frame's values < 0.05 ms", tracks["frame"] < 0.05),
            ("Sync tracks in the frame loop, 640x480: 20 tracks of 100 keys against none",
             "%.0f fps against %.0f" % (loop["tracks"], loop["none"]), "%.3f" % loop["ratio"],
             "within the noise (>= 0.97)", loop["ratio"] >= 0.97)]


def loader_rows():
    loaders = loader_costs()
    ours = loaders["glload"]["ms"]
    return [("Loader: load + first use of the intro's entry points",
             "glload %.2f ms (%d look-ups), GLEW %.2f ms (%d), libepoxy %.2f ms (%d)" % (
                 ours, loaders["glload"]["lookups"], loaders["glew"]["ms"], loaders["glew"]["lookups"],
                 loaders["epoxy"]["ms"], loaders["epoxy"]["lookups"]),
             "%.2f x GLEW, %.2f x libepoxy" % (ours / loaders["glew"]["ms"], ours / loaders["epoxy"]["ms"]),
             "faster than both", ours < loaders["glew"]["ms"] and ours < loaders["epoxy"]["ms"])]


def startup_rows():
    start = startup()
    return [("Start-up, exec to the first frame's time line, 1280x720", "%.0f ms" % start["first_frame"],
             "", "report", None),
            ("Start-up steps (ms)",
             "toolkit and context %.1f, loader %.1f, shader compile and link %.1f, image decode and "
             "upload %.1f, audio set-up %.1f" % (start["toolkit"], start["loader"], start["compile"],
                                                 start["image"], start["audio"]),
             "own steps %.1f ms" % start["own"], "own steps < 20 ms", start["own"] < 20.0)]


def buffers_rows():
    return buffers_bench.rows(BUILD_DIR, SOURCE_DIR, frame_rate)


# The benchmarks in the order they run and their rows stand in results.md:
# (name for BENCH_ONLY, what the progress line says, the function that runs it
# and returns its rows, the beginnings of its rows' measure names). The video
# export comes last and writes its own file.
BENCHMARKS = (
    ("overhead", "frame-loop overhead", overhead_rows, ("Frame-loop overhead",)),
    ("overlay", "failure overlay", overlay_rows, ("Failure overlay",)),
    ("hitch", "rebuild hitch", hitch_rows, ("Ordinary frames", "Rebuild frames")),
    ("capture", "capture throughput", capture_rows, ("Capture,",)),
    ("bmp", "BMP encoding", bmp_rows, ("BMP encoding",)),
    ("spectrum", "the sound's bytes", spectrum_rows, ("The sound's bytes",)),
    ("tracks", "sync tracks", tracks_rows, ("Sync tracks",)),
    ("loader", "loader", loader_rows, ("Loader:",)),
    ("startup", "start-up", startup_rows, ("Start-up",)),
    ("buffers", "buffer passes (bench/buffers_bench.py)", buffers_rows, ("Buffer passes",)),
    ("studio", "the studio (its section of bench/results.md)", None, ()),
    ("export", "video export (over an hour at 1280x720; BENCH_EXPORT_SIZE and BENCH_EXPORT_SHADERS choose)",
     None, ()),
)
NAMES = [benchmark[0] for benchmark in BENCHMARKS]
ALONE_PREFIX = "Measured alone with `BENCH_ONLY`: "


def chosen():
    """The benchmarks BENCH_ONLY names (comma- or space-separated), in their
    own order; all of them when it is unset or empty."""
    words = os.environ.get("BENCH_ONLY", "").replace(",", " ").split()
    unknown = [word for word in words if word not in NAMES]
    if unknown:
        sys.exit("bench: BENCH_ONLY takes %s, not %r" % (", ".join(NAMES), " ".join(unknown)))
    return [name for name in NAMES if not words or name in words]


def owner(row):
    """The benchmark whose row a table line or a row tuple is, or None."""
    measure = row[0] if isinstance(row, tuple) else row.split(" | ")[0].lstrip("| ")
    for name, _, _, prefixes in BENCHMARKS:
        if any(measure.startswith(prefix) for prefix in prefixes):
            return name
    return None


def table_line(row):
    name, figures, ratio, goal, met = row
    return "| %s | %s | %s | %s | %s |" % (name, figures, ratio, goal, "" if met is None else ("yes" if met else "no"))


def earlier_results(path):
    """From an existing results.md: (its date line, its machine line, the
    dates of benchmarks measured alone, its table lines by benchmark)."""
    dated, machine, alone, lines = None, None, {}, {}
    if not os.path.exists(path):
        return dated, machine, alone, lines
    with open(path) as f:
        text = f.read()
    # The studio's section, which studio_bench.py writes, has its own date.
    studio = text.find(studio_bench.SECTION_BEGIN)
    for line in (text if studio < 0 else text[:studio]).splitlines():
        if line.startswith("Measured on "):
            dated = line
        elif line.startswith("Machine: "):
            machine = line
        elif line.startswith(ALONE_PREFIX):
            for entry in line[len(ALONE_PREFIX):].rstrip(".").split(", "):
                name, _, day = entry.partition(" on ")
                alone[name] = day
        elif line.startswith("| ") and owner(line):
            lines.setdefault(owner(line), []).append(line)
    return dated, machine, alone, lines


def kept_sections(path):
    """What an existing results.md holds from the studio's section on (which
    studio_bench.py writes), with the notes written by hand after it, and the
    blank line before it; or nothing."""
    if not os.path.exists(path):
        return ""
    with open(path) as f:
        text = f.read()
    begin = text.find(studio_bench.SECTION_BEGIN)
    if begin < 0:
        return ""
    return "\n" + text[begin:]


def write_results(rows, names):
    """Writes results.md: a whole run's rows alone, or after a run of only
    some benchmarks, their new rows in place of their old ones, the others
    kept as they were with the date of the run that measured them."""
    path = os.path.join(SOURCE_DIR, "bench", "results.md")
    stamp = datetime.date.today().isoformat()
    dated = "Measured on %s by `make bench` (`bench/run_benchmarks.py`)." % stamp
    machine = "Machine: %s." % export_bench.machine()
    alone = {}
    new_lines = {}
    for row in rows:
        new_lines.setdefault(owner(row), []).append(table_line(row))
    if set(names) != set(NAMES):
        old_dated, old_machine, alone, old_lines = earlier_results(path)
        dated, machine = old_dated, old_machine or machine
        for name in new_lines:
            alone[name] = stamp
        new_lines = dict(old_lines, **new_lines)
    table = ["| Measure | Figures | Ratio | Goal | Met |", "|---|---|---|---|---|"]
    for name in NAMES:
        table += new_lines.get(name, [])
    notes = [dated, ""] if dated else []
    if alone:
        notes += [ALONE_PREFIX + ", ".join("%s on %s" % (name, alone[name]) for name in NAMES if name in alone)
                  + ".", ""]
    report = "\n".join([
        "# Benchmark results",
        "",
    ] + notes + [
        machine,
        "",
        "Medians of alternating rounds; frame rates from the programs' own `FPS:` lines, written to a",
        "file. Captured frames go to a tmpfs folder, so that the disk's write-back does not decide.",
        "The intro's time lines have millisecond resolution, which bounds the frame-time figures. The",
        "own start-up steps are the loader, the image's decode and upload and the audio set-up; the",
        "toolkit's window and context and the shader compiler are the platform's and the driver's.",
        "The failure overlay's frame times are `overlay_bench`'s own: intervals between the ends of",
        "consecutive frames, each after the swap and a glFinish, its three states taking turns.",
        "",
    ] + table + ["", "![Frame times](frame-times.png)", "",
                 "The video export's figures are in [export-results.md](export-results.md).", ""])
    print(report)
    report += kept_sections(path)
    with open(path, "w") as f:
        f.write(report)


def main():
    if not BUILD_DIR:
        sys.exit(__doc__)
    names = chosen()
    rows = []
    for name, words, run, _ in BENCHMARKS:
        if name not in names or run is None:
            continue
        print("bench: %s ..." % words, flush=True)
        rows += run()
    if rows:
        write_results(rows, names)
    if "studio" in names:
        print("bench: %s ..." % BENCHMARKS[-2][1], flush=True)
        studio_bench.run(BUILD_DIR, SOURCE_DIR)
    if "export" in names:
        print("bench: %s ..." % BENCHMARKS[-1][1], flush=True)
        export_bench.main(BUILD_DIR, SOURCE_DIR)


if __name__ == "__main__":
    main()
