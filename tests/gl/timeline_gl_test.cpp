// The studio's timeline on the real driver: what it draws into a framebuffer
// of known size over a test-made soundtrack, the GL state it leaves, its
// draws, uploads and reads of GL state, and a timeline without its font or
// soundtrack.
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "frame_probe.h"
#include "framework/texture_units.h"
#include "gl_test_main.h"
#include "overlay/overlay.h"
#include "studio/timeline.h"
#include "studio/timeline_layout.h"
#include "test_wav.h"
#include "scratch_folder.h"

namespace
{
	namespace fs = std::filesystem;

	const int kWidth = 640;
	const int kHeight = 360;
	const int kClear[3] = {64, 96, 128};
	const double kEnd = 10.0;
	const std::vector<GLenum> kUnits = {gl::GL_TEXTURE0, gl::GL_TEXTURE0 + TextureUnit::kTimelineText,
	                                    gl::GL_TEXTURE0 + TextureUnit::kTimelineLoudness};

	class TimelineGl : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_EQ(loadResult, LS_LOAD_FUNCTIONS_ALL);
			EnterFrameState(kWidth, kHeight);
			ASSERT_FALSE(folder.empty());
		}
		void TearDown() override
		{
			TimelineShutdown();
		}

		// The pixel at column x of row y.
		static const std::vector<int> &At(const std::vector<std::vector<int>> &pixels, int x, int y)
		{
			return pixels[static_cast<size_t>(y) * kWidth + x];
		}

		ScratchFolder scratch{"timeline-gl-test"};
		const fs::path &folder = scratch.path;
	};
}

namespace
{
	// Waits until the timeline has taken its loudness in; returns what it
	// had to report.
	std::string WaitForLoudness()
	{
		TimelineMeasure measure = TimelineMeasuring();
		while(measure.measuring)
		{
			std::this_thread::yield();
			measure = TimelineMeasuring();
		}
		return measure.error.message;
	}
}

// A soundtrack of 5 s of silence then 5 s of a sine at half scale, the
// playhead at 7 s and the loop from 1 s to 2 s.
TEST_F(TimelineGl, DrawsTheBandAtTheBottomWithTheEnvelopeLoopAndPlayheadAndLeavesTheFrameState)
{
	std::vector<int16_t> samples(5 * 22050, 0);
	const std::vector<int16_t> sine = TestSine(441.0, 0.5, 22050, 5.0);
	samples.insert(samples.end(), sine.begin(), sine.end());
	const std::string soundtrack = (folder / "soundtrack.wav").string();
	ASSERT_EQ(WriteTestWav(soundtrack, 22050, 1, samples).message, "");
	const TimelineStart start = TimelineInit(soundtrack, kOverlayFontFile);
	ASSERT_TRUE(start.on);
	EXPECT_EQ(start.error.message, "");
	EXPECT_EQ(WaitForLoudness(), "");
	TimelineResize(kWidth, kHeight);

	// A texture of the message's on unit 0, which the timeline leaves alone.
	Target target(kWidth, kHeight, kClear);
	GLuint message = 0;
	gl::GenTextures(1, &message);
	gl::BindTexture(gl::GL_TEXTURE_2D, message);
	const std::vector<GLint> before = ReadFrameState(kUnits);

	TimelineView view;
	view.end = kEnd;
	view.loop = LoopState::Looping;
	view.loopA = 1.0;
	view.loopB = 2.0;
	view.status = "0:07.00 / 0:10.00  frame 420  paused";
	{
		// Three frames of one status upload once; a new status once more.
		CallCounter counter;
		for(double time : {6.0, 6.5, 7.0})
		{
			view.time = time;
			TimelineDraw(view);
		}
		EXPECT_EQ(uploadCalls, 1);
		EXPECT_EQ(drawCalls, 6);
		EXPECT_EQ(stateReads, 0);
		gl::Clear(gl::GL_COLOR_BUFFER_BIT);
		view.status = "0:07.00 / 0:10.00  frame 420  playing";
		TimelineDraw(view);
		EXPECT_EQ(uploadCalls, 2);
		EXPECT_EQ(stateReads, 0);
	}
	EXPECT_EQ(ReadFrameState(kUnits), before);
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
	gl::DeleteTextures(1, &message);

	const std::vector<std::vector<int>> pixels = target.Read();
	const TimelineLayout layout = LayOutTimeline(kWidth, kHeight);
	// Above the band, the clear colour; the band's margins darker.
	for(int y = 0; y < layout.bandTop; ++y)
		for(int x = 0; x < kWidth; ++x)
			ASSERT_EQ(At(pixels, x, y), std::vector<int>(kClear, kClear + 3)) << x << "," << y;
	for(int x = 0; x < kWidth; ++x)
	{
		ASSERT_TRUE(Below(At(pixels, x, layout.bandTop), kClear)) << x;
		ASSERT_TRUE(Below(At(pixels, x, kHeight - 1), kClear)) << x;
	}
	// Light text in the status row.
	const int notLight[3] = {201, 201, 201};
	int light = 0;
	for(int y = layout.textTop; y < layout.textTop + layout.lineHeight; ++y)
		for(int x = 0; x < kWidth; ++x)
			light += !Below(At(pixels, x, y), notLight);
	EXPECT_GT(light, 50);

	// Near the bar's bottom: white at the playhead's column, and around it
	// the envelope, brighter where it has been played; none over silence,
	// and amber within the loop.
	const int y = layout.barBottom - 2;
	const auto column = [&layout](double t) { return TimelineColumnAt(layout, t, kEnd); };
	const int playhead = column(7.0);
	EXPECT_EQ(At(pixels, playhead, y), (std::vector<int>{255, 255, 255}));
	EXPECT_EQ(At(pixels, playhead, layout.barTop), (std::vector<int>{255, 255, 255}));
	const std::vector<int> played = At(pixels, playhead - 3, y);
	const std::vector<int> ahead = At(pixels, playhead + 3, y);
	const std::vector<int> silent = At(pixels, column(3.5), y);
	const std::vector<int> looped = At(pixels, column(1.5), y);
	EXPECT_GT(played[2], ahead[2] + 40);
	EXPECT_GT(ahead[2], silent[2] + 40);
	EXPECT_TRUE(Below(silent, kClear));
	EXPECT_GT(looped[0], silent[0] + 40);
	EXPECT_GT(looped[0], looped[2]);
	// The envelope of a half-scale sine, 0.75 of the bar, ends below its top.
	EXPECT_EQ(At(pixels, column(8.5), layout.barTop + 2), At(pixels, column(3.5), layout.barTop + 2));
}

