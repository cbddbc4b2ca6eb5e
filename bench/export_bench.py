#!/usr/bin/env python3
"""The export benchmark: tools/export-video on the whole intro, against a
floor measured in the same run and against the two-step route; prints the
figures and writes them to bench/export-results.md. make bench runs it after
the other benchmarks.

Usage: export_bench.py BUILD_DIR SOURCE_DIR

For each shader chosen, at the chosen size, one round of each of:
  export     tools/export-video, its scratch area and video on disk: wall
             time, and the most frame files and bytes its scratch area held
             (sampled every 20 ms): the extra disk beyond the video;
  capture    intro --capture alone into a tmpfs folder whose frames are
             deleted as they appear (so that memory stays bounded);
  two-step   what make capture does (every frame to disk) and then
             tools/make-video on those frames, which is ffmpeg encoding the
             same frames alone.
The floor is capture + make-video: what the export would cost were it
free. The goals are a wall time of at most 1.1 x the floor and at most 64
frames on disk at once.

Environment:
  BENCH_EXPORT_SIZE     the screen and video size, default 1280x720
  BENCH_EXPORT_SHADERS  which of "trivial" (bench/trivial.frag) and "intro"
                        (the bundled data/intro.frag) run, default both

The whole piece at 1280x720 takes over an hour on two cores with software
rendering, and the two-step route needs some 22 GB of free disk there; try
BENCH_EXPORT_SIZE=160x90 BENCH_EXPORT_SHADERS=trivial first.
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
from xvfb import Xvfb  # noqa: E402

FRAME_FILE = re.compile(r"frame[0-9]+\.bmp")
FRAME_COUNT = intro_constants.read()["kCaptureFrameCount"]
MUSIC_NAME = intro_constants.read()["kSoundtrackFile"]
SHADERS = {"trivial": "bench/trivial.frag", "intro": "data/intro.frag"}


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


class Paths:
    def __init__(self, build_dir, source_dir):
        self.build = os.path.abspath(build_dir)
        self.source = os.path.abspath(source_dir)
        self.intro = os.path.join(self.build, "intro")
        self.exporter = os.path.join(self.source, "tools", "export-video")
        self.make_video = os.path.join(self.source, "tools", "make-video")


def workdir(paths, shader, music_name):
    """A scratch run directory laid out as the intro's, with the shader."""
    path = tempfile.mkdtemp(prefix="intro-bench-export-")
    shutil.copytree(os.path.join(paths.source, "data"), os.path.join(path, "data"))
    shutil.copy(os.path.join(paths.source, SHADERS[shader]), os.path.join(path, "data", "intro.frag"))
    os.makedirs(os.path.join(path, "images"))
    shutil.copy(os.path.join(paths.build, "images", "long.png"), os.path.join(path, "images"))
    shutil.copy(os.path.join(paths.build, music_name), path)
    return path


def folder_usage(path):
    """(frame files, bytes of all files) under path."""
    frames = size = 0
    for root, _, names in os.walk(path):
        for name in names:
            try:
                size += os.lstat(os.path.join(root, name)).st_size
            except OSError:
                continue
            frames += 1 if FRAME_FILE.fullmatch(name) else 0
    return frames, size


class Sampler(threading.Thread):
    """Every period seconds until stopped, calls sample() and keeps what it
    returns in its list, samples."""

    def __init__(self, sample, period=0.02):
        super().__init__(daemon=True)
        self.sample = sample
        self.period = period
        self.samples = []
        self.done = threading.Event()

    def run(self):
        while not self.done.wait(self.period):
            self.samples.append(self.sample())

    def stop(self):
        self.done.set()
        self.join()
        self.samples.append(self.sample())
        return self.samples


def run_checked(command, **kwargs):
    """Runs command; returns its wall time in seconds. A failure ends the
    benchmark with the command's own words."""
    started = time.monotonic()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, **kwargs)
    elapsed = time.monotonic() - started
    if result.returncode != 0:
        sys.exit("bench: %s failed (%d):\n%s" % (command[0], result.returncode, result.stderr[-2000:]))
    return elapsed


def export(paths, cwd, size):
    tmp = tempfile.mkdtemp(prefix="intro-bench-export-tmp-")
    out = tempfile.mkdtemp(prefix="intro-bench-export-out-")
    output = os.path.join(out, "intro.mp4")
    env = dict(os.environ, TMPDIR=tmp)
    env.pop("DISPLAY", None)
    sampler = Sampler(lambda: folder_usage(tmp))
    sampler.start()
    wall = run_checked([paths.exporter, "--size", size, paths.intro, cwd, output], env=env)
    samples = sampler.stop()
    video = os.path.getsize(output)
    shutil.rmtree(tmp)
    shutil.rmtree(out)
    return {"wall": wall, "frames": max(f for f, _ in samples), "bytes": max(b for _, b in samples),
            "video": video}


