// The studio's timeline without GL: where the band across the bottom of the
// window lies, the bar inside it that shows the piece's length, the mapping
// between the bar's pixel columns and times, what a click on it means, and
// the row of status text that fits above the bar.
//
// All positions are window pixels from the top-left corner, as the toolkit
// gives mouse positions; rectangles include their left and top edges and
// exclude their right and bottom ones. From the top, the band holds a
// margin of half a row, the status row (the overlay's row height,
// OverlayLineHeight), a margin, the bar and a margin; the bar keeps a margin
// from the window's sides. The bar is up to two rows high, as high as keeps
// the band within kTimelineMaxShare of the window's height, but never lower
// than kTimelineMinBarHeight, so the band of a very low window takes more.
#ifndef STUDIO_TIMELINE_LAYOUT_H
#define STUDIO_TIMELINE_LAYOUT_H

#include <cstddef>
#include <string>

// The share of the window's height the band stays within, where it can.
constexpr double kTimelineMaxShare = 0.15;
// The lowest bar, in pixels.
constexpr int kTimelineMinBarHeight = 6;

struct TimelineLayout
{
	int width = 0;  // the window's
	int height = 0;
	int lineHeight = 0;  // the status row's height
	int margin = 0;      // half a row
	int bandTop = 0;     // the band runs from here to the window's bottom
	int textTop = 0;     // the status row's top; it starts at x = margin
	int barLeft = 0;
	int barTop = 0;
	int barRight = 0;
	int barBottom = 0;
	int playheadWidth = 0;  // columns: one per 360 rows of the window, at least one
};

// The layout for a window of this size; a window with no area gives an empty
// layout (all zero), in which nothing is drawn and nothing is hit.
TimelineLayout LayOutTimeline(int width, int height);

// Whether the layout has a bar to draw.
bool TimelineHasBar(const TimelineLayout &layout);

// The bar's pixel column for time t of a piece of `end` seconds: the bar's
// first column at 0, its last at end, linear between them, rounded to the
// nearest column; times outside [0, end] are clamped, and a non-finite t or
// an end not above 0 gives the first column.
int TimelineColumnAt(const TimelineLayout &layout, double t, double end);

// The time under pixel column x, the inverse of TimelineColumnAt: 0 at the
// bar's first column and end at its last, clamped to [0, end] for columns
// beyond them (so a drag that leaves the bar keeps a time).
double TimelineTimeAt(const TimelineLayout &layout, int x, double end);

// The playhead's first column when it stands at `column`: its playheadWidth
// columns are centred there, with the odd one out on the right.
int TimelinePlayheadLeft(const TimelineLayout &layout, int column);

// Whether the window position (x, y) of a width x height window is on the
// bar: from the bar's top row to the window's bottom, across the window's
// whole width. When it is, *t (not null) is the time under x, as
// TimelineTimeAt gives it.
bool TimelineHit(int x, int y, int width, int height, double end, double *t);

// The status row for a layout, in cells of `advance` pixels (the font's
// advance per line height times the row height, rounded, at least 1): the
// text's characters as the overlay draws them, tabs and newlines as spaces,
// cut to the cells that fit between the margins with a final "…" in place of
// what is left out.
struct TimelineStatusRow
{
	int advance = 0;
	std::u32string text;
};
TimelineStatusRow FitTimelineStatus(const std::string &utf8, const TimelineLayout &layout, double advancePerLine);

#endif
