#!/usr/bin/env python3
"""Checks make_message, which renders a text file as one line of white,
anti-aliased text on a transparent PNG strip 128 pixels high, stored as 8-bit
grey and alpha.

The PNGs are decoded here with the standard library alone (chunks, CRCs,
zlib, scanline filters), independently of the writer the tool uses.

Usage: message_test.py MAKE_MESSAGE FONT_TTF MESSAGE_TXT
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

MAKE_MESSAGE = FONT = MESSAGE = None

STRIP_HEIGHT = 128
MAX_WIDTH = 16384
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Png:
    """A decoded 8-bit grey-and-alpha PNG: its header fields and one bytes
    object of width * 2 bytes per row."""

    def __init__(self, data):
        if not data.startswith(PNG_SIGNATURE):
            raise ValueError("no PNG signature")
        chunks = list(self._chunks(data))
        if chunks[0][0] != b"IHDR" or chunks[-1][0] != b"IEND":
            raise ValueError("IHDR is not first or IEND not last")
        (self.width, self.height, self.bit_depth, self.colour_type,
         compression, filtering, self.interlace) = struct.unpack(">IIBBBBB", chunks[0][1])
        if (self.bit_depth, self.colour_type, compression, filtering, self.interlace) != (8, 4, 0, 0, 0):
            raise ValueError("not a non-interlaced 8-bit grey-and-alpha PNG")
        raw = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
        self.rows = self._unfilter(raw)

    @staticmethod
    def _chunks(data):
        position = len(PNG_SIGNATURE)
        while position < len(data):
            length, kind = struct.unpack(">I4s", data[position:position + 8])
            body = data[position + 8:position + 8 + length]
            (crc,) = struct.unpack(">I", data[position + 8 + length:position + 12 + length])
            if zlib.crc32(kind + body) != crc:
                raise ValueError("bad CRC in a %r chunk" % kind)
            yield kind, body
            position += 12 + length

    def _unfilter(self, raw):
        stride = self.width * 2
        if len(raw) != self.height * (stride + 1):
            raise ValueError("image data of the wrong size")
        rows = []
        previous = bytes(stride)
        for y in range(self.height):
            start = y * (stride + 1)
            kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
            if kind == 1:
                for i in range(2, stride):
                    line[i] = (line[i] + line[i - 2]) & 255
            elif kind == 2:
                line = bytearray((a + b) & 255 for a, b in zip(line, previous))
            elif kind == 3:
                for i in range(stride):
                    left = line[i - 2] if i >= 2 else 0
                    line[i] = (line[i] + ((left + previous[i]) >> 1)) & 255
            elif kind == 4:
                for i in range(stride):
                    left = line[i - 2] if i >= 2 else 0
                    upper_left = previous[i - 2] if i >= 2 else 0
                    estimate = left + previous[i] - upper_left
                    to_left, to_up, to_upper_left = (abs(estimate - left), abs(estimate - previous[i]),
                                                     abs(estimate - upper_left))
                    if to_left <= to_up and to_left <= to_upper_left:
                        predictor = left
                    elif to_up <= to_upper_left:
                        predictor = previous[i]
                    else:
                        predictor = upper_left
                    line[i] = (line[i] + predictor) & 255
            elif kind != 0:
                raise ValueError("unknown filter type %d" % kind)
            previous = bytes(line)
            rows.append(previous)
        return rows

    def alpha_rows(self):
        return [row[1::2] for row in self.rows]

    def ink_columns(self):
        """The first and last column holding any coverage."""
        inked = bytearray(self.width)
        for alpha in self.alpha_rows():
            for x, value in enumerate(alpha):
                if value:
                    inked[x] = 1
        first = inked.index(1)
        return first, self.width - 1 - inked[::-1].index(1)

    def ink_rows(self):
        """The first and last row holding any coverage."""
        inked = [y for y, alpha in enumerate(self.alpha_rows()) if any(alpha)]
        return inked[0], inked[-1]


def run_tool(font, text_path, output_path):
    return subprocess.run([MAKE_MESSAGE, font, text_path, output_path],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


class WorkDirTest(unittest.TestCase):
    """Each test works in a fresh temporary directory."""

    def setUp(self):
        self._directory = tempfile.TemporaryDirectory()
        self.directory = self._directory.name
        self.renders = 0

    def tearDown(self):
        self._directory.cleanup()

    def write_text(self, content, name="text.txt"):
        path = os.path.join(self.directory, name)
        with open(path, "wb") as file:
            file.write(content.encode("utf-8") if isinstance(content, str) else content)
        return path

    def render_file(self, text_path, font=None):
        """Renders the text file; returns the PNG's bytes."""
        self.renders += 1
        output = os.path.join(self.directory, "out%d.png" % self.renders)
        result = run_tool(font or FONT, text_path, output)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertFalse(os.path.exists(output + ".tmp"))
        with open(output, "rb") as file:
            return file.read()

    def render(self, content):
        return self.render_file(self.write_text(content, "text%d.txt" % self.renders))

    def width_of(self, content):
        return Png(self.render(content)).width


