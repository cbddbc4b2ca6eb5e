// The failure overlay without GL: its text layout, and an overlay whose font
// is missing (no GL entry point is loaded in this process, so any GL call it
// made would crash the test).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "overlay/overlay.h"
#include "overlay/overlay_layout.h"

namespace
{
	// Half the row height: at 12-pixel rows, cells are 6 pixels wide and the
	// margins 6 pixels, so a window 6 * N + 12 pixels wide holds N columns.
	const double kAdvance = 0.5;

	std::vector<OverlayMessage> ErrorShown(const std::string &header, const std::string &body)
	{
		return {OverlayMessage{OverlayKind::Error, header, body}};
	}

	std::vector<std::u32string> Rows(const std::string &header, const std::string &body, int width, int height)
	{
		std::vector<std::u32string> texts;
		for(const OverlayRow &row : LayOutOverlay(ErrorShown(header, body), width, height, kAdvance).rows)
			texts.push_back(row.text);
		return texts;
	}

	std::string Lines(int count)
	{
		std::string text;
		for(int i = 0; i < count; ++i)
			text += "line " + std::to_string(i) + "\n";
		return text;
	}
}

TEST(OverlayLayout, RowHeightIsAFortiethOfTheWindowAndAtLeastTwelve)
{
	EXPECT_EQ(OverlayLineHeight(1), 12);
	EXPECT_EQ(OverlayLineHeight(479), 12);
	EXPECT_EQ(OverlayLineHeight(520), 13);
	EXPECT_EQ(OverlayLineHeight(1080), 27);
}

TEST(OverlayLayout, HeaderComesFirstThenTheLogsLinesAsWritten)
{
	const OverlayLayout layout = LayOutOverlay(
	    ErrorShown("data/intro.frag", "0:3(1): error: syntax error\n\n0:5(9): warning: unused\n"), 640, 480, kAdvance);
	ASSERT_EQ(layout.rows.size(), 4u);
	EXPECT_TRUE(layout.rows[0].header);
	EXPECT_FALSE(layout.rows[1].header);
	EXPECT_EQ(layout.rows[0].text, U"data/intro.frag");
	EXPECT_EQ(layout.rows[1].text, U"0:3(1): error: syntax error");
	EXPECT_EQ(layout.rows[2].text, U"");
	EXPECT_EQ(layout.rows[3].text, U"0:5(9): warning: unused");
	EXPECT_EQ(layout.panelHeight, 2 * 6 + 4 * 12);
	EXPECT_FALSE(layout.cut);
}

TEST(OverlayLayout, WrapsAtTheLastWholeCellOfTheWidth)
{
	const std::string body(25, 'a');
	EXPECT_EQ(Rows("h", body, 72, 480), (std::vector<std::u32string>{U"h", U"aaaaaaaaaa", U"aaaaaaaaaa", U"aaaaa"}));
	EXPECT_EQ(Rows("h", body, 71, 480).back(), U"aaaaaaa");
	// A line that fills its row exactly is followed by no empty row.
	EXPECT_EQ(Rows("", std::string(10, 'b') + "\nc", 72, 480), (std::vector<std::u32string>{U"bbbbbbbbbb", U"c"}));
}

TEST(OverlayLayout, RowsThatDoNotFitEndInAnEllipsisWithinTheTopHalf)
{
	// 120 pixels high: 12-pixel rows in 60 pixels less two 6-pixel margins.
	OverlayLayout layout = LayOutOverlay(ErrorShown("data/intro.frag", Lines(10)), 640, 120, kAdvance);
	EXPECT_TRUE(layout.cut);
	EXPECT_EQ(layout.panelHeight, 60);
	ASSERT_EQ(layout.rows.size(), 4u);
	EXPECT_EQ(layout.rows[2].text, U"line 1");
	EXPECT_EQ(layout.rows[3].text, U"…");
	EXPECT_EQ(Rows("data/intro.frag", Lines(3), 640, 120).back(), U"line 2");

	for(int height : {100, 481, 719, 1080})
	{
		layout = LayOutOverlay(ErrorShown("h", Lines(200)), 640, height, kAdvance);
		EXPECT_LE(layout.panelHeight, height / 2) << height;
		EXPECT_GT(layout.panelHeight + layout.lineHeight, height / 2) << height;
	}
	// A tiny window still shows the header above the cut.
	EXPECT_EQ(Rows("h", "a\nb", 2, 30), (std::vector<std::u32string>{U"h", U"…"}));
}

