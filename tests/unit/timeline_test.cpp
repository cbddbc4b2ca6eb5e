// The studio's timeline without GL: the band's and bar's geometry, columns
// and times, clicks, and the status row.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "studio/timeline_layout.h"

namespace
{
	const double kEnd = 135.0;
	// Half the row height: 12-pixel rows give 6-pixel cells.
	const double kAdvance = 0.5;
}

TEST(TimelineLayout, TheBandStaysWithinTheBottomFifteenPercentWithTheBarUnderTheStatusRow)
{
	// 360 rows: 12-pixel rows, 6-pixel margins and a 24-pixel bar make 54.
	const TimelineLayout small = LayOutTimeline(640, 360);
	EXPECT_EQ(small.bandTop, 360 - 54);
	EXPECT_EQ(small.textTop, 360 - 48);
	EXPECT_EQ(small.barTop, 360 - 30);
	EXPECT_EQ(small.barBottom, 354);
	EXPECT_EQ(small.barLeft, 6);
	EXPECT_EQ(small.barRight, 634);
	EXPECT_EQ(small.playheadWidth, 1);

	// 720 rows: 18-pixel rows, 9-pixel margins, the bar two rows high.
	const TimelineLayout large = LayOutTimeline(1280, 720);
	EXPECT_EQ(large.barBottom - large.barTop, 36);
	EXPECT_EQ(large.bandTop, 720 - 81);
	EXPECT_EQ(large.barBottom, 711);
	EXPECT_EQ(large.barRight, 1271);
	EXPECT_EQ(large.playheadWidth, 2);

	for(int height : {240, 480, 600, 1080, 2160})
		EXPECT_LE(height - LayOutTimeline(800, height).bandTop, 0.15 * height) << height;
	// A very low window still has a row and a bar of six pixels.
	const TimelineLayout low = LayOutTimeline(640, 100);
	EXPECT_EQ(low.barBottom - low.barTop, kTimelineMinBarHeight);
	EXPECT_EQ(low.bandTop, 100 - 36);
	EXPECT_FALSE(TimelineHasBar(LayOutTimeline(0, 360)));
	EXPECT_FALSE(TimelineHasBar(LayOutTimeline(640, 0)));
}

TEST(TimelineLayout, ColumnsAndTimesMapBothWaysWithinHalfAColumn)
{
	const TimelineLayout layout = LayOutTimeline(640, 360);  // columns 6 to 633
	EXPECT_EQ(TimelineColumnAt(layout, 0.0, kEnd), 6);
	EXPECT_EQ(TimelineColumnAt(layout, kEnd, kEnd), 633);
	EXPECT_EQ(TimelineColumnAt(layout, kEnd / 2, kEnd), 320);  // 6 + 313.5, rounded up
	EXPECT_EQ(TimelineColumnAt(layout, -5.0, kEnd), 6);
	EXPECT_EQ(TimelineColumnAt(layout, 500.0, kEnd), 633);
	EXPECT_EQ(TimelineColumnAt(layout, 10.0, 0.0), 6);
	EXPECT_EQ(TimelineColumnAt(layout, std::nan(""), kEnd), 6);

	EXPECT_DOUBLE_EQ(TimelineTimeAt(layout, 6, kEnd), 0.0);
	EXPECT_DOUBLE_EQ(TimelineTimeAt(layout, 633, kEnd), kEnd);
	EXPECT_DOUBLE_EQ(TimelineTimeAt(layout, 0, kEnd), 0.0);
	EXPECT_DOUBLE_EQ(TimelineTimeAt(layout, 639, kEnd), kEnd);
	const double column = kEnd / 627;
	for(double t = 0.0; t <= kEnd; t += 0.37)
		EXPECT_NEAR(TimelineTimeAt(layout, TimelineColumnAt(layout, t, kEnd), kEnd), t, column / 2 + 1e-9) << t;

	// The playhead's columns are centred on its column.
	EXPECT_EQ(TimelinePlayheadLeft(layout, 100), 100);
	EXPECT_EQ(TimelinePlayheadLeft(LayOutTimeline(1280, 720), 100), 100);
	EXPECT_EQ(TimelinePlayheadLeft(LayOutTimeline(1920, 1080), 100), 99);
}

TEST(TimelineLayout, AClickFromTheBarsTopToTheWindowsBottomHitsTheTimeUnderIt)
{
	double t = -1.0;
	EXPECT_TRUE(TimelineHit(320, 340, 640, 360, kEnd, &t));
	EXPECT_DOUBLE_EQ(t, TimelineTimeAt(LayOutTimeline(640, 360), 320, kEnd));
	EXPECT_TRUE(TimelineHit(0, 330, 640, 360, kEnd, &t));  // the bar's top row, left of the bar
	EXPECT_DOUBLE_EQ(t, 0.0);
	EXPECT_TRUE(TimelineHit(639, 359, 640, 360, kEnd, &t));
	EXPECT_DOUBLE_EQ(t, kEnd);

	t = -1.0;
	EXPECT_FALSE(TimelineHit(320, 329, 640, 360, kEnd, &t));  // the margin above the bar
	EXPECT_FALSE(TimelineHit(320, 315, 640, 360, kEnd, &t));  // the status row
	EXPECT_FALSE(TimelineHit(320, 100, 640, 360, kEnd, &t));
	EXPECT_FALSE(TimelineHit(-1, 340, 640, 360, kEnd, &t));
	EXPECT_FALSE(TimelineHit(640, 340, 640, 360, kEnd, &t));
	EXPECT_FALSE(TimelineHit(320, 360, 640, 360, kEnd, &t));
	EXPECT_FALSE(TimelineHit(0, 0, 0, 0, kEnd, &t));
	EXPECT_EQ(t, -1.0);
}

TEST(TimelineLayout, TheStatusRowFitsBetweenTheMarginsEndingInAnEllipsisWhenCut)
{
	// 640 - 2 * 6 pixels hold 104 six-pixel cells.
	const TimelineLayout layout = LayOutTimeline(640, 360);
	const std::string status = "1:30.25 / 2:15.00  frame 5415  59.8 fps  playing";
	TimelineStatusRow row = FitTimelineStatus(status, layout, kAdvance);
	EXPECT_EQ(row.advance, 6);
	EXPECT_EQ(row.text, U"1:30.25 / 2:15.00  frame 5415  59.8 fps  playing");

	row = FitTimelineStatus(std::string(200, 'x'), layout, kAdvance);
	ASSERT_EQ(row.text.size(), 104u);
	EXPECT_EQ(row.text.substr(0, 103), std::u32string(103, U'x'));
	EXPECT_EQ(row.text.back(), U'…');
	EXPECT_EQ(FitTimelineStatus(std::string(104, 'x'), layout, kAdvance).text, std::u32string(104, U'x'));

	// Tabs and newlines become spaces, anything without a glyph '?'.
	EXPECT_EQ(FitTimelineStatus("a\tb\nc\xff"
	                            "d",
	                            layout, kAdvance)
	              .text,
	          U"a b c?d");
}
