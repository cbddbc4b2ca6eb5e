"""The ffmpeg command line that encodes the intro's captured frames and its
soundtrack into a video, for tools/export-video (frames streamed through a
pipe) and tools/make-video (frame files of a finished capture).

The video: H.264, yuv420p (odd sizes padded with a black row or column to
even ones, which yuv420p needs), 60 frames per second; the soundtrack as
192 kb/s AAC from time 0, cut so that it ends exactly with the last frame;
an MP4 whose index comes first (-movflags +faststart). The standard library
alone, so that Debian's own Python can import it too."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import intro_constants  # noqa: E402

FRAME_RATE = intro_constants.read()["kCaptureFramesPerSecond"]
DEFAULT_CRF = 18


def pipe_input():
    """BMP frames one after the other on ffmpeg's standard input."""
    return ["-f", "image2pipe", "-c:v", "bmp", "-framerate", str(FRAME_RATE), "-i", "pipe:0"]


def files_input(capture_dir):
    """The frame files capture_dir/frame0.bmp, frame1.bmp, ... up to the
    first one missing."""
    return ["-f", "image2", "-framerate", str(FRAME_RATE), "-start_number", "0",
            "-i", os.path.join(capture_dir, "frame%d.bmp")]


def ffmpeg_command(frames, frame_count, soundtrack, output, crf=DEFAULT_CRF):
    """The whole command: frames is pipe_input() or files_input(), and
    frame_count the number of frames it gives, which decides where the
    sound stops."""
    return (["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"] + frames
            # The sound stops where the pictures do.
            + ["-t", "%.6f" % (frame_count / FRAME_RATE), "-i", soundtrack,
               "-map", "0:v:0", "-map", "1:a:0",
               "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2",
               "-c:v", "libx264", "-preset", "medium", "-crf", str(crf), "-pix_fmt", "yuv420p",
               "-c:a", "aac", "-b:a", "192k",
               "-movflags", "+faststart", "-f", "mp4", output])
