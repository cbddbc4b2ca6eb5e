#!/usr/bin/env python3
"""The export benchmark: tools/export-video against its floor, measured in
the same run, and the exporter's own memory at 4K; prints the figures and
writes them to bench/export-results.md. make bench runs it after the other
benchmarks.

Usage: export_bench.py BUILD_DIR SOURCE_DIR

For each shader chosen, at the chosen size and over the chosen section, one
round of each of:
  export  tools/export-video, its video on disk: wall time, the exporter's
          peak resident memory, and the bytes that appeared in its TMPDIR
          and in the run directory meanwhile (sampled every 0.5 s);
  render  studio --render into /dev/null under the same private Xvfb
          screen: drawing and reading back alone;
  encode  ffmpeg with the exporter's own command line reading the same raw
          frames from a file (rendered once beforehand, not timed):
          encoding alone.
The floor is render + encode: what the export would cost were handing the
frames over free. The goals: a wall time of at most 1.05 x the floor, no
frame on disk, and the exporter's memory bounded whatever the size, which a
short 3840x2160 export shows (BENCH_EXPORT_MEMORY_SIZE, _TO).

With BENCH_EXPORT_BEFORE=REV, the exporter as it was at git revision REV
(222dabf^, the one that ran `intro --capture` and streamed its frame files
into ffmpeg) also exports each shader whose section is the whole piece, the
only export it could make; its wall time is given beside the export's.

Environment:
  BENCH_EXPORT_SIZE     the video's size, default 1280x720
  BENCH_EXPORT_SHADERS  which of "trivial" (bench/trivial.frag) and "intro"
                        (the bundled data/intro.frag) run, default both
  BENCH_EXPORT_TO       the section's end per shader, as trivial=135,intro=10
                        (default 135 for both: the whole piece)
  BENCH_EXPORT_BEFORE   a git revision of the earlier exporter, run on the
                        build's intro (default none)
  BENCH_EXPORT_MEMORY_SIZE, BENCH_EXPORT_MEMORY_TO
                        the memory check, default 3840x2160 up to 2 s
                        (trivial shader); BENCH_EXPORT_MEMORY_TO=0 skips it

The raw frames of the encode stage, yuv420p as the exporter has them, take
width x height x 1.5 bytes each on disk (11.2 GB for the whole piece at
1280x720), in BENCH_EXPORT_RAW_DIR
(default the system's temporary folder); the whole piece at 1280x720 takes
an hour or more on two cores with software rendering.
"""

import datetime
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import intro_constants  # noqa: E402
import video_encoding  # noqa: E402
from xvfb import Xvfb  # noqa: E402

CONSTANTS = intro_constants.read()
MUSIC_NAME = CONSTANTS["kSoundtrackFile"]
SHADERS = {"trivial": "bench/trivial.frag", "intro": "data/intro.frag"}

# Runs the exporter's main() in this process and writes its peak resident
# memory (ru_maxrss, KiB) to the file named first: python3 -c RUNNER FILE ARGS...
RUNNER = """import importlib.machinery, importlib.util, resource, sys
loader = importlib.machinery.SourceFileLoader("export_video", sys.argv[2])
module = importlib.util.module_from_spec(importlib.util.spec_from_loader("export_video", loader))
loader.exec_module(module)
status = module.main(sys.argv[3:])
with open(sys.argv[1], "w") as f:
    f.write(str(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss))
sys.exit(status)
"""


def machine():
    model = "unknown processor"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    mesa = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libgl1-mesa-dri"], capture_output=True,
                          text=True).stdout
    return "%s, %d cores, %s, Mesa %s (llvmpipe, software rendering) under Xvfb" % (
        model, os.cpu_count(), platform.platform(terse=True), mesa)


def load():
    return "%.1f" % os.getloadavg()[0]


