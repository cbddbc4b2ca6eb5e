// The failure overlay on the real driver: what it draws into a framebuffer of
// known size, the GL state it leaves, and its draws, uploads and reads of GL
// state (counted through the loader's function pointers).
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame_probe.h"
#include "framework/texture_units.h"
#include "gl_test_main.h"
#include "overlay/overlay.h"

namespace
{
	const int kWidth = 320;
	const int kHeight = 240;
	// Between the dark panel and the light text in every channel.
	const int kClear[3] = {64, 96, 128};
	const char *const kLog = "0:3(1): error: syntax error\n0:5(2): error: `x' undeclared\n";
	const GLenum kOverlayUnit = gl::GL_TEXTURE0 + TextureUnit::kOverlay;

	class OverlayGl : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_EQ(loadResult, LS_LOAD_FUNCTIONS_ALL);
			EnterFrameState(kWidth, kHeight);
			const Error error = OverlayInit(kOverlayFontFile);
			ASSERT_FALSE(error) << error.message;
			OverlayResize(kWidth, kHeight);
		}
		void TearDown() override
		{
			OverlayShutdown();
		}
	};
}

TEST_F(OverlayGl, DrawsLightTextOnADarkPanelAtTheTopAndNothingBelow)
{
	Target target(kWidth, kHeight, kClear);
	OverlayShow(OverlayKind::Error, "data/intro.frag", kLog);
	// Three 12-pixel rows with 6-pixel margins.
	ASSERT_EQ(OverlayPanelHeight(), 48);
	OverlayDraw();
	const std::vector<std::vector<int>> pixels = target.Read();
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);

	// Dark wherever no text is (the top margin is), red in the header's row,
	// light in the log's rows; the clear colour from the panel down.
	const int red[3] = {256, 160, 160};
	const int notLight[3] = {201, 201, 201};
	int darker = 0, redInHeader = 0, lightInFirst = 0, lightInSecond = 0;
	for(int y = 0; y < kHeight; ++y)
		for(int x = 0; x < kWidth; ++x)
		{
			const std::vector<int> &p = pixels[static_cast<size_t>(y) * kWidth + x];
			if(y >= 48)
			{
				ASSERT_EQ(p, std::vector<int>(kClear, kClear + 3)) << x << "," << y;
				continue;
			}
			darker += Below(p, kClear);
			ASSERT_TRUE(y >= 6 || Below(p, kClear)) << x << "," << y;
			redInHeader += y < 18 && p[0] > 200 && Below(p, red);
			lightInFirst += y >= 18 && y < 30 && !Below(p, notLight);
			lightInSecond += y >= 30 && y < 42 && !Below(p, notLight);
		}
	EXPECT_GT(darker, kWidth * 48 * 3 / 4);
	EXPECT_GT(redInHeader, 20);
	EXPECT_GT(lightInFirst, 20);
	EXPECT_GT(lightInSecond, 20);

	// Hidden, it draws nothing.
	gl::Clear(gl::GL_COLOR_BUFFER_BIT);
	OverlayHide(OverlayKind::Error);
	OverlayDraw();
	for(const std::vector<int> &p : target.Read())
		ASSERT_EQ(p, std::vector<int>(kClear, kClear + 3));
}

TEST_F(OverlayGl, LeavesTheFrameStateAsItFindsItWithoutReadingState)
{
	// A texture of the message's on unit 0, which the overlay leaves alone;
	// its atlas has been on its own unit since OverlayInit.
	Target target(kWidth, kHeight, kClear);
	GLuint message = 0;
	gl::GenTextures(1, &message);
	gl::BindTexture(gl::GL_TEXTURE_2D, message);
	const std::vector<GLint> before = ReadFrameState({gl::GL_TEXTURE0, kOverlayUnit});
	EXPECT_NE(before.back(), 0);

	{
		CallCounter counter;
		OverlayShow(OverlayKind::Warning, "data/intro.frag", "uniform `width' is an int");
		OverlayResize(2 * kWidth, 2 * kHeight);
		OverlayResize(kWidth, kHeight);
		OverlayDraw();
		OverlayHide(OverlayKind::Warning);
		OverlayShow(OverlayKind::Error, "data/intro.frag", kLog);
		OverlayDraw();
		EXPECT_EQ(drawCalls, 2);
		EXPECT_EQ(stateReads, 0);
	}
	EXPECT_EQ(ReadFrameState({gl::GL_TEXTURE0, kOverlayUnit}), before);
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
	gl::DeleteTextures(1, &message);
}

TEST_F(OverlayGl, UploadsOncePerNewTextOrSizeDrawsOncePerFrameAndNeverWhenHidden)
{
	CallCounter counter;
	OverlayShow(OverlayKind::Error, "data/intro.frag", kLog);
	for(int frame = 0; frame < 3; ++frame)
		OverlayDraw();
	OverlayShow(OverlayKind::Error, "data/intro.frag", kLog);
	OverlayResize(kWidth, kHeight);
	EXPECT_EQ(uploadCalls, 1);
	EXPECT_EQ(drawCalls, 3);

	// A larger window: 24-pixel rows.
	OverlayResize(2 * kWidth, 4 * kHeight);
	EXPECT_EQ(uploadCalls, 2);
	EXPECT_EQ(OverlayPanelHeight(), 24 + 3 * 24);
	OverlayShow(OverlayKind::Warning, "data/intro.frag", "uniform `width' is an int");
	EXPECT_EQ(uploadCalls, 3);
	EXPECT_EQ(OverlayPanelHeight(), 24 + 5 * 24);
	OverlayHide(OverlayKind::Error);
	EXPECT_EQ(uploadCalls, 4);
	EXPECT_EQ(OverlayPanelHeight(), 24 + 2 * 24);
	OverlayHide(OverlayKind::Error);
	OverlayHide(OverlayKind::Warning);
	EXPECT_FALSE(OverlayVisible());
	EXPECT_EQ(OverlayPanelHeight(), 0);
	OverlayDraw();
	EXPECT_EQ(uploadCalls, 4);
	EXPECT_EQ(drawCalls, 3);
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
}
