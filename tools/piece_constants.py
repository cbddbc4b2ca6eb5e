#!/usr/bin/env python3
"""Writes a build's intro_constants.h for the piece it plays.

    piece_constants.py SOURCE_HEADER OUTPUT_HEADER [--music WAV] [--length SECONDS]

Without settings the output is the source header as it stands: the bundled
piece. With --music the soundtrack is that WAV file (the build copies it in
under the name written as kSoundtrackFile) and the piece lasts as long as the
music, rounded to whole frames; --length sets the piece's length instead,
also rounded to whole frames. A length that differs from the music's is said
in one line on standard error. A refused setting is one line on standard
error and status 1. The output is rewritten only when its content changes,
so that an unchanged setting rebuilds nothing."""

import argparse
import os
import re
import stat
import struct
import sys

# The longest piece a setting may ask for: a day.
MAX_SECONDS = 24 * 60 * 60
SECONDS_PATTERN = re.compile(r"[0-9]+(\.[0-9]*)?|\.[0-9]+")


class Refused(Exception):
    """A setting that cannot make a piece; the message names it."""


def wav_seconds(path):
    """How long the WAV file at path plays, from its header: the data
    chunk's bytes over the format's bytes per second. Raises Refused naming
    the file when it is not a WAV file that says so."""
    try:
        # Opened without waiting, and only a regular file read: a FIFO would
        # hold the build for ever.
        descriptor = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        if not stat.S_ISREG(os.fstat(descriptor).st_mode):
            os.close(descriptor)
            raise Refused("MUSIC=%s: not a regular file" % path)
        with os.fdopen(descriptor, "rb") as f:
            header = f.read(12)
            if len(header) < 12 or header[:4] != b"RIFF" or header[8:12] != b"WAVE":
                raise Refused("MUSIC=%s: not a WAV file (no RIFF WAVE header)" % path)
            block_align = rate = None
            while True:
                chunk = f.read(8)
                if len(chunk) < 8:
                    break
                name, size = chunk[:4], struct.unpack("<I", chunk[4:])[0]
                if name == b"fmt ":
                    fields = f.read(16)
                    if len(fields) < 16:
                        break
                    _, _, rate, _, block_align = struct.unpack("<HHIIH", fields[:14])
                    f.seek(size - 16 + (size & 1), os.SEEK_CUR)
                elif name == b"data":
                    if not rate or not block_align:
                        raise Refused("MUSIC=%s: its data comes before its format" % path)
                    # A header written before the length was known says more
                    # than the file holds; what is there is what plays.
                    held = os.fstat(f.fileno()).st_size - f.tell()
                    return (min(size, held) // block_align) / rate
                else:
                    f.seek(size + (size & 1), os.SEEK_CUR)
    except OSError as error:
        raise Refused("MUSIC=%s: %s" % (path, error.strerror)) from None
    raise Refused("MUSIC=%s: a WAV file without %s" % (path, "sound data" if rate else "a format"))


def frame_count(seconds, frames_per_second):
    """The frames of a piece lasting seconds: one per step from 0 s to its
    end, both included, the length rounded to whole steps."""
    return int(round(seconds * frames_per_second)) + 1


def seconds_literal(frames, frames_per_second):
    """The piece's length as a C++ literal: "135.0", or the double nearest
    to the whole steps, "61.03333333333333"."""
    steps = frames - 1
    if steps % frames_per_second == 0:
        return "%d.0" % (steps // frames_per_second)
    return repr(steps / frames_per_second)


def soundtrack_name(path):
    """Where the music goes in the build, relative to the build folder: in
    music/, apart from everything the build makes, under its own name with
    every character but letters, digits, '.', '-' and '_' made '_', ending
    in .wav."""
    name = re.sub(r"[^A-Za-z0-9._-]", "_", os.path.basename(path))
    return "music/" + (name if name.lower().endswith(".wav") else name + ".wav")


def parse_length(text):
    """LENGTH in seconds, or Refused."""
    if not SECONDS_PATTERN.fullmatch(text) or not 0 < float(text) <= MAX_SECONDS:
        raise Refused("LENGTH=%s: expected seconds above 0 and up to %d" % (text, MAX_SECONDS))
    return float(text)


def replace_constant(header, name, literal):
    """header with NAME's literal replaced."""
    pattern = re.compile(r"^(constexpr [\w\s*]+?\b%s = ).+;$" % name, re.MULTILINE)
    replaced, count = pattern.subn(lambda match: match.group(1) + literal + ";", header)
    if count != 1:
        raise Refused("%s is not defined once in the constants header" % name)
    return replaced


def piece_header(header, music=None, length=None):
    """The constants header for a piece of music and length (either may be
    None), and the note to print, or None."""
    if music is None and length is None:
        return header, None
    rate = int(re.search(r"\bkCaptureFramesPerSecond = ([0-9]+);", header).group(1))
    note = None
    # The bundled score lasts as long as the bundled piece.
    music_name = "the bundled score"
    music_seconds = float(re.search(r"\bkIntroSeconds = ([0-9.]+);", header).group(1))
    if music is not None:
        music_name = os.path.basename(music)
        music_seconds = wav_seconds(music)
        header = replace_constant(header, "kSoundtrackFile", '"%s"' % soundtrack_name(music))
    if length is None:
        length = music_seconds
    elif abs(length - music_seconds) >= 1.0 / rate:
        note = ("%s lasts %.2f s, the piece %g s: %s" %
                (music_name, music_seconds, length,
                 "silence follows the music" if music_seconds < length else "the music is cut at the end"))
    frames = frame_count(length, rate)
    if frames < 2 and music is not None and length == music_seconds:
        raise Refused("MUSIC=%s: holds less than a frame of sound, 1/%d s" % (music, rate))
    if frames < 2:
        raise Refused("LENGTH=%g: the piece must last at least one frame, 1/%d s" % (length, rate))
    header = replace_constant(header, "kIntroSeconds", seconds_literal(frames, rate))
    return replace_constant(header, "kCaptureFrameCount", str(frames)), note


def main(arguments):
    parser = argparse.ArgumentParser(description="Writes a build's intro_constants.h for its piece.")
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--music", default="")
    parser.add_argument("--length", default="")
    options = parser.parse_args(arguments)
    with open(options.source) as f:
        source = f.read()
    try:
        length = parse_length(options.length) if options.length else None
        header, note = piece_header(source, options.music or None, length)
    except Refused as refusal:
        print(refusal, file=sys.stderr)
        return 1
    if note:
        print(note, file=sys.stderr)
    try:
        with open(options.output) as f:
            if f.read() == header:
                return 0
    except OSError:
        pass
    with open(options.output, "w") as f:
        f.write(header)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