TEST_F(TimelineGl, WithoutItsFontOrSoundtrackItDrawsTheBandAloneAndSaysWhyOnce)
{
	const std::string soundtrack = (folder / "missing.wav").string();
	const std::string font = (folder / "missing.ttf").string();
	const TimelineStart start = TimelineInit(soundtrack, font);
	ASSERT_TRUE(start.on);
	EXPECT_EQ(start.error.message, "Could not read the timeline font " + font + ": No such file or directory");
	EXPECT_EQ(WaitForLoudness(), "Could not read the soundtrack " + soundtrack +
	                                 ": System error : No such file or directory.");
	const TimelineMeasure again = TimelineMeasuring();
	EXPECT_FALSE(again.measuring);
	EXPECT_EQ(again.error.message, "") << "said once";
	TimelineResize(kWidth, kHeight);

	Target target(kWidth, kHeight, kClear);
	TimelineView view;
	view.time = 7.0;
	view.end = kEnd;
	view.status = "0:07.00 / 0:10.00";
	{
		CallCounter counter;
		TimelineDraw(view);
		EXPECT_EQ(drawCalls, 1);
		EXPECT_EQ(uploadCalls, 1);
	}
	// Dark from the band's top to the bottom but for the playhead.
	const std::vector<std::vector<int>> pixels = target.Read();
	const TimelineLayout layout = LayOutTimeline(kWidth, kHeight);
	const int playhead = TimelineColumnAt(layout, 7.0, kEnd);
	for(int y = layout.bandTop; y < kHeight; ++y)
		for(int x = 0; x < kWidth; ++x)
		{
			const bool onPlayhead = x == playhead && y >= layout.barTop && y < layout.barBottom;
			ASSERT_TRUE(onPlayhead || Below(At(pixels, x, y), kClear)) << x << "," << y;
		}

	// A window with no area: nothing drawn.
	CallCounter counter;
	TimelineResize(0, 0);
	TimelineDraw(view);
	EXPECT_EQ(drawCalls, 0);
	EXPECT_EQ(uploadCalls, 0);
}
