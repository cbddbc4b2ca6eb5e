"""The ffmpeg command line that encodes the intro's frames and its soundtrack
into a video, for tools/export-video (raw frames from the studio's render
mode through a pipe) and tools/make-video (frame files of a finished
capture).

The video: H.264, yuv420p (odd sizes padded with a black row or column to
even ones, which yuv420p needs), 60 frames per second; the soundtrack as
192 kb/s AAC from the time of the first frame, cut so that it ends exactly
with the last frame; an MP4 whose index comes first (-movflags +faststart).
The standard library alone, so that Debian's own Python can import it too."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import intro_constants  # noqa: E402

FRAME_RATE = intro_constants.read()["kCaptureFramesPerSecond"]
DEFAULT_CRF = 18
# How the studio's render mode hands its frames to ffmpeg (its --pixel-format):
# the encoder's own layout, so that ffmpeg has no conversion to do, in half
# the bytes of RGB.
RAW_PIXEL_FORMAT = "yuv420p"


def raw_frame_bytes(width, height):
    """The bytes of one width x height frame in RAW_PIXEL_FORMAT: the luma
    plane and two chroma planes of half the width and height, rounded up."""
    return width * height + 2 * ((width + 1) // 2) * ((height + 1) // 2)


def raw_frames_input(width, height):
    """Raw frames in RAW_PIXEL_FORMAT on ffmpeg's standard input, each plane
    top row first, as the studio's render mode writes them."""
    return ["-f", "rawvideo", "-pix_fmt", RAW_PIXEL_FORMAT, "-s", "%dx%d" % (width, height), "-r", str(FRAME_RATE),
            "-i", "pipe:0"]


def files_input(capture_dir):
    """The frame files capture_dir/frame0.bmp, frame1.bmp, ... up to the
    first one missing."""
    return ["-f", "image2", "-framerate", str(FRAME_RATE), "-start_number", "0",
            "-i", os.path.join(capture_dir, "frame%d.bmp")]


def ffmpeg_command(frames, frame_count, soundtrack, output, crf=DEFAULT_CRF, sound_start=0.0, progress_fd=None):
    """The whole command: frames is raw_frames_input() or files_input(), and
    frame_count the number of frames it gives, which decides where the
    sound stops; sound_start is the time of the first frame, where the
    sound starts. With progress_fd, ffmpeg writes its progress report
    (lines such as frame=120) to that descriptor, which it must inherit."""
    progress = [] if progress_fd is None else ["-progress", "pipe:%d" % progress_fd]
    start = ["-ss", "%.6f" % sound_start] if sound_start > 0 else []
    return (["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"] + progress + frames
            # The sound starts with the first frame and stops where the
            # pictures do.
            + start + ["-t", "%.6f" % (frame_count / FRAME_RATE), "-i", soundtrack,
                       "-map", "0:v:0", "-map", "1:a:0",
                       "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2",
                       "-c:v", "libx264", "-preset", "medium", "-crf", str(crf), "-pix_fmt", "yuv420p",
                       "-c:a", "aac", "-b:a", "192k",
                       "-movflags", "+faststart", "-f", "mp4", output])