class Paths:
    def __init__(self, build_dir, source_dir):
        self.build = os.path.abspath(build_dir)
        self.source = os.path.abspath(source_dir)
        self.studio = os.path.join(self.build, "studio")
        self.intro = os.path.join(self.build, "intro")
        self.exporter = os.path.join(self.source, "tools", "export-video")


def workdir(paths, shader):
    """A scratch run directory laid out as the studio's, with the shader."""
    path = tempfile.mkdtemp(prefix="intro-bench-export-")
    shutil.copytree(os.path.join(paths.source, "data"), os.path.join(path, "data"))
    shutil.copy(os.path.join(paths.source, SHADERS[shader]), os.path.join(path, "data", "intro.frag"))
    os.makedirs(os.path.join(path, "images"))
    shutil.copy(os.path.join(paths.build, "images", "long.png"), os.path.join(path, "images"))
    shutil.copy(os.path.join(paths.build, MUSIC_NAME), path)
    return path


def folder_bytes(*folders):
    size = 0
    for folder in folders:
        for root, _, names in os.walk(folder):
            for name in names:
                try:
                    size += os.lstat(os.path.join(root, name)).st_size
                except OSError:
                    continue
    return size


class Sampler(threading.Thread):
    """Every period seconds until stopped, keeps the largest value sample()
    returns."""

    def __init__(self, sample, period=0.5):
        super().__init__(daemon=True)
        self.sample, self.period, self.peak, self.done = sample, period, 0, threading.Event()

    def run(self):
        while not self.done.wait(self.period):
            self.peak = max(self.peak, self.sample())

    def stop(self):
        self.done.set()
        self.join()
        return max(self.peak, self.sample())


def run_checked(command, **kwargs):
    """Runs command; returns its wall time in seconds. A failure ends the
    benchmark with the command's own words."""
    started = time.monotonic()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, **kwargs)
    elapsed = time.monotonic() - started
    if result.returncode != 0:
        sys.exit("bench: %s failed (%d):\n%s" % (command[0], result.returncode, result.stderr[-2000:]))
    return elapsed


def export(paths, cwd, size, to):
    """The export, its wall time, the exporter's peak memory, the extra
    bytes beside the run and the video's size."""
    tmp = tempfile.mkdtemp(prefix="intro-bench-export-tmp-")
    out = tempfile.mkdtemp(prefix="intro-bench-export-out-")
    output, rss = os.path.join(out, "intro.mp4"), os.path.join(out, "rss")
    env = dict(os.environ, TMPDIR=tmp)
    env.pop("DISPLAY", None)
    base = folder_bytes(cwd)
    sampler = Sampler(lambda: folder_bytes(tmp) + folder_bytes(cwd) - base)
    sampler.start()
    wall = run_checked(["/usr/bin/python3", "-c", RUNNER, rss, paths.exporter, "--size", size, "--to", to,
                        paths.studio, cwd, output], env=env)
    extra = sampler.stop()
    with open(rss) as f:
        peak = int(f.read()) * 1024
    video = os.path.getsize(output)
    shutil.rmtree(tmp)
    shutil.rmtree(out)
    return {"wall": wall, "rss": peak, "extra": extra, "video": video}


def render(paths, cwd, size, to, display, target):
    """studio --render into target (a path); its wall time."""
    with open(target, "wb") as sink:
        return run_checked([paths.studio, "--render", str(sink.fileno()), "--to", to, "--size", size,
                            "--pixel-format", video_encoding.RAW_PIXEL_FORMAT], cwd=cwd,
                           pass_fds=(sink.fileno(),), env=dict(os.environ, DISPLAY=display, LIBGL_ALWAYS_SOFTWARE="1",
                                                               SDL_AUDIODRIVER="dummy"))


