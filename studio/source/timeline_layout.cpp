// The studio's timeline without GL: see timeline_layout.h.
#include "studio/timeline_layout.h"

#include <algorithm>
#include <cmath>

#include "overlay/overlay_layout.h"

namespace
{
	// The bar's highest, in status rows.
	const int kBarRows = 2;
	// Window rows per column of the playhead.
	const int kRowsPerPlayheadColumn = 360;
}

TimelineLayout LayOutTimeline(int width, int height)
{
	TimelineLayout layout;
	if(width <= 0 || height <= 0)
		return layout;
	layout.width = width;
	layout.height = height;
	layout.lineHeight = OverlayLineHeight(height);
	layout.margin = layout.lineHeight / 2;
	const int around = layout.lineHeight + 3 * layout.margin;
	const int share = static_cast<int>(std::floor(kTimelineMaxShare * height));
	const int barHeight = std::clamp(share - around, kTimelineMinBarHeight, kBarRows * layout.lineHeight);
	layout.bandTop = height - around - barHeight;
	layout.textTop = layout.bandTop + layout.margin;
	layout.barTop = layout.textTop + layout.lineHeight + layout.margin;
	layout.barBottom = layout.barTop + barHeight;
	layout.barLeft = std::min(layout.margin, width - 1);
	layout.barRight = std::max(layout.barLeft + 1, width - layout.margin);
	layout.playheadWidth = std::max(1, height / kRowsPerPlayheadColumn);
	return layout;
}

bool TimelineHasBar(const TimelineLayout &layout)
{
	return layout.barRight > layout.barLeft;
}

int TimelineColumnAt(const TimelineLayout &layout, double t, double end)
{
	if(!std::isfinite(t) || !(end > 0.0))
		return layout.barLeft;
	const double along = std::clamp(t / end, 0.0, 1.0);
	return layout.barLeft + static_cast<int>(std::lround(along * (layout.barRight - 1 - layout.barLeft)));
}

double TimelineTimeAt(const TimelineLayout &layout, int x, double end)
{
	const int last = layout.barRight - 1 - layout.barLeft;
	if(last <= 0 || !(end > 0.0))
		return 0.0;
	return std::clamp(static_cast<double>(x - layout.barLeft) / last, 0.0, 1.0) * end;
}

int TimelinePlayheadLeft(const TimelineLayout &layout, int column)
{
	return column - (layout.playheadWidth - 1) / 2;
}

bool TimelineHit(int x, int y, int width, int height, double end, double *t)
{
	const TimelineLayout layout = LayOutTimeline(width, height);
	if(!TimelineHasBar(layout) || x < 0 || x >= width || y < layout.barTop || y >= height)
		return false;
	*t = TimelineTimeAt(layout, x, end);
	return true;
}

TimelineStatusRow FitTimelineStatus(const std::string &utf8, const TimelineLayout &layout, double advancePerLine)
{
	TimelineStatusRow row;
	row.advance = static_cast<int>(std::max(1L, std::lround(advancePerLine * layout.lineHeight)));
	const size_t columns = static_cast<size_t>(std::max(0, (layout.width - 2 * layout.margin) / row.advance));
	row.text = OverlayDrawableText(utf8);
	std::replace_if(
	    row.text.begin(), row.text.end(), [](char32_t c) { return c == U'\t' || c == U'\n'; }, U' ');
	if(row.text.size() > columns)
	{
		row.text.resize(columns);
		if(columns > 0)
			row.text.back() = kOverlayEllipsis;
	}
	return row;
}
