"""Tests for make_soundtrack: the WAV file it writes, how the music follows the
score's section map, and how it refuses bad input.

Needs the tool and the score, from the environment:

    SOUNDTRACK_TOOL=/path/to/make_soundtrack \
    SOUNDTRACK_SCORE=tools/soundtrack/score.txt \
    python3 tests/tools/soundtrack_test.py

ctest sets both (ctest -R soundtrack).
"""

import array
import operator
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import intro_constants  # noqa: E402

CONSTANTS = intro_constants.read()

TOOL = os.environ.get("SOUNDTRACK_TOOL", "")
SCORE = os.environ.get("SOUNDTRACK_SCORE", "")

SAMPLE_RATE = CONSTANTS["kSoundtrackSampleRate"]
CHANNELS = 2
SONG_SECONDS = int(CONSTANTS["kIntroSeconds"])

# The visuals follow this map, so the score must keep it.
SECTION_MAP = [
    ("intro", 0, 7),
    ("buildup", 8, 15),
    ("drop_a", 16, 23),
    ("drop_b", 24, 31),
    ("breakdown", 32, 39),
    ("buildup2", 40, 47),
    ("finale", 48, 63),
    ("outro", 64, 71),
]

CLIP_LEVEL = 32000  # magnitude that counts as touching full scale
LONGEST_CLIPPED_RUN = 4
SILENCE_LEVEL = 50  # magnitude below which a frame counts as silent
SECTION_RMS_FLOOR = 300  # about -40 dBFS


def read_score_layout(path):
    """The tempo, meter, bar count and sections of a score file."""
    layout = {"sections": []}
    with open(path, encoding="utf-8") as score:
        for text in score:
            words = re.sub(r"(^|\s)#.*", "", text).split()
            if not words:
                continue
            if words[0] == "tempo":
                layout["tempo"] = float(words[1])
            elif words[0] in ("meter", "bars"):
                layout[words[0]] = int(words[1])
            elif words[0] == "section":
                first, _, last = words[2].partition("-")
                layout["sections"].append((words[1], int(first), int(last or first)))
    layout["bar_seconds"] = layout["meter"] * 60.0 / layout["tempo"]
    return layout


def run_tool(score_path, output_path):
    return subprocess.run([TOOL, score_path, output_path], capture_output=True, text=True, timeout=60)


