// Layout and rasterisation of the message strip with stb_truetype.
#include "scroller_strip.h"

#include <algorithm>
#include <cmath>

namespace
{
	// Empty rows above the ascender and below the descender.
	const int kVerticalMargin = 4;

	// Empty columns before the first glyph and after the last one's advance,
	// so that ink overhanging a glyph's advance is not cut off.
	const int kHorizontalMargin = 8;

	bool IsControlCharacter(char32_t codePoint)
	{
		return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
	}

	// The glyph drawn for a code point: its own, or the question mark's when
	// the font has none or the code point is a control character.
	int GlyphForCodePoint(const stbtt_fontinfo &font, char32_t codePoint)
	{
		const int glyph = IsControlCharacter(codePoint) ? 0 : stbtt_FindGlyphIndex(&font, static_cast<int>(codePoint));
		return glyph != 0 ? glyph : stbtt_FindGlyphIndex(&font, '?');
	}

	// Adds a glyph's coverage onto the strip at (left, top), clipped to the
	// strip. Coverage adds up, so that two glyphs' anti-aliased edges sharing
	// a pixel fill it as one shape would.
	void AddCoverage(std::vector<unsigned char> &strip, int stripWidth, const std::vector<unsigned char> &glyph,
	                 int glyphWidth, int glyphHeight, int left, int top)
	{
		for(int y = 0; y < glyphHeight; ++y)
		{
			const int row = top + y;
			if(row < 0 || row >= kStripHeight)
				continue;
			for(int x = 0; x < glyphWidth; ++x)
			{
				const int column = left + x;
				if(column < 0 || column >= stripWidth)
					continue;
				unsigned char &pixel = strip[static_cast<size_t>(row) * stripWidth + column];
				pixel =
				    static_cast<unsigned char>(std::min(255, pixel + glyph[static_cast<size_t>(y) * glyphWidth + x]));
			}
		}
	}
}

StripLayout LayOutStrip(const stbtt_fontinfo &font, const std::vector<char32_t> &text)
{
	std::vector<int> glyphs;
	for(char32_t codePoint : text)
		glyphs.push_back(GlyphForCodePoint(font, codePoint));

	// The strip's rows hold the font's design ascender and descender, and
	// further ink of any glyph in the text (an accented capital, say), so
	// that ordinary text fills the height and nothing is ever cut off.
	int ascent, descent, lineGap;
	if(!stbtt_GetFontVMetricsOS2(&font, &ascent, &descent, &lineGap))
		stbtt_GetFontVMetrics(&font, &ascent, &descent, &lineGap);
	for(int glyph : glyphs)
	{
		int x0, y0, x1, y1;
		if(stbtt_GetGlyphBox(&font, glyph, &x0, &y0, &x1, &y1))
		{
			ascent = std::max(ascent, y1);
			descent = std::min(descent, y0);
		}
	}

	// Glyph bitmaps are rounded outwards to whole pixels; rounding the
	// ascender up as well keeps the top margin whole, and the bottom one
	// loses at most two rows to rounding.
	StripLayout layout;
	layout.scale = float(kStripHeight - 2 * kVerticalMargin) / float(ascent - descent);
	layout.baseline = kVerticalMargin + static_cast<int>(std::ceil(ascent * layout.scale));

	// The pen advances in font units, which are exact; each position is
	// scaled from the running total so rounding errors do not pile up.
	int64_t penUnits = 0;
	for(size_t i = 0; i < glyphs.size(); ++i)
	{
		layout.glyphs.push_back({glyphs[i], kHorizontalMargin + penUnits * double(layout.scale)});

		int advance, leftSideBearing;
		stbtt_GetGlyphHMetrics(&font, glyphs[i], &advance, &leftSideBearing);
		penUnits += advance;
		if(i + 1 < glyphs.size())
			penUnits += stbtt_GetGlyphKernAdvance(&font, glyphs[i], glyphs[i + 1]);
	}

	const double textWidth = std::ceil(penUnits * double(layout.scale));
	layout.width = 2 * kHorizontalMargin + static_cast<int64_t>(textWidth);
	return layout;
}

std::vector<unsigned char> RasteriseStrip(const stbtt_fontinfo &font, const StripLayout &layout)
{
	const int stripWidth = static_cast<int>(layout.width);
	std::vector<unsigned char> strip(static_cast<size_t>(stripWidth) * kStripHeight, 0);
	std::vector<unsigned char> glyphCoverage;

	for(const PlacedGlyph &placed : layout.glyphs)
	{
		// The glyph is rasterised at its sub-pixel offset from the pixel grid,
		// so letter spacing stays even along the whole line.
		const double originX = std::floor(placed.penX);
		const float shiftX = static_cast<float>(placed.penX - originX);

		int x0, y0, x1, y1;
		stbtt_GetGlyphBitmapBoxSubpixel(&font, placed.glyph, layout.scale, layout.scale, shiftX, 0.0f, &x0, &y0, &x1,
		                                &y1);
		const int glyphWidth = x1 - x0;
		const int glyphHeight = y1 - y0;
		if(glyphWidth <= 0 || glyphHeight <= 0)
			continue;

		glyphCoverage.assign(static_cast<size_t>(glyphWidth) * glyphHeight, 0);
		stbtt_MakeGlyphBitmapSubpixel(&font, glyphCoverage.data(), glyphWidth, glyphHeight, glyphWidth, layout.scale,
		                              layout.scale, shiftX, 0.0f, placed.glyph);
		AddCoverage(strip, stripWidth, glyphCoverage, glyphWidth, glyphHeight, static_cast<int>(originX) + x0,
		            layout.baseline + y0);
	}
	return strip;
}

std::vector<unsigned char> WhiteGreyAlphaFromCoverage(const std::vector<unsigned char> &coverage)
{
	// The colour is white under transparent pixels too: a linearly filtered
	// texture then blends only white into the glyphs' edges, never black.
	std::vector<unsigned char> greyAlpha;
	greyAlpha.reserve(coverage.size() * 2);
	for(unsigned char alpha : coverage)
	{
		greyAlpha.push_back(255);
		greyAlpha.push_back(alpha);
	}
	return greyAlpha;
}
