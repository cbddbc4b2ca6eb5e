// The buffers' rules apart from GL: channel lines, the text a pass compiles
// with the common code, which output of a buffer a pass reads, the ticks a
// frame runs, and where a replay starts.
#include <gtest/gtest.h>

#include <string>

#include "scene/channels.h"
#include "scene/ticks.h"

namespace
{
	ChannelSpec Spec(ChannelSource source, int line)
	{
		ChannelSpec spec;
		spec.source = source;
		spec.line = line;
		return spec;
	}
}

TEST(ChannelLines, GoodLinesAreReadAndBlankedSoThatLineNumbersHold)
{
	const ChannelLines parsed = ParseChannelLines("#version 330\n"
	                                              "  #iChannel0 \"bufferB\"  // the trails\n"
	                                              "#iChannel0::filter \"nearest\"\n"
	                                              "#iChannel1 \"images/noise.png\"\n"
	                                              "#iChannel1::wrap \"clamp\"\n"
	                                              "#iChannel3 \"self\"\n"
	                                              "void main() {}");
	EXPECT_EQ(parsed.error.message, "");
	EXPECT_EQ(parsed.text, "#version 330\n\n\n\n\n\nvoid main() {}");
	ChannelSpec buffer = Spec(ChannelSource::Buffer, 2);
	buffer.buffer = 1;
	buffer.filter = ChannelFilter::Nearest;
	EXPECT_EQ(parsed.channels[0], buffer);
	ChannelSpec image = Spec(ChannelSource::Image, 4);
	image.image = "images/noise.png";
	image.wrap = ChannelWrap::Clamp;
	EXPECT_EQ(parsed.channels[1], image);
	EXPECT_EQ(parsed.channels[2], ChannelSpec());
	EXPECT_EQ(parsed.channels[3], Spec(ChannelSource::Self, 6));
}

TEST(ChannelLines, ABadLineIsNamedByItsNumberAndWhatIsWrong)
{
	const struct
	{
		const char *text;
		const char *error;
	} cases[] = {
	    {"#iChannel4 \"sound\"", "1: there are channels iChannel0 to iChannel3 only"},
	    {"\n#iChannel0 \"bufferE\"", "2: unknown source \"bufferE\" for iChannel0"},
	    {"#iChannel0 sound", "1: the value of iChannel0 must stand in double quotes"},
	    {"#iChannel2::filter \"cubic\"", "1: unknown filter \"cubic\" for iChannel2: nearest, linear or mipmap"},
	    {"#iChannel2::wrap \"mirror\"", "1: unknown wrap \"mirror\" for iChannel2: clamp or repeat"},
	    {"#iChannel1::vflip \"true\"", "1: unknown setting \"vflip\" for iChannel1: filter or wrap"},
	    {"#iChannel1 \"images/../../etc/passwd\"",
	     "1: the image \"images/../../etc/passwd\" of iChannel1 is not under"},
	    {"#iChannel1 \"/etc/passwd\"", "1: the image \"/etc/passwd\" of iChannel1 is not under images/"},
	    {"#  iChannel1 \"self\" junk", "1: only a // comment may follow the value of iChannel1"},
	    {"#iChannel1 \"sound\"\n#iChannel1 \"none\"", "2: iChannel1 is given a source twice"},
	};
	for(const auto &c : cases)
		EXPECT_EQ(ParseChannelLines(c.text).error.message.rfind(c.error, 0), 0u)
		    << c.text << " gave " << ParseChannelLines(c.text).error.message;
}

TEST(ChannelLines, DefaultsAreTodaysChannelsAndShadertoysSettings)
{
	EXPECT_EQ(ResolveChannel(ChannelSpec(), 0).source, ChannelSource::Sound);
	EXPECT_EQ(ResolveChannel(ChannelSpec(), 1).source, ChannelSource::Message);
	EXPECT_EQ(ResolveChannel(ChannelSpec(), 3).source, ChannelSource::None);
	const ChannelSpec buffer = ResolveChannel(Spec(ChannelSource::Buffer, 1), 2);
	EXPECT_EQ(buffer.filter, ChannelFilter::Linear);
	EXPECT_EQ(buffer.wrap, ChannelWrap::Clamp);
	const ChannelSpec image = ResolveChannel(Spec(ChannelSource::Image, 1), 2);
	EXPECT_EQ(image.filter, ChannelFilter::Mipmap);
	EXPECT_EQ(image.wrap, ChannelWrap::Repeat);
}

