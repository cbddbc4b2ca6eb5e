// The text layout of the failure overlay, without GL or font files: turns
// messages (a header and a driver log each, UTF-8) into the rows of monospace
// cells that fit a window, and the panel that holds them at its top.
//
// Sizes, in window pixels: a row is OverlayLineHeight(height) high; the panel
// keeps a margin of half a row on every side of the text; it covers at most
// the top half of the window, but always holds two rows. Text wraps at the
// last whole cell that fits the width (characters, not words), a tab moves to
// the next multiple of kOverlayTabWidth columns within its row, and when the
// rows do not all fit, the last row that fits becomes a lone "…".
#ifndef OVERLAY_LAYOUT_H
#define OVERLAY_LAYOUT_H

#include <string>
#include <vector>

// The smallest row height, in pixels, however small the window.
constexpr int kOverlayMinLineHeight = 12;
// A window this many rows high gives a row of its height's share.
constexpr int kOverlayRowsPerWindow = 40;
// Columns between tab stops.
constexpr size_t kOverlayTabWidth = 4;
// The one character beyond printable ASCII the overlay draws: "…".
constexpr char32_t kOverlayEllipsis = 0x2026;
// How many glyphs the overlay draws: the 95 printable ASCII characters, then
// the ellipsis.
constexpr int kOverlayGlyphCount = 96;

// Why a message is shown: the build failed, it built with a complaint, or
// the sync tracks' file is bad. Shown in this order, top first.
enum class OverlayKind
{
	Error,
	Warning,
	Tracks
};
constexpr size_t kOverlayKindCount = 3;

// One message: a header line (such as the file's name) and the log.
struct OverlayMessage
{
	OverlayKind kind = OverlayKind::Error;
	std::string header;
	std::string body;
};

// One row of cells. Its text holds only characters the overlay draws
// (printable ASCII and the ellipsis), one per column.
struct OverlayRow
{
	OverlayKind kind = OverlayKind::Error;  // the message the row belongs to
	bool header = false;                    // a row of the message's header
	std::u32string text;
};

// The laid-out overlay for one window size.
struct OverlayLayout
{
	int lineHeight = 0;            // pixels from one row's top to the next one's
	int advance = 0;               // pixels from one column's left edge to the next one's
	int margin = 0;                // pixels between the panel's edges and the text
	size_t columns = 0;            // cells in a row
	size_t maxRows = 0;            // rows the panel may hold
	int panelHeight = 0;           // pixels from the window's top; 0 when there are no rows
	bool cut = false;              // rows were left out, and the last row is "…"
	std::vector<OverlayRow> rows;  // top to bottom
};

// The row height for a window of this height: height / 40, at least 12.
int OverlayLineHeight(int windowHeight);

// The glyph drawn for a code point, as an index from 0 to kOverlayGlyphCount -
// 1: ' ' to '~' are 0 to 94, the ellipsis is 95, anything else draws as '?'.
int OverlayGlyphIndex(char32_t codePoint);

// Decodes UTF-8 into the characters the overlay draws: a character without
// a glyph, a control character other than tab and newline, and each byte of
// a malformed sequence become '?'; carriage returns are dropped.
std::u32string OverlayDrawableText(const std::string &utf8);

// Lays the messages out in order, each as its header's rows then its body's.
// Both texts are split into lines at newlines; a final newline starts no
// empty line, and an empty text takes no row. advancePerLine is the font's
// advance width divided by its line height; the column's advance is rounded
// to whole pixels. A window with no area gives no rows.
OverlayLayout LayOutOverlay(const std::vector<OverlayMessage> &messages, int windowWidth, int windowHeight,
                            double advancePerLine);

#endif
