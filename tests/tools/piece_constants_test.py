"""Tests for tools/piece_constants.py: the constants header a build writes for
its piece, from the music and length it is given.

    python3 tests/tools/piece_constants_test.py
"""

import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import intro_constants  # noqa: E402
import piece_constants  # noqa: E402

with open(intro_constants.BUNDLED_HEADER) as f:
    BUNDLED = f.read()


def wav(folder, name, seconds, rate=44100, channels=2, extra_chunk=b""):
    """A 16-bit PCM WAV file of silence, with an optional chunk before the
    format, as some writers put one; returns its path."""
    frames = int(round(seconds * rate))
    data = b"\0" * (frames * channels * 2)
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * channels * 2, channels * 2, 16)
    body = b"WAVE" + extra_chunk + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack(
        "<I", len(data)) + data
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
    return path


def constants(header):
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, intro_constants.BUILD_HEADER), "w") as f:
            f.write(header)
        return intro_constants.read(folder)


class PieceHeaderTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(lambda: [os.remove(os.path.join(self.folder, n)) for n in os.listdir(self.folder)])

    def test_without_settings_the_header_is_the_bundled_one(self):
        self.assertEqual(piece_constants.piece_header(BUNDLED), (BUNDLED, None))

    def test_the_music_sets_the_soundtrack_and_a_length_in_whole_frames(self):
        # 61.03 s is 3661.8 steps of 1/60 s: 3662 steps, 3663 frames.
        track = wav(self.folder, "My Track (final).WAV", 61.03, extra_chunk=b"LIST\x04\0\0\0abcd")
        header, note = piece_constants.piece_header(BUNDLED, track)
        values = constants(header)
        self.assertEqual(values["kSoundtrackFile"], "music/My_Track__final_.WAV")
        self.assertEqual(values["kCaptureFrameCount"], 3663)
        self.assertEqual(values["kIntroSeconds"], 3662 / 60)
        self.assertIsNone(note)
        # Everything else stays as bundled.
        bundled = constants(BUNDLED)
        self.assertEqual({k: v for k, v in values.items() if k not in ("kSoundtrackFile", "kCaptureFrameCount",
                                                                         "kIntroSeconds")},
                         {k: v for k, v in bundled.items() if k not in ("kSoundtrackFile", "kCaptureFrameCount",
                                                                         "kIntroSeconds")})

    def test_a_length_unlike_the_music_is_said(self):
        track = wav(self.folder, "sixty.wav", 60.0, rate=22050, channels=1)
        header, note = piece_constants.piece_header(BUNDLED, track, 75.0)
        self.assertEqual(constants(header)["kCaptureFrameCount"], 4501)
        self.assertEqual(note, "sixty.wav lasts 60.00 s, the piece 75 s: silence follows the music")
        _, note = piece_constants.piece_header(BUNDLED, track, 30.0)
        self.assertEqual(note, "sixty.wav lasts 60.00 s, the piece 30 s: the music is cut at the end")
        header, note = piece_constants.piece_header(BUNDLED, None, 60.0)
        self.assertEqual(constants(header)["kIntroSeconds"], 60.0)
        self.assertEqual(note, "the bundled score lasts 135.00 s, the piece 60 s: the music is cut at the end")

    def test_refusals_name_the_setting(self):
        text = os.path.join(self.folder, "notes.wav")
        with open(text, "w") as f:
            f.write("not a sound")
        fifo = os.path.join(self.folder, "fifo.wav")
        os.mkfifo(fifo)
        silent = wav(self.folder, "silent.wav", 0.0)
        cases = [
            (lambda: piece_constants.piece_header(BUNDLED, text), "MUSIC=%s: not a WAV file" % text),
            (lambda: piece_constants.piece_header(BUNDLED, fifo), "MUSIC=%s: not a regular file" % fifo),
            (lambda: piece_constants.piece_header(BUNDLED, silent), "MUSIC=%s: holds less than a frame" % silent),
            (lambda: piece_constants.piece_header(BUNDLED, os.path.join(self.folder, "none.wav")),
             "MUSIC=%s: No such file or directory" % os.path.join(self.folder, "none.wav")),
            (lambda: piece_constants.parse_length("1e3"), "LENGTH=1e3: expected seconds above 0"),
            (lambda: piece_constants.parse_length("0"), "LENGTH=0: expected seconds above 0"),
            (lambda: piece_constants.piece_header(BUNDLED, None, 0.005), "LENGTH=0.005: the piece must last"),
        ]
        for call, start in cases:
            with self.assertRaises(piece_constants.Refused) as refusal:
                call()
            self.assertTrue(str(refusal.exception).startswith(start), str(refusal.exception))


if __name__ == "__main__":
    unittest.main()