class RealMessageTest(WorkDirTest):
    """The repository's message renders as a full-height, full-width strip."""

    @classmethod
    def setUpClass(cls):
        with tempfile.TemporaryDirectory() as directory:
            output = os.path.join(directory, "long.png")
            result = run_tool(FONT, MESSAGE, output)
            if result.returncode != 0:
                raise AssertionError(result.stderr)
            with open(output, "rb") as file:
                cls.data = file.read()
        cls.png = Png(cls.data)

    def test_strip_size(self):
        self.assertEqual(self.png.height, STRIP_HEIGHT)
        self.assertGreater(self.png.width, 1000)
        self.assertLessEqual(self.png.width, MAX_WIDTH)

    def test_white_anti_aliased_glyphs_on_transparent_background(self):
        alpha = b"".join(self.png.alpha_rows())
        counts = [alpha.count(value) for value in range(256)]
        self.assertGreater(counts[255], 0, "no fully covered pixel")
        self.assertGreater(counts[0], 0.5 * len(alpha), "the background is not mostly transparent")
        self.assertGreater(sum(counts[1:255]), 0, "no anti-aliased edge")
        for y, row in enumerate(self.png.rows):
            for x in range(self.png.width):
                if row[2 * x + 1]:
                    self.assertEqual(row[2 * x], 255, "pixel %d,%d is inked but not white" % (x, y))

    def test_ink_fills_the_strip_inside_its_margins(self):
        first, last = self.png.ink_columns()
        self.assertTrue(0 < first <= 32, "first ink column %d" % first)
        self.assertTrue(self.png.width - 32 <= last < self.png.width - 1, "last ink column %d" % last)
        top, bottom = self.png.ink_rows()
        self.assertTrue(0 < top < 16, "top ink row %d" % top)
        self.assertTrue(STRIP_HEIGHT - 16 < bottom < STRIP_HEIGHT - 1, "bottom ink row %d" % bottom)

    def test_rendering_is_deterministic(self):
        self.assertEqual(self.render_file(MESSAGE), self.data)


class TextHandlingTest(WorkDirTest):
    """How the words of the file become the line that is drawn."""

    def test_width_grows_with_the_text(self):
        widths = [self.width_of("x" * count) for count in (1, 2, 4, 8)]
        self.assertEqual(widths, sorted(set(widths)))
        self.assertAlmostEqual(widths[3] - widths[2], 2 * (widths[2] - widths[1]), delta=2)

    def test_kerning_is_applied(self):
        # The same glyphs, but alternating they form kerned pairs.
        alternating = self.width_of("AV" * 20)
        grouped = self.width_of("A" * 20 + "V" * 20)
        self.assertLess(alternating, grouped - 100)

    def test_tall_glyphs_shrink_the_line_rather_than_clip(self):
        png = Png(self.render("\u00c9\u00c5\u00d1 gjpq|"))
        top, bottom = png.ink_rows()
        self.assertTrue(0 < top and bottom < STRIP_HEIGHT - 1, "ink rows %d to %d" % (top, bottom))

    def test_white_space_folds_to_single_spaces(self):
        expected = self.render("hello world")
        for text in ("  hello world  ", "hello\n\tworld\r\n", "\n\nhello \v\f  world\n"):
            with self.subTest(text=text):
                self.assertEqual(self.render(text), expected)
        self.assertNotEqual(self.render("helloworld"), expected)

    def test_unknown_characters_become_question_marks(self):
        cases = {
            "no glyph in the font": "a\u4e00b",
            "control character": "a\x01b",
            "invalid UTF-8 byte": b"a\xffb",
            "truncated sequence": b"a\xe2\x82b",
            "overlong encoding": b"a\xc1\x81b",
            "encoded surrogate": b"a\xed\xa0\x80b",
        }
        for name, text in cases.items():
            with self.subTest(name):
                # A malformed sequence is one '?' per byte.
                expected_text = "a" + "?" * (len(text) - 2) + "b" if isinstance(text, bytes) else "a?b"
                self.assertEqual(self.render(text), self.render(expected_text))

    def test_non_ascii_characters_the_font_has_are_drawn(self):
        self.assertNotEqual(self.render("caf\u00e9"), self.render("caf?"))
        self.assertEqual(self.render("\ufeffcaf\u00e9"), self.render("caf\u00e9"))


class FailureTest(WorkDirTest):
    """Bad input fails with one stderr line naming the file, and no output."""

    def assert_fails(self, font, text_path, named_path, output_name="out.png", mentions=()):
        before = set(os.listdir(self.directory))
        output = os.path.join(self.directory, output_name)
        result = run_tool(font, text_path, output)
        self.assertNotEqual(result.returncode, 0)
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertIn(named_path, lines[0])
        for word in mentions:
            self.assertIn(word, lines[0])
        self.assertEqual(set(os.listdir(self.directory)), before, "files left behind")

    def test_bad_text_files(self):
        cases = {
            "empty": (b"", ()),
            "only white space": (b" \n\t \r\n ", ()),
            "too long": (b"W" * 300, (str(MAX_WIDTH),)),
        }
        for name, (content, mentions) in cases.items():
            with self.subTest(name):
                path = self.write_text(content, name.replace(" ", "_") + ".txt")
                self.assert_fails(FONT, path, path, mentions=mentions)
        missing = os.path.join(self.directory, "missing.txt")
        self.assert_fails(FONT, missing, missing)

    def test_bad_fonts(self):
        text = self.write_text("hello")
        missing = os.path.join(self.directory, "missing.ttf")
        self.assert_fails(missing, text, missing)
        for name, content in {"short.ttf": b"\0\1", "text.ttf": b"this is not a font at all\n"}.items():
            with self.subTest(name):
                path = self.write_text(content, name)
                self.assert_fails(path, text, path)

    def test_unwritable_output(self):
        text = self.write_text("hello")
        output_name = os.path.join("no_such_directory", "out.png")
        self.assert_fails(FONT, text, os.path.join(self.directory, output_name), output_name)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[-1])
    MAKE_MESSAGE, FONT, MESSAGE = sys.argv[1:]
    unittest.main(argv=sys.argv[:1])