def capture_alone(paths, cwd, display):
    """intro --capture into tmpfs, its frames deleted as they appear."""
    target = tempfile.mkdtemp(prefix="intro-bench-export-capture-", dir="/dev/shm")
    capture = os.path.join(cwd, "capture")
    os.symlink(target, capture)
    deleted = []

    def delete_frames():
        names = [name for name in os.listdir(target) if FRAME_FILE.fullmatch(name)]
        for name in names:
            os.remove(os.path.join(target, name))
        deleted.extend(names)

    deleter = Sampler(delete_frames)
    deleter.start()
    wall = run_checked([paths.intro, "--capture"], cwd=cwd,
                       env=dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy", LIBGL_ALWAYS_SOFTWARE="1"))
    deleter.stop()
    os.remove(capture)
    shutil.rmtree(target)
    if len(deleted) != FRAME_COUNT:
        sys.exit("bench: the capture into tmpfs wrote %d frames, not %d" % (len(deleted), FRAME_COUNT))
    return wall


def two_step(paths, cwd, display, music_name):
    """make capture's run (every frame to disk), then make-video."""
    capture = os.path.join(cwd, "capture")
    os.makedirs(capture)
    capture_wall = run_checked([paths.intro, "--capture"], cwd=cwd,
                               env=dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy",
                                        LIBGL_ALWAYS_SOFTWARE="1"))
    frames, frame_bytes = folder_usage(capture)
    output = os.path.join(cwd, "intro.mp4")
    encode_wall = run_checked([paths.make_video, capture, os.path.join(cwd, music_name), output])
    video = os.path.getsize(output)
    shutil.rmtree(capture)
    os.remove(output)
    return {"capture": capture_wall, "encode": encode_wall, "frames": frames, "bytes": frame_bytes,
            "video": video}


def run(paths, size, shaders):
    width, height = (int(v) for v in size.split("x"))
    results = {}
    for shader in shaders:
        cwd = workdir(paths, shader, MUSIC_NAME)
        print("bench: export, %s shader, %s ..." % (shader, size), flush=True)
        exported = export(paths, cwd, size)
        with Xvfb(width, height) as xvfb:
            print("bench: capture alone into tmpfs ...", flush=True)
            alone = capture_alone(paths, cwd, xvfb.display)
            print("bench: make capture, then make-video ...", flush=True)
            steps = two_step(paths, cwd, xvfb.display, MUSIC_NAME)
        shutil.rmtree(cwd)
        results[shader] = {"export": exported, "capture": alone, "steps": steps}
    return results


def megabytes(count):
    if count < 1e6:
        return "%.0f kB" % (count / 1e3)
    return "%.0f MB" % (count / 1e6) if count < 1e9 else "%.1f GB" % (count / 1e9)


def rows(size, results):
    table = []
    for shader, result in results.items():
        exported, steps = result["export"], result["steps"]
        floor = result["capture"] + steps["encode"]
        two = steps["capture"] + steps["encode"]
        table.append((
            "Export wall time, %s, %s shader" % (size, shader),
            "export %.1f s; floor %.1f s (capture into tmpfs %.1f s + ffmpeg alone %.1f s); two-step %.1f s "
            "(make capture %.1f s + make-video %.1f s)" % (
                exported["wall"], floor, result["capture"], steps["encode"], two, steps["capture"],
                steps["encode"]),
            "%.2f x floor, %.2f x two-step" % (exported["wall"] / floor, exported["wall"] / two),
            "<= 1.1 x floor", exported["wall"] <= 1.1 * floor))
        frame_size = steps["bytes"] / max(steps["frames"], 1)
        table.append((
            "Peak extra disk, %s, %s shader" % (size, shader),
            "export %d frames waiting, %s with its logs (video %s); two-step %d frames, %s (video %s)" % (
                exported["frames"], megabytes(exported["bytes"]), megabytes(exported["video"]), steps["frames"],
                megabytes(steps["bytes"]), megabytes(steps["video"])),
            "%.1f frames of %s" % (exported["bytes"] / frame_size, megabytes(frame_size)),
            "<= 64 frames", exported["frames"] <= 64))
    return table


def report(size, results):
    table = ["| Measure | Figures | Ratio | Goal | Met |", "|---|---|---|---|---|"]
    for name, figures, ratio, goal, met in rows(size, results):
        table.append("| %s | %s | %s | %s | %s |" % (name, figures, ratio, goal, "yes" if met else "no"))
    return "\n".join([
        "# Export benchmark results",
        "",
        "Measured on %s by `bench/export_bench.py` (run by `make bench`), at %s with %s." % (
            datetime.date.today().isoformat(), size, " and ".join("the %s shader" % s for s in results)),
        "",
        "Machine: %s." % machine(),
        "",
        "One round each of the whole piece (%d frames). The floor is the intro capturing into a" % FRAME_COUNT,
        "tmpfs alone plus ffmpeg encoding the same frames alone (`tools/make-video`, the two-step",
        "route's second step); the two-step route is `make capture` (every frame to disk) and then",
        "`tools/make-video`. The export's extra disk, its scratch area beside the video, is sampled",
        "every 20 ms; the disk row's ratio column counts its peak bytes (frames and logs) in frames.",
        "",
    ] + table + [""])


def main(build_dir, source_dir):
    paths = Paths(build_dir, source_dir)
    size = os.environ.get("BENCH_EXPORT_SIZE", "1280x720")
    if not re.fullmatch(r"[1-9][0-9]*x[1-9][0-9]*", size):
        sys.exit("bench: BENCH_EXPORT_SIZE must be WIDTHxHEIGHT, not %r" % size)
    shaders = os.environ.get("BENCH_EXPORT_SHADERS", "trivial intro").replace(",", " ").split()
    unknown = [s for s in shaders if s not in SHADERS]
    if unknown or not shaders:
        sys.exit("bench: BENCH_EXPORT_SHADERS takes trivial and intro, not %r" % " ".join(unknown))
    text = report(size, run(paths, size, shaders))
    print(text)
    with open(os.path.join(paths.source, "bench", "export-results.md"), "w") as f:
        f.write(text)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
