// The studio's command line and the window it asks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "studio/options.h"

namespace
{
	StudioOptionsParse Parse(std::vector<std::string> words)
	{
		words.insert(words.begin(), "studio");
		std::vector<char *> argv;
		for(std::string &word : words)
			argv.push_back(&word[0]);
		return ParseStudioOptions(static_cast<int>(argv.size()), argv.data(), 135.0);
	}
}

TEST(StudioOptions, ReadsEachOptionInBothForms)
{
	const StudioOptionsParse parse = Parse({"--from", "90.5", "--size=640x360", "--bpm", "128"});
	ASSERT_EQ(parse.error.message, "");
	EXPECT_DOUBLE_EQ(parse.options.from, 90.5);
	EXPECT_EQ(parse.options.width, 640);
	EXPECT_EQ(parse.options.height, 360);
	EXPECT_DOUBLE_EQ(parse.options.bpm, 128.0);
	EXPECT_FALSE(parse.options.help);
	const StudioOptionsParse defaults = Parse({});
	EXPECT_EQ(defaults.options.width, 1280);
	EXPECT_EQ(defaults.options.height, 720);
	EXPECT_DOUBLE_EQ(defaults.options.from, 0.0);
	EXPECT_TRUE(Parse({"--help"}).options.help);
}

TEST(StudioOptions, ABadValueIsOneLineNamingTheOption)
{
	const std::vector<std::vector<std::string>> bad = {
	    {"--from", "-1"},  {"--from", "136"},  {"--from", "nan"},   {"--from", "9s"},
	    {"--from"},        {"--size", "0x5"},  {"--size", "-5x10"}, {"--size", "99999x99999"},
	    {"--size", "640"}, {"--size", "640x"}, {"--bpm", "0"},      {"--bpm", "fast"},
	};
	for(const std::vector<std::string> &words : bad)
	{
		const std::string error = Parse(words).error.message;
		EXPECT_EQ(error.rfind(words[0] + ":", 0), 0u) << words[0] << " " << (words.size() > 1 ? words[1] : "");
		EXPECT_EQ(error.find('\n'), std::string::npos);
	}
	EXPECT_EQ(Parse({"--loud"}).error.message, "unknown option '--loud' (see --help)");
}

TEST(StudioOptions, TheUsageShowsEveryOptionInTheModesThatTakeIt)
{
	const std::string usage = StudioUsage("studio");
	const size_t secondLine = usage.find('\n') + 1;
	const size_t list = usage.find("\n  --");
	const std::string windowUsage = usage.substr(0, secondLine);
	const std::string renderUsage = usage.substr(secondLine, list - secondLine);
	for(const StudioOptionRow &row : StudioOptionRows())
	{
		const std::string synopsis = std::string(row.name) + " " + row.placeholder;
		const std::string help = std::string(row.help).substr(0, std::string(row.help).find('\n'));
		const size_t at = usage.find("\n  " + synopsis, list);
		ASSERT_NE(at, std::string::npos) << synopsis;
		EXPECT_NE(usage.find(help, at), std::string::npos) << synopsis;
		EXPECT_EQ(windowUsage.find(synopsis) != std::string::npos, (row.modes & kWindowMode) != 0) << synopsis;
		EXPECT_EQ(renderUsage.find(synopsis) != std::string::npos, (row.modes & kRenderMode) != 0) << synopsis;
	}
}

TEST(StudioOptions, AWindowLargerThanTheScreenShrinksWithItsAspect)
{
	int width = 1280;
	int height = 720;
	FitWindow(width, height, 1920, 1080);
	EXPECT_EQ(width, 1280);
	EXPECT_EQ(height, 720);
	FitWindow(width, height, 640, 480);
	EXPECT_EQ(width, 640);
	EXPECT_EQ(height, 360);
	width = 1000;
	height = 1000;
	FitWindow(width, height, 1600, 500);
	EXPECT_EQ(width, 500);
	EXPECT_EQ(height, 500);
}

TEST(StudioOptions, TheRenderModeTakesADescriptorAndASection)
{
	const StudioOptionsParse parse = Parse({"--render", "3", "--from", "30", "--to=31", "--size", "160x90"});
	ASSERT_EQ(parse.error.message, "");
	EXPECT_EQ(parse.options.renderFd, 3);
	EXPECT_DOUBLE_EQ(parse.options.to, 31.0);
	EXPECT_EQ(parse.options.pixelFormat, PixelFormat::Rgb24);
	EXPECT_EQ(Parse({"--render", "3", "--pixel-format=yuv420p"}).options.pixelFormat, PixelFormat::Yuv420p);
	EXPECT_EQ(Parse({"--render", "3", "--pixel-format", "rgb"}).error.message,
	          "--pixel-format: expected rgb24 or yuv420p, not 'rgb'");
	EXPECT_EQ(Parse({"--pixel-format", "rgb24"}).error.message.rfind("--pixel-format:", 0), 0u)
	    << "a render mode's option";
	EXPECT_EQ(Parse({"--render", "x"}).error.message.rfind("--render:", 0), 0u);
	EXPECT_EQ(Parse({"--to", "31"}).error.message.rfind("--to:", 0), 0u) << "--to belongs to the render mode";
	EXPECT_EQ(Parse({"--render", "3", "--from", "31", "--to", "30"}).error.message.rfind("--to:", 0), 0u);
	EXPECT_EQ(Parse({"--render", "3", "--from", "30", "--to", "30.005"}).error.message,
	          "--to: the section from 30 to 30.005 s holds no frame (frames are 1/60 s apart)");
	EXPECT_EQ(Parse({"--render", "3", "--from", "135"}).error.message, "") << "the last frame alone";
}

TEST(StudioOptions, ATimeIsWrittenAsTheExporterTakesIt)
{
	for(const char *good : {"30", "30.5", ".5", "30."})
		EXPECT_EQ(Parse({"--from", good}).error.message, "") << good;
	for(const char *bad : {"0x10", "1e1", "inf", " 3", "3 ", "", ".", "3.2.1", "+3"})
		EXPECT_EQ(Parse({"--from", bad}).error.message.rfind("--from: expected seconds", 0), 0u) << bad;
}

TEST(StudioOptions, ASectionIsItsFramesAndTheWholePieceIsEveryCapturedFrame)
{
	FrameRange range = RenderRange(30.0, 31.0, 135.0, 60);
	EXPECT_EQ(range.first, 1800);
	EXPECT_EQ(range.last, 1859);
	range = RenderRange(0.0, -1.0, 135.0, 60);
	EXPECT_EQ(range.first, 0);
	EXPECT_EQ(range.last, 8100);
	range = RenderRange(134.99, 135.0, 135.0, 60);
	EXPECT_EQ(range.first, 8099);
	EXPECT_EQ(range.last, 8100);
}