TEST(PassText, CommonCodeGoesBelowTheMarkerOrTheVersionWithLineDirectives)
{
	const std::string common = "float shared() { return 1.0; }";
	EXPECT_EQ(ComposePassText("#version 330\nvoid main() {}\n", ""), "#version 330\nvoid main() {}\n");
	EXPECT_EQ(ComposePassText("#version 330\nvoid main() {}\n", common),
	          "#version 330\n#line 1 1\nfloat shared() { return 1.0; }\n#line 2 0\nvoid main() {}\n");
	const std::string wrapped =
	    std::string("#version 330\nuniform float iTime;\n") + kTemplateMarker + "\nvoid mainImage() {}";
	EXPECT_EQ(ComposePassText(wrapped, common), std::string("#version 330\nuniform float iTime;\n") + kTemplateMarker +
	                                                "\n#line 1 1\n" + common + "\n#line 4 0\nvoid mainImage() {}");
	EXPECT_EQ(PassHead(wrapped), std::string("#version 330\nuniform float iTime;\n") + kTemplateMarker + "\n");
	EXPECT_EQ(ComposePassText("void main() {}", common), "#line 1 1\n" + common + "\n#line 1 0\nvoid main() {}");
}

TEST(Ticks, APassReadsEarlierBuffersNowAndItselfAndLaterOnesFromTheTickBefore)
{
	EXPECT_EQ(FrameRead(0, 0), BufferFrame::Previous) << "A reading itself";
	EXPECT_EQ(FrameRead(0, 1), BufferFrame::Previous) << "A reading B, which runs after it";
	EXPECT_EQ(FrameRead(1, 0), BufferFrame::Current) << "B reading A";
	EXPECT_EQ(FrameRead(3, 2), BufferFrame::Current);
	for(int buffer = 0; buffer < kBufferCount; ++buffer)
		EXPECT_EQ(FrameRead(kPicturePass, buffer), BufferFrame::Current) << "the picture reads every buffer now";
}

TEST(Ticks, AFrameRunsTheTicksSinceTheLastUpToItsOwn)
{
	EXPECT_EQ(PlanTicks(kStartTick, 0, 0, false), (TickRun{kStartTick, 0, 0})) << "frame 0 after tick 0";
	EXPECT_EQ(PlanTicks(10, 13, 0, false), (TickRun{10, 11, 13})) << "three ticks since the last frame";
	EXPECT_EQ(PlanTicks(13, 13, 0, false), (TickRun{13, 14, 13})) << "a frame shown again runs none";
	EXPECT_EQ(PlanTicks(10, 100, 5, false), (TickRun{10, 11, 15})) << "a replay goes on at the next frame";
	EXPECT_EQ(PlanTicks(10, 100, 5, true), (TickRun{95, 96, 100})) << "a live player skips to keep up";
	EXPECT_EQ(PlanTicks(10, 14, 5, true), (TickRun{10, 11, 14}));
}

TEST(Ticks, AReplayStartsFromTheLatestExactStateAtOrBeforeItsTarget)
{
	const std::vector<int> kept = {3000, 1000, 2000};
	EXPECT_EQ(ChooseReplayStart(1500, true, kept, 1600), (ReplayStart{false, 1500})) << "going on from where it is";
	EXPECT_EQ(ChooseReplayStart(500, true, kept, 2500), (ReplayStart{true, 2000})) << "a later checkpoint";
	EXPECT_EQ(ChooseReplayStart(2500, true, kept, 1200), (ReplayStart{true, 1000})) << "back";
	EXPECT_EQ(ChooseReplayStart(2500, true, kept, 900), (ReplayStart{true, kStartTick})) << "back before them all";
	EXPECT_EQ(ChooseReplayStart(2500, false, kept, 2600), (ReplayStart{true, 2000})) << "skipped ticks are not exact";
	EXPECT_EQ(ChooseReplayStart(kStartTick, true, {}, 5400), (ReplayStart{false, kStartTick}));
	EXPECT_EQ(CheckpointInterval(8101, 7), 1013) << "7 checkpoints, the last at 7091";
	EXPECT_EQ(CheckpointInterval(8101, 0), 0);
	EXPECT_EQ(CheckpointInterval(100, 500), 1);
}