def floor(paths, cwd, size, to, display):
    """(render into /dev/null, ffmpeg alone on the same frames from a file,
    the frames' count)."""
    rendered = render(paths, cwd, size, to, display, os.devnull)
    raw_dir = tempfile.mkdtemp(prefix="intro-bench-export-raw-", dir=os.environ.get("BENCH_EXPORT_RAW_DIR"))
    raw = os.path.join(raw_dir, "frames.raw")
    render(paths, cwd, size, to, display, raw)
    width, height = (int(v) for v in size.split("x"))
    count = os.path.getsize(raw) // video_encoding.raw_frame_bytes(width, height)
    first = 0
    output = os.path.join(raw_dir, "intro.mp4")
    with open(raw, "rb") as frames:
        encoded = run_checked(video_encoding.ffmpeg_command(video_encoding.raw_frames_input(width, height), count,
                                                            os.path.join(cwd, MUSIC_NAME), output, sound_start=first),
                              stdin=frames)
    shutil.rmtree(raw_dir)
    return rendered, encoded, count


def before(paths, cwd, size, revision):
    """The exporter as it was at revision, on the build's intro, the whole
    piece on a private server of the video's size; its wall time."""
    old, out = tempfile.mkdtemp(prefix="intro-bench-export-before-"), tempfile.mkdtemp(prefix="intro-bench-export-out-")
    archive = subprocess.run(["git", "-C", paths.source, "archive", revision, "tools", "intro_constants.h"],
                             capture_output=True, check=True).stdout
    subprocess.run(["tar", "-x", "-C", old], input=archive, check=True)
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    wall = run_checked([os.path.join(old, "tools", "export-video"), "--size", size, paths.intro, cwd,
                        os.path.join(out, "intro.mp4")], env=env)
    shutil.rmtree(old)
    shutil.rmtree(out)
    return wall


def run(paths, size, shaders, ends, memory_size, memory_to, revision=None):
    width, height = (int(v) for v in size.split("x"))
    results = {}
    for shader in shaders:
        cwd = workdir(paths, shader)
        to = ends.get(shader, "135")
        print("bench: export, %s shader, %s, 0 to %s s (load %s) ..." % (shader, size, to, load()), flush=True)
        result = {"to": to, "load": [load()]}
        result["export"] = export(paths, cwd, size, to)
        result["load"].append(load())
        print("bench: floor: render into /dev/null, then ffmpeg on the same raw frames (load %s) ..." % load(),
              flush=True)
        with Xvfb(160, 90) as server:
            result["render"], result["encode"], result["frames"] = floor(paths, cwd, size, to, server.display)
        result["load"].append(load())
        if revision and float(to) >= 135:
            print("bench: the exporter of %s, whole piece (load %s) ..." % (revision, load()), flush=True)
            result["before"] = before(paths, cwd, size, revision)
            result["load"].append(load())
        shutil.rmtree(cwd)
        results[shader] = result
    memory = None
    if float(memory_to) > 0:
        cwd = workdir(paths, "trivial")
        print("bench: memory, trivial shader, %s, 0 to %s s (load %s) ..." % (memory_size, memory_to, load()),
              flush=True)
        memory = dict(export(paths, cwd, memory_size, memory_to), size=memory_size, to=memory_to, load=load())
        shutil.rmtree(cwd)
    return results, memory


def megabytes(count):
    if count < 1e6:
        return "%.0f kB" % (count / 1e3)
    return "%.0f MB" % (count / 1e6) if count < 1e9 else "%.1f GB" % (count / 1e9)


