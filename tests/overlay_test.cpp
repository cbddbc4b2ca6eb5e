// The failure overlay without GL: its text layout, and an overlay whose font
// cannot be loaded (no GL entry point is loaded in this process, so any GL
// call it made would crash the test).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "overlay.h"
#include "overlay_layout.h"

namespace
{
	// Half the line height: at a 12-pixel row, cells are 6 pixels wide, and
	// the margin is 6 pixels, so a window 6 * N + 12 pixels wide holds N columns.
	const double kAdvance = 0.5;

	int WidthForColumns(int columns)
	{
		return 6 * columns + 12;
	}

	std::vector<OverlayMessage> Error(const std::string &header, const std::string &body)
	{
		OverlayMessage message;
		message.kind = OverlayKind::Error;
		message.header = header;
		message.body = body;
		return {message};
	}

	std::vector<std::u32string> Texts(const OverlayLayout &layout)
	{
		std::vector<std::u32string> texts;
		for(const OverlayRow &row : layout.rows)
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

TEST(OverlayLayout, LineHeightIsAFortiethOfTheWindowAndAtLeastTwelve)
{
	EXPECT_EQ(OverlayLineHeight(1), 12);
	EXPECT_EQ(OverlayLineHeight(479), 12);
	EXPECT_EQ(OverlayLineHeight(520), 13);
	EXPECT_EQ(OverlayLineHeight(1080), 27);
	EXPECT_EQ(OverlayLineHeight(2160), 54);
	EXPECT_EQ(LayOutOverlay(Error("h", "b"), 640, 1080, kAdvance).lineHeight, 27);
}

TEST(OverlayLayout, HeaderComesFirstThenTheLogsLinesAsWritten)
{
	const OverlayLayout layout =
	    LayOutOverlay(Error("data/intro.frag", "0:3(1): error: syntax error\n0:5(9): warning: unused\n"),
	                  640, 480, kAdvance);
	ASSERT_EQ(layout.rows.size(), 3u);
	EXPECT_TRUE(layout.rows[0].header);
	EXPECT_EQ(layout.rows[0].text, U"data/intro.frag");
	EXPECT_FALSE(layout.rows[1].header);
	EXPECT_EQ(layout.rows[1].text, U"0:3(1): error: syntax error");
	EXPECT_EQ(layout.rows[2].text, U"0:5(9): warning: unused");
	EXPECT_FALSE(layout.cut);
	EXPECT_EQ(layout.margin, 6);
	EXPECT_EQ(layout.panelHeight, 2 * 6 + 3 * 12);
}

TEST(OverlayLayout, EmptyLinesInsideTheLogStayAndAnEmptyHeaderTakesNoRow)
{
	const OverlayLayout layout = LayOutOverlay(Error("", "a\n\nb"), 640, 480, kAdvance);
	EXPECT_EQ(Texts(layout), (std::vector<std::u32string>{U"a", U"", U"b"}));
	EXPECT_FALSE(layout.rows[0].header);
}

TEST(OverlayLayout, WrapsAtTheLastWholeCellOfTheWidth)
{
	const std::string body(25, 'a');
	OverlayLayout layout = LayOutOverlay(Error("h", body), WidthForColumns(10), 480, kAdvance);
	EXPECT_EQ(layout.columns, 10u);
	EXPECT_EQ(Texts(layout), (std::vector<std::u32string>{U"h", U"aaaaaaaaaa", U"aaaaaaaaaa", U"aaaaa"}));

	layout = LayOutOverlay(Error("h", body), WidthForColumns(10) - 1, 480, kAdvance);
	EXPECT_EQ(layout.columns, 9u);
	EXPECT_EQ(layout.rows.size(), 4u);
	EXPECT_EQ(layout.rows[3].text, U"aaaaaaa");

	// A line that fills its row exactly is followed by no empty row.
	layout = LayOutOverlay(Error("h", std::string(10, 'b') + "\nc"), WidthForColumns(10), 480, kAdvance);
	EXPECT_EQ(Texts(layout), (std::vector<std::u32string>{U"h", U"bbbbbbbbbb", U"c"}));
}

TEST(OverlayLayout, RowsThatDoNotFitEndInAnEllipsis)
{
	// 120 pixels high: 12-pixel rows in at most 60 pixels with 6-pixel
	// margins leave room for 4 rows.
	OverlayLayout layout = LayOutOverlay(Error("data/intro.frag", Lines(10)), 640, 120, kAdvance);
	EXPECT_EQ(layout.maxRows, 4u);
	EXPECT_TRUE(layout.cut);
	EXPECT_EQ(Texts(layout), (std::vector<std::u32string>{U"data/intro.frag", U"line 0", U"line 1", U"…"}));
	EXPECT_FALSE(layout.rows[3].header);
	EXPECT_EQ(layout.panelHeight, 60);

	layout = LayOutOverlay(Error("data/intro.frag", Lines(3)), 640, 120, kAdvance);
	EXPECT_FALSE(layout.cut);
	EXPECT_EQ(layout.rows.back().text, U"line 2");

	for(int height : {100, 480, 481, 719, 1080, 1440})
	{
		layout = LayOutOverlay(Error("h", Lines(200)), 640, height, kAdvance);
		EXPECT_TRUE(layout.cut);
		EXPECT_LE(layout.panelHeight, height / 2) << height;
		EXPECT_GT(layout.panelHeight + layout.lineHeight, height / 2) << height;
	}
}

TEST(OverlayLayout, ATinyWindowStillShowsTheHeaderAndTheEllipsis)
{
	const OverlayLayout layout = LayOutOverlay(Error("h", "a\nb"), 2, 30, kAdvance);
	EXPECT_EQ(layout.columns, 1u);
	EXPECT_EQ(Texts(layout), (std::vector<std::u32string>{U"h", U"…"}));
}

TEST(OverlayLayout, AResizeLaysTheTextOutAgain)
{
	const std::string body = std::string(80, 'x') + "\n" + Lines(30);
	const OverlayLayout small = LayOutOverlay(Error("data/intro.frag", body), 640, 480, kAdvance);
	const OverlayLayout large = LayOutOverlay(Error("data/intro.frag", body), 1280, 1200, kAdvance);
	EXPECT_EQ(small.lineHeight, 12);
	EXPECT_EQ(large.lineHeight, 30);
	EXPECT_EQ(small.columns, 104u);
	EXPECT_EQ(large.columns, 83u);
	EXPECT_EQ(small.maxRows, 19u);
	EXPECT_EQ(large.maxRows, 19u);
	// 80 cells fit either width; the narrower window with bigger rows wraps.
	const OverlayLayout narrow = LayOutOverlay(Error("data/intro.frag", body), 640, 1200, kAdvance);
	EXPECT_EQ(narrow.columns, 40u);
	EXPECT_EQ(narrow.rows[1].text, std::u32string(40, U'x'));
	EXPECT_EQ(narrow.rows[2].text, std::u32string(40, U'x'));
	EXPECT_EQ(narrow.rows[3].text, U"line 0");
	EXPECT_EQ(small.rows[1].text, std::u32string(80, U'x'));
	EXPECT_EQ(small.panelHeight, 2 * 6 + 19 * 12);
	EXPECT_EQ(large.panelHeight, 2 * 15 + 19 * 30);
}

TEST(OverlayLayout, TabsMoveToTheNextStopOfFourColumns)
{
	const OverlayLayout layout =
	    LayOutOverlay(Error("", "a\tb\n\tx\nabcdefghi\tz\nabcdefghij\tz"), WidthForColumns(10), 480, kAdvance);
	EXPECT_EQ(Texts(layout), (std::vector<std::u32string>{U"a   b", U"    x", U"abcdefghi ", U"z", U"abcdefghij",
	                                                       U"    z"}));
}

TEST(OverlayLayout, CharactersWithoutAGlyphDrawAsQuestionMarks)
{
	EXPECT_EQ(OverlayDrawableText("caf\xc3\xa9 \xe2\x80\xa6 \xe2\x82\xac \xf0\x9f\x98\x80"), U"caf? … ? ?");
	// Malformed UTF-8: a stray continuation byte, a cut sequence, an overlong
	// slash, a surrogate; each byte is one '?'. Control characters become
	// '?', carriage returns go.
	EXPECT_EQ(OverlayDrawableText("a\x80" "b\xe2\x80"), U"a?b??");
	EXPECT_EQ(OverlayDrawableText("\xc0\xaf\xed\xa0\x80"), U"?????");
	EXPECT_EQ(OverlayDrawableText("x\x01y\x7f\r\n\t"), U"x?y?\n\t");
	const OverlayLayout layout = LayOutOverlay(Error("fr\xc3\xa9quence", "\xe2\x80\xa6"), 640, 480, kAdvance);
	EXPECT_EQ(Texts(layout), (std::vector<std::u32string>{U"fr?quence", U"…"}));

	EXPECT_EQ(OverlayGlyphIndex(U' '), 0);
	EXPECT_EQ(OverlayGlyphIndex(U'~'), 94);
	EXPECT_EQ(OverlayGlyphIndex(kOverlayEllipsis), 95);
	EXPECT_EQ(OverlayGlyphIndex(U'\u00e9'), OverlayGlyphIndex(U'?'));
	EXPECT_EQ(OverlayGlyphIndex(U'\n'), OverlayGlyphIndex(U'?'));
}

TEST(OverlayLayout, AnErrorAndAWarningAreLaidOutInTheOrderGiven)
{
	std::vector<OverlayMessage> messages = Error("data/intro.frag", "0:1(1): error: x");
	OverlayMessage warning;
	warning.kind = OverlayKind::Warning;
	warning.header = "data/intro.frag (warning)";
	warning.body = "uniform width: float expected";
	messages.push_back(warning);
	const OverlayLayout layout = LayOutOverlay(messages, 640, 480, kAdvance);
	ASSERT_EQ(layout.rows.size(), 4u);
	EXPECT_EQ(layout.rows[0].kind, OverlayKind::Error);
	EXPECT_TRUE(layout.rows[0].header);
	EXPECT_EQ(layout.rows[1].kind, OverlayKind::Error);
	EXPECT_EQ(layout.rows[2].kind, OverlayKind::Warning);
	EXPECT_TRUE(layout.rows[2].header);
	EXPECT_EQ(layout.rows[3].kind, OverlayKind::Warning);
	EXPECT_EQ(layout.rows[3].text, U"uniform width: float expected");
}

TEST(OverlayLayout, AWindowWithoutAreaHasNoRows)
{
	EXPECT_TRUE(LayOutOverlay(Error("h", "b"), 0, 480, kAdvance).rows.empty());
	EXPECT_EQ(LayOutOverlay(Error("h", "b"), 640, 0, kAdvance).panelHeight, 0);
	EXPECT_TRUE(LayOutOverlay({}, 640, 480, kAdvance).rows.empty());
}

TEST(Overlay, AMissingFontIsReportedAndLeavesTheOverlayOff)
{
	std::string error;
	EXPECT_FALSE(OverlayInit("/nonexistent/overlay-font.ttf", &error));
	EXPECT_EQ(error, "Could not read the overlay font /nonexistent/overlay-font.ttf: No such file or directory");
	OverlayResize(640, 480);
	OverlayShow(OverlayKind::Error, "data/intro.frag", "0:1(1): error: x");
	EXPECT_FALSE(OverlayVisible());
	EXPECT_EQ(OverlayPanelHeight(), 0);
	OverlayDraw();
	OverlayHide(OverlayKind::Error);
	OverlayHideAll();
}

TEST(Overlay, AFileThatIsNoFontIsReported)
{
	char path[] = "/tmp/overlay-font-XXXXXX";
	const int descriptor = mkstemp(path);
	ASSERT_GE(descriptor, 0);
	close(descriptor);
	std::ofstream(path) << "not a font, but long enough to have an offset table";
	std::string error;
	EXPECT_FALSE(OverlayInit(path, &error));
	EXPECT_EQ(error, std::string("Could not use the overlay font ") + path +
	                     ": not a TrueType font with Latin letters");
	OverlayShow(OverlayKind::Warning, "data/intro.frag", "w");
	EXPECT_FALSE(OverlayVisible());
	unlink(path);
}
