// Lays out and rasterises the message as one line of text on a strip of fixed
// height: the texture the intro scrolls across the screen.
#ifndef TOOLS_MESSAGE_SCROLLER_STRIP_H
#define TOOLS_MESSAGE_SCROLLER_STRIP_H

#include <stb_truetype.h>

#include <cstdint>
#include <vector>

// The strip's height in pixels, whatever the text.
const int kStripHeight = 128;

// The widest strip allowed: the largest texture side the intro relies on.
const int kMaxStripWidth = 16384;

// One glyph of the line and the horizontal pen position it is drawn at, in
// pixels from the strip's left edge.
struct PlacedGlyph
{
	int glyph;
	double penX;
};

// Where the glyphs of a line go on the strip.
struct StripLayout
{
	float scale;    // pixels per font unit
	int baseline;   // the baseline's row, counted from the top
	int64_t width;  // the strip's width in pixels, both margins included
	std::vector<PlacedGlyph> glyphs;
};

// Places the text on one line at the strip's font size, applying the font's
// kerning. Control characters and characters the font has no glyph for are
// drawn as '?'. The width may come out above kMaxStripWidth; the caller checks.
StripLayout LayOutStrip(const stbtt_fontinfo &font, const std::vector<char32_t> &text);

// Draws the laid-out line: one anti-aliased coverage byte per pixel, row by
// row from the top, layout.width * kStripHeight bytes.
std::vector<unsigned char> RasteriseStrip(const stbtt_fontinfo &font, const StripLayout &layout);

// The coverage as grey-and-alpha pixels: white everywhere, with the coverage
// as alpha. A reader that asks for RGBA gets white with that alpha, and two
// channels decode in half the time of four.
std::vector<unsigned char> WhiteGreyAlphaFromCoverage(const std::vector<unsigned char> &coverage);

#endif
