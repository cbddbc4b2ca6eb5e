// The soundtrack's loudness over its length, from WAV files the test writes:
// silence, a tone and its mono mix, columns without frames, and files that
// cannot be read (a FIFO among them).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/loudness.h"
#include "test_wav.h"
#include "scratch_folder.h"

namespace
{
	namespace fs = std::filesystem;

	const int kRate = 22050;

	class Loudness : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_FALSE(folder.empty());
		}

		ScratchFolder scratch{"loudness-test"};
		const fs::path &folder = scratch.path;
	};
}

// One second of silence, one of a sine of amplitude 0.5 on both channels,
// and one of the sine on the left channel against its negation on the right,
// whose mono mix is silence: in 30 columns, ten of each.
TEST_F(Loudness, SilenceIsZeroAToneReadsItsRmsAndOppositeChannelsCancel)
{
	const std::vector<int16_t> sine = TestSine(441.0, 0.5, kRate, 1.0);
	std::vector<int16_t> samples(2 * sine.size(), 0);
	for(int16_t s : sine)
		samples.insert(samples.end(), {s, s});
	for(int16_t s : sine)
		samples.insert(samples.end(), {s, static_cast<int16_t>(-s)});
	const std::string path = (folder / "tone.wav").string();
	ASSERT_EQ(WriteTestWav(path, kRate, 2, samples).message, "");

	const LoudnessOpening loudness = ComputeLoudness(path, 30);
	EXPECT_EQ(loudness.error.message, "");
	EXPECT_DOUBLE_EQ(loudness.seconds, 3.0);
	ASSERT_EQ(loudness.levels.size(), 30u);
	// The sine's mean square is 0.125, -9.03 dB: 1 - 9.03 / 36.
	const float tone = 1.0f - 10.0f * std::log10(0.125f) / kLoudnessFloorDecibels;
	for(int c = 0; c < 30; ++c)
		if(c >= 10 && c < 20)
			EXPECT_NEAR(loudness.levels[c], tone, 0.005f) << c;
		else
			EXPECT_EQ(loudness.levels[c], 0.0f) << c;
}

// Columns split the frames as evenly as whole frames allow: 3 frames in 5
// columns leave columns 0 and 2 without a frame.
TEST_F(Loudness, ColumnsWithoutFramesAreZero)
{
	const std::string path = (folder / "short.wav").string();
	ASSERT_EQ(WriteTestWav(path, kRate, 1, {32767, 32767, 32767}).message, "");
	const LoudnessOpening loudness = ComputeLoudness(path, 5);
	ASSERT_EQ(loudness.levels.size(), 5u);
	EXPECT_EQ(loudness.levels[0], 0.0f);
	EXPECT_GT(loudness.levels[1], 0.99f);
	EXPECT_EQ(loudness.levels[2], 0.0f);
	EXPECT_GT(loudness.levels[3], 0.99f);
	EXPECT_GT(loudness.levels[4], 0.99f);
	EXPECT_TRUE(ComputeLoudness(path, 0).levels.empty());
}

TEST_F(Loudness, AFileThatCannotBeReadGivesAFlatEnvelopeAndTheReadersReason)
{
	const std::string missing = (folder / "missing.wav").string();
	const LoudnessOpening loudness = ComputeLoudness(missing, 8);
	EXPECT_EQ(loudness.error.message,
	          "Could not read the soundtrack " + missing + ": System error : No such file or directory.");
	EXPECT_EQ(loudness.levels, std::vector<float>(8, 0.0f));
	EXPECT_EQ(loudness.seconds, 0.0);

	// A FIFO in the soundtrack's place is refused at once, not waited on.
	const std::string fifo = (folder / "fifo.wav").string();
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	EXPECT_EQ(ComputeLoudness(fifo, 8).error.message, "Could not read the soundtrack " + fifo + ": not a regular file");
}