TEST(OverlayLayout, AResizeLaysTheTextOutAgain)
{
	const std::string body = std::string(80, 'x') + "\n" + Lines(30);
	const OverlayLayout small = LayOutOverlay(ErrorShown("data/intro.frag", body), 640, 480, kAdvance);
	const OverlayLayout narrow = LayOutOverlay(ErrorShown("data/intro.frag", body), 640, 1200, kAdvance);
	EXPECT_EQ(small.lineHeight, 12);
	EXPECT_EQ(narrow.lineHeight, 30);
	EXPECT_EQ(small.columns, 104u);
	EXPECT_EQ(narrow.columns, 40u);
	EXPECT_EQ(small.rows[1].text, std::u32string(80, U'x'));
	EXPECT_EQ(narrow.rows[1].text, std::u32string(40, U'x'));
	EXPECT_EQ(narrow.rows[3].text, U"line 0");
	EXPECT_EQ(small.panelHeight, 2 * 6 + 19 * 12);
	EXPECT_EQ(narrow.panelHeight, 2 * 15 + 19 * 30);
}

TEST(OverlayLayout, TabsMoveToTheNextStopOfFourColumns)
{
	EXPECT_EQ(Rows("", "a\tb\n\tx\nabcdefghi\tz\nabcdefghij\tz", 72, 480),
	          (std::vector<std::u32string>{U"a   b", U"    x", U"abcdefghi ", U"z", U"abcdefghij", U"    z"}));
}

TEST(OverlayLayout, CharactersWithoutAGlyphDrawAsQuestionMarks)
{
	EXPECT_EQ(Rows("fr\xc3\xa9quence", "\xe2\x80\xa6 \xe2\x82\xac \xf0\x9f\x98\x80", 640, 480),
	          (std::vector<std::u32string>{U"fr?quence", U"… ? ?"}));
	// Each byte of a malformed sequence (a stray continuation byte, a cut
	// sequence, an overlong slash, a surrogate) is one '?'; control
	// characters are '?', carriage returns go.
	EXPECT_EQ(OverlayDrawableText("a\x80"
	                              "b\xe2\x80"),
	          U"a?b??");
	EXPECT_EQ(OverlayDrawableText("\xc0\xaf\xed\xa0\x80"), U"?????");
	EXPECT_EQ(OverlayDrawableText("x\x01y\x7f\r\n\t"), U"x?y?\n\t");
	EXPECT_EQ(OverlayGlyphIndex(U'~'), 94);
	EXPECT_EQ(OverlayGlyphIndex(kOverlayEllipsis), 95);
	EXPECT_EQ(OverlayGlyphIndex(U'\u00e9'), OverlayGlyphIndex(U'?'));
}

TEST(OverlayLayout, AnErrorAndAWarningAreLaidOutInTheOrderGiven)
{
	std::vector<OverlayMessage> messages = ErrorShown("data/intro.frag", "0:1(1): error: x");
	messages.push_back(OverlayMessage{OverlayKind::Warning, "data/intro.frag", "uniform width: float expected"});
	const OverlayLayout layout = LayOutOverlay(messages, 640, 480, kAdvance);
	ASSERT_EQ(layout.rows.size(), 4u);
	EXPECT_EQ(layout.rows[1].kind, OverlayKind::Error);
	EXPECT_EQ(layout.rows[2].kind, OverlayKind::Warning);
	EXPECT_TRUE(layout.rows[2].header);
	EXPECT_EQ(layout.rows[3].text, U"uniform width: float expected");
	EXPECT_TRUE(LayOutOverlay(messages, 0, 480, kAdvance).rows.empty());
}

TEST(Overlay, AMissingFontIsReportedAndLeavesTheOverlayOff)
{
	const Error error = OverlayInit("/nonexistent/overlay-font.ttf");
	EXPECT_EQ(error.message,
	          "Could not read the overlay font /nonexistent/overlay-font.ttf: No such file or directory");
	OverlayResize(640, 480);
	OverlayShow(OverlayKind::Error, "data/intro.frag", "0:1(1): error: x");
	EXPECT_FALSE(OverlayVisible());
	EXPECT_EQ(OverlayPanelHeight(), 0);
	OverlayDraw();
}