def rows(size, results, memory):
    table = []
    for shader, result in results.items():
        exported = result["export"]
        floor_wall = result["render"] + result["encode"]
        what = "whole piece" if float(result["to"]) >= 135 else "0 to %s s" % result["to"]
        table.append((
            "Export wall time, %s, %s shader, %s (%d frames)" % (size, shader, what, result["frames"]),
            "export %.1f s (%.1f frames/s); floor %.1f s (render into /dev/null %.1f s + ffmpeg alone on the raw "
            "frames from a file %.1f s); load average %s" % (
                exported["wall"], result["frames"] / exported["wall"], floor_wall, result["render"], result["encode"],
                " / ".join(result["load"])),
            "%.2f x floor" % (exported["wall"] / floor_wall), "<= 1.05 x floor", exported["wall"] <= 1.05 * floor_wall))
        if "before" in result:
            table.append((
                "Against the earlier exporter, %s, %s shader, whole piece" % (size, shader),
                "export %.1f s; the earlier exporter %.1f s (%.1f frames/s)" % (
                    exported["wall"], result["before"], result["frames"] / result["before"]),
                "%.2f x earlier" % (exported["wall"] / result["before"]), "< 1 x earlier",
                exported["wall"] < result["before"]))
        table.append((
            "Frames on disk, %s, %s shader" % (size, shader),
            "%s appeared in TMPDIR and the run directory at most (video %s, exporter's peak memory %s)" % (
                megabytes(exported["extra"]), megabytes(exported["video"]), megabytes(exported["rss"])),
            "-", "none", exported["extra"] == 0))
    if memory:
        width, height = (int(v) for v in memory["size"].split("x"))
        table.append((
            "Exporter's peak resident memory, %s, trivial shader, 0 to %s s" % (memory["size"], memory["to"]),
            "%s (an RGB picture is %s, a frame through the pipe %s); export %.1f s; load average %s" % (
                megabytes(memory["rss"]), megabytes(width * height * 3),
                megabytes(video_encoding.raw_frame_bytes(width, height)), memory["wall"], memory["load"]),
            "%.2f pictures" % (memory["rss"] / (width * height * 3)), "bounded, below one picture",
            memory["rss"] < width * height * 3))
    return table


def report(size, results, memory, revision=None):
    table = ["| Measure | Figures | Ratio | Goal | Met |", "|---|---|---|---|---|"]
    for name, figures, ratio, goal, met in rows(size, results, memory):
        table.append("| %s | %s | %s | %s | %s |" % (name, figures, ratio, goal, "yes" if met else "no"))
    return "\n".join([
        "# Export benchmark results",
        "",
        "Measured on %s by `bench/export_bench.py` (run by `make bench`)." % datetime.date.today().isoformat(),
        "",
        "Machine: %s." % machine(),
        "",
        "One round each. The export is `tools/export-video` (the studio's render mode piped into ffmpeg);",
        "the floor is the studio rendering into /dev/null alone plus ffmpeg, with the exporter's command",
        "line, encoding the same raw frames from a file alone. The load averages are the 1-minute",
        "figures before the export, between the export and the floor, after the floor and, where the",
        "earlier exporter ran (%s), after it." % (revision or "not in this run"),
        "",
    ] + table + [""])


def main(build_dir, source_dir):
    paths = Paths(build_dir, source_dir)
    size = os.environ.get("BENCH_EXPORT_SIZE", "1280x720")
    memory_size = os.environ.get("BENCH_EXPORT_MEMORY_SIZE", "3840x2160")
    for name, value in (("BENCH_EXPORT_SIZE", size), ("BENCH_EXPORT_MEMORY_SIZE", memory_size)):
        if not re.fullmatch(r"[1-9][0-9]*x[1-9][0-9]*", value):
            sys.exit("bench: %s must be WIDTHxHEIGHT, not %r" % (name, value))
    shaders = os.environ.get("BENCH_EXPORT_SHADERS", "trivial intro").replace(",", " ").split()
    unknown = [s for s in shaders if s not in SHADERS]
    if unknown or not shaders:
        sys.exit("bench: BENCH_EXPORT_SHADERS takes trivial and intro, not %r" % " ".join(unknown))
    ends = dict(item.split("=", 1) for item in os.environ.get("BENCH_EXPORT_TO", "").replace(",", " ").split())
    revision = os.environ.get("BENCH_EXPORT_BEFORE")
    results, memory = run(paths, size, shaders, ends, memory_size, os.environ.get("BENCH_EXPORT_MEMORY_TO", "2"),
                          revision)
    text = report(size, results, memory, revision)
    print(text)
    with open(os.path.join(paths.source, "bench", "export-results.md"), "w") as f:
        f.write(text)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
