// The failure overlay's text layout: the characters drawn, wrapping and the
// cut.
#include "overlay/overlay_layout.h"

#include <algorithm>
#include <cmath>

#include "text/utf8.h"

namespace
{
	const char32_t kFirstPrintable = U' ';
	const char32_t kLastPrintable = U'~';
	const char32_t kReplacement = U'?';
	// The smallest number of rows the panel holds, so that a cut message
	// still shows its header above the "…".
	const size_t kMinRows = 2;

	bool HasGlyph(char32_t codePoint)
	{
		return (codePoint >= kFirstPrintable && codePoint <= kLastPrintable) || codePoint == kOverlayEllipsis;
	}

	// Fills rows of at most `columns` cells, wrapping a row only when a
	// character arrives for a full one, so that no empty row follows a line
	// that fills its last row exactly.
	class RowFiller
	{
	public:
		RowFiller(std::vector<OverlayRow> &rows, size_t columns, OverlayKind kind, bool header)
		    : rows(rows), columns(columns)
		{
			row.kind = kind;
			row.header = header;
		}

		void Put(char32_t character)
		{
			if(row.text.size() == columns)
				EndRow();
			row.text.push_back(character);
		}

		// Spaces up to the next tab stop, or to the row's end; a tab that
		// meets a full row starts the next one.
		void Tab()
		{
			do
				Put(U' ');
			while(row.text.size() % kOverlayTabWidth != 0 && row.text.size() < columns);
		}

		void EndRow()
		{
			rows.push_back(row);
			row.text.clear();
		}

	private:
		std::vector<OverlayRow> &rows;
		size_t columns;
		OverlayRow row;
	};

	// Appends the rows of one text, its lines split at newlines; a final
	// newline starts no empty line, and an empty text adds no row.
	void AddText(std::vector<OverlayRow> &rows, const std::string &text, size_t columns, OverlayKind kind, bool header)
	{
		const std::u32string drawable = OverlayDrawableText(text);
		RowFiller filler(rows, columns, kind, header);
		for(size_t i = 0; i < drawable.size(); ++i)
		{
			if(drawable[i] == U'\n')
				filler.EndRow();
			else if(drawable[i] == U'\t')
				filler.Tab();
			else
				filler.Put(drawable[i]);
		}
		if(!drawable.empty() && drawable.back() != U'\n')
			filler.EndRow();
	}
}

int OverlayLineHeight(int windowHeight)
{
	return std::max(kOverlayMinLineHeight, windowHeight / kOverlayRowsPerWindow);
}

int OverlayGlyphIndex(char32_t codePoint)
{
	if(!HasGlyph(codePoint))
		codePoint = kReplacement;
	if(codePoint == kOverlayEllipsis)
		return kOverlayGlyphCount - 1;
	return static_cast<int>(codePoint - kFirstPrintable);
}

std::u32string OverlayDrawableText(const std::string &utf8)
{
	std::u32string drawable;
	drawable.reserve(utf8.size());
	for(char32_t codePoint : DecodeUtf8(utf8, kReplacement))
	{
		if(codePoint == U'\r')
			continue;
		if(codePoint == U'\n' || codePoint == U'\t')
			drawable.push_back(codePoint);
		else
			drawable.push_back(HasGlyph(codePoint) ? codePoint : kReplacement);
	}
	return drawable;
}

OverlayLayout LayOutOverlay(const std::vector<OverlayMessage> &messages, int windowWidth, int windowHeight,
                            double advancePerLine)
{
	OverlayLayout layout;
	if(windowWidth <= 0 || windowHeight <= 0)
		return layout;
	layout.lineHeight = OverlayLineHeight(windowHeight);
	// Whole pixels, so that every column starts on the same pixel phase.
	layout.advance = static_cast<int>(std::max(1L, std::lround(advancePerLine * layout.lineHeight)));
	layout.margin = layout.lineHeight / 2;
	const int textWidth = windowWidth - 2 * layout.margin;
	layout.columns = std::max<size_t>(1, static_cast<size_t>(std::max(0, textWidth / layout.advance)));
	const int textHeight = windowHeight / 2 - 2 * layout.margin;
	layout.maxRows = std::max<size_t>(kMinRows, static_cast<size_t>(std::max(0, textHeight / layout.lineHeight)));

	for(const OverlayMessage &message : messages)
	{
		AddText(layout.rows, message.header, layout.columns, message.kind, true);
		AddText(layout.rows, message.body, layout.columns, message.kind, false);
	}

	if(layout.rows.size() > layout.maxRows)
	{
		layout.rows.resize(layout.maxRows);
		OverlayRow &last = layout.rows.back();
		last.header = false;
		last.text = std::u32string(1, kOverlayEllipsis);
		layout.cut = true;
	}
	if(!layout.rows.empty())
		layout.panelHeight = 2 * layout.margin + static_cast<int>(layout.rows.size()) * layout.lineHeight;
	return layout;
}