def start_tool(score_path, output_path):
    return subprocess.Popen([TOOL, score_path, output_path], stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def parse_wav(data):
    """The header fields of a canonical 44-byte-header PCM WAV and its samples."""
    (riff, riff_size, wave, fmt, fmt_size, audio_format, channels, sample_rate, byte_rate, block_align,
     bits, data_tag, data_size) = struct.unpack("<4sI4s4sIHHIIHH4sI", data[:44])
    samples = array.array("h")
    samples.frombytes(data[44:44 + data_size])
    if sys.byteorder == "big":
        samples.byteswap()
    fields = dict(riff=riff, riff_size=riff_size, wave=wave, fmt=fmt, fmt_size=fmt_size, audio_format=audio_format,
                  channels=channels, sample_rate=sample_rate, byte_rate=byte_rate, block_align=block_align,
                  bits=bits, data_tag=data_tag, data_size=data_size)
    return fields, samples


def longest_run_at_or_above(channel, level, block=4096):
    """Length of the longest run of consecutive samples whose magnitude is at least LEVEL."""
    longest = run = 0
    for start in range(0, len(channel), block):
        chunk = channel[start:start + block]
        if max(chunk) < level and min(chunk) > -level:
            run = 0
            continue
        for value in chunk:
            run = run + 1 if abs(value) >= level else 0
            longest = max(longest, run)
    return longest


def silent_stretches(samples, level, block_frames=1024):
    """(first frame, frame count) of every stretch of interleaved stereo frames
    quieter than LEVEL in both channels that spans at least one whole block."""
    frame_count = len(samples) // 2

    def frame_is_silent(frame):
        return abs(samples[2 * frame]) < level and abs(samples[2 * frame + 1]) < level

    def block_is_silent(block):
        chunk = samples[2 * block * block_frames:2 * (block + 1) * block_frames]
        return max(chunk) < level and min(chunk) > -level

    block_count = (frame_count + block_frames - 1) // block_frames
    stretches = []
    block = 0
    while block < block_count:
        if not block_is_silent(block):
            block += 1
            continue
        first_block = block
        while block < block_count and block_is_silent(block):
            block += 1
        first = first_block * block_frames
        while first > 0 and frame_is_silent(first - 1):
            first -= 1
        end = min(block * block_frames, frame_count)
        while end < frame_count and frame_is_silent(end):
            end += 1
        stretches.append((first, end - first))
    return stretches


def rms(values):
    return (sum(map(operator.mul, values, values)) / len(values)) ** 0.5


class ScoreTest(unittest.TestCase):
    """The score keeps the timing the visuals are built on."""

    def test_tempo_gives_72_bars_in_135_seconds(self):
        layout = read_score_layout(SCORE)
        self.assertEqual(layout["tempo"], 128)
        self.assertEqual(layout["bars"], 72)
        self.assertAlmostEqual(layout["bars"] * layout["bar_seconds"], SONG_SECONDS, places=9)

    def test_sections_follow_the_visual_map(self):
        self.assertEqual(read_score_layout(SCORE)["sections"], SECTION_MAP)


class RenderedSongTest(unittest.TestCase):
    """One render of the real score, checked as a file and as music."""

    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        paths = [os.path.join(cls.directory.name, name) for name in ("first.wav", "second.wav")]
        renders = [start_tool(SCORE, path) for path in paths]
        for render in renders:
            _, errors = render.communicate(timeout=60)
            if render.returncode != 0:
                raise AssertionError("make_soundtrack failed: " + errors.decode(errors="replace"))
        cls.data = []
        for path in paths:
            with open(path, "rb") as song:
                cls.data.append(song.read())
        cls.fields, cls.samples = parse_wav(cls.data[0])
        cls.layout = read_score_layout(SCORE)
        cls.frame_count = len(cls.samples) // CHANNELS
        bar_frames = cls.layout["bar_seconds"] * SAMPLE_RATE
        cls.section_rms = {}
        for name, first_bar, last_bar in cls.layout["sections"]:
            first = int(first_bar * bar_frames) * CHANNELS
            end = int((last_bar + 1) * bar_frames) * CHANNELS
            cls.section_rms[name] = rms(cls.samples[first:end])

    @classmethod
    def tearDownClass(cls):
        cls.directory.cleanup()

    def test_header_describes_22050_hz_16_bit_stereo_pcm(self):
        fields = self.fields
        self.assertEqual(fields["riff"], b"RIFF")
        self.assertEqual(fields["wave"], b"WAVE")
        self.assertEqual(fields["fmt"], b"fmt ")
        self.assertEqual(fields["fmt_size"], 16)
        self.assertEqual(fields["audio_format"], 1)
        self.assertEqual(fields["channels"], 2)
        self.assertEqual(fields["sample_rate"], 22050)
        self.assertEqual(fields["byte_rate"], 22050 * 4)
        self.assertEqual(fields["block_align"], 4)
        self.assertEqual(fields["bits"], 16)
        self.assertEqual(fields["data_tag"], b"data")

    def test_length_is_exactly_135_seconds(self):
        frames = SONG_SECONDS * SAMPLE_RATE
        self.assertEqual(self.fields["data_size"], frames * 4)
        self.assertEqual(self.fields["riff_size"], 36 + frames * 4)
        self.assertEqual(len(self.data[0]), 44 + frames * 4)
        self.assertEqual(self.frame_count, frames)

    def test_two_renders_are_identical(self):
        self.assertEqual(self.data[0], self.data[1])

    def test_nothing_clips(self):
        peak = max(max(self.samples), -min(self.samples))
        self.assertLess(peak, 32767)
        for name, channel in (("left", self.samples[0::2]), ("right", self.samples[1::2])):
            with self.subTest(channel=name):
                self.assertLessEqual(longest_run_at_or_above(channel, CLIP_LEVEL), LONGEST_CLIPPED_RUN)

    def test_no_silence_longer_than_a_bar(self):
        bar_frames = self.layout["bar_seconds"] * SAMPLE_RATE
        last_bar_start = (self.layout["bars"] - 1) * bar_frames
        for first, count in silent_stretches(self.samples, SILENCE_LEVEL):
            reaches_end = first + count == self.frame_count
            if reaches_end and first >= last_bar_start:
                continue  # the fade-out may fall silent in the last bar
            self.assertLessEqual(count, bar_frames,
                                 "silent for %.2f s from %.2f s" % (count / SAMPLE_RATE, first / SAMPLE_RATE))

    def test_every_section_is_audible(self):
        for name, loudness in self.section_rms.items():
            with self.subTest(section=name):
                self.assertGreater(loudness, SECTION_RMS_FLOOR)

    def test_drops_are_louder_than_the_intro_and_the_breakdown(self):
        for drop in ("drop_a", "drop_b", "finale"):
            with self.subTest(section=drop):
                self.assertGreater(self.section_rms[drop], self.section_rms["breakdown"])
                self.assertGreater(self.section_rms[drop], self.section_rms["intro"])

    def test_channels_differ(self):
        every_fourth_frame = self.samples[0::8], self.samples[1::8]
        side = array.array("i", map(operator.sub, *every_fourth_frame))
        self.assertGreater(rms(side), 0.05 * rms(self.samples[0::8]))


class PlacementTest(unittest.TestCase):
    """Tiny scores: sound lands where the score puts it."""

    HEADER = "tempo 120\nmeter 4\nbars 2\nsection all 0-1\n"  # two-second bars

    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.directory.cleanup()

    def render(self, body):
        score_path = os.path.join(self.directory.name, "score.txt")
        output = os.path.join(self.directory.name, "song.wav")
        with open(score_path, "w", encoding="utf-8") as score:
            score.write(self.HEADER + body)
        result = run_tool(score_path, output)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(output, "rb") as song:
            return parse_wav(song.read())[1]

    def test_length_follows_tempo_and_bars(self):
        samples = self.render("pattern k kick x\nplay 0 k\n")
        self.assertEqual(len(samples), 4 * SAMPLE_RATE * CHANNELS)

    def test_hit_starts_on_its_step(self):
        samples = self.render("pattern k kick . . x .\nplay 1 k\n")
        onset = 3 * SAMPLE_RATE * CHANNELS  # bar 1 starts at 2 s, its third quarter 1 s later
        self.assertEqual(max(map(abs, samples[:onset])), 0)
        self.assertGreater(max(map(abs, samples[onset:onset + 100 * CHANNELS])), 1000)

    # The bass has no delay or reverb, so it falls silent soon after its note ends.

    def test_hold_carries_a_note_across_the_bar_line(self):
        last_half_second = slice(-SAMPLE_RATE // 2 * CHANNELS, None)
        held = self.render("pattern note bass A2\npattern hold bass -\nplay 0 note\nplay 1 hold\n")
        released = self.render("pattern note bass A2\nplay 0 note\n")
        self.assertGreater(rms(held[last_half_second]), 100 * rms(released[last_half_second]))

    def test_hold_after_a_rest_stays_silent(self):
        last_beat = slice(int(1.5 * SAMPLE_RATE) * CHANNELS, 2 * SAMPLE_RATE * CHANNELS)
        held = self.render("pattern note bass A2 - - -\nplay 0 note\n")
        rested = self.render("pattern note bass A2 - . -\nplay 0 note\n")
        self.assertGreater(rms(held[last_beat]), 100 * rms(rested[last_beat]))


class FailureTest(unittest.TestCase):
    """Bad input gives one error line, a non-zero exit and no output file."""

    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.output = os.path.join(self.directory.name, "song.wav")
        with open(SCORE, encoding="utf-8") as score:
            self.score_text = score.read()
        if not self.score_text.endswith("\n"):
            self.score_text += "\n"

    def tearDown(self):
        self.directory.cleanup()

    def assert_failed_cleanly(self, result, expected_in_message, output=None):
        output = output or self.output
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(result.stdout, "")
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertIn(expected_in_message, lines[0])
        self.assertFalse(os.path.exists(output))
        self.assertFalse(os.path.exists(output + ".tmp"))

    def test_bad_line_names_file_and_line(self):
        bad_lines = {
            "unknown keyword": "volume lead 0-3 1",
            "unknown note": "pattern odd lead H4 . . .",
            "note on a drum": "pattern odd kick A4 . . .",
            "hit on a pitched instrument": "pattern odd bass x...",
            "unknown instrument": "pattern odd cowbell x...",
            "unknown pattern": "play 3 no_such_pattern",
            "second pattern for an instrument in a bar": "play 20 kick_four",
            "bar past the end": "play 72 pad_am",
            "backwards range": "play 9-8 pad_am",
            "tempo twice": "tempo 120",
            "value out of range": "bright pad 0-3 1.5",
            "overlapping ramps": "level master 60-69 1",
            "missing words": "section",
        }
        line_number = self.score_text.count("\n") + 1
        for case, line in bad_lines.items():
            with self.subTest(case=case):
                score_path = os.path.join(self.directory.name, "score.txt")
                with open(score_path, "w", encoding="utf-8") as score:
                    score.write(self.score_text + line + "\n")
                result = run_tool(score_path, self.output)
                self.assert_failed_cleanly(result, "%s:%d:" % (score_path, line_number))

    def test_section_gap_is_refused(self):
        score_path = os.path.join(self.directory.name, "score.txt")
        lines = self.score_text.splitlines(keepends=True)
        number = next(i for i, text in enumerate(lines, 1) if text.startswith("section drop_b"))
        lines[number - 1] = "section drop_b 25-31\n"
        with open(score_path, "w", encoding="utf-8") as score:
            score.writelines(lines)
        self.assert_failed_cleanly(run_tool(score_path, self.output), "%s:%d:" % (score_path, number))

    def test_missing_score(self):
        missing = os.path.join(self.directory.name, "missing.txt")
        self.assert_failed_cleanly(run_tool(missing, self.output), missing)

    def test_unwritable_output(self):
        score_path = os.path.join(self.directory.name, "score.txt")
        with open(score_path, "w", encoding="utf-8") as score:
            score.write(self.score_text)
        output = os.path.join(self.directory.name, "no_such_folder", "song.wav")
        self.assert_failed_cleanly(run_tool(score_path, output), output, output)


if __name__ == "__main__":
    if not TOOL or not SCORE:
        sys.exit("set SOUNDTRACK_TOOL to the make_soundtrack executable and SOUNDTRACK_SCORE to score.txt")
    unittest.main()
