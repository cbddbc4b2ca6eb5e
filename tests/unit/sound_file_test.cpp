// Sound files as the intro opens them, without GL or a mixer: a FIFO in the
// soundtrack's place and a header without channels, made here.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sound/sound_file.h"
#include "sound/spectrum.h"
#include "scratch_folder.h"

namespace
{
	namespace fs = std::filesystem;

	void Put(std::string &out, uint32_t value, int bytes)
	{
		for(int i = 0; i < bytes; ++i)
			out += static_cast<char>((value >> (8 * i)) & 0xFF);
	}

	// A PCM WAV file's bytes: its header promises promisedBytes of data at
	// rate for channels of 16-bit samples; heldBytes zero bytes follow.
	std::string Wav(int channels, int rate, uint32_t promisedBytes, uint32_t heldBytes)
	{
		std::string body = "WAVEfmt ";
		Put(body, 16, 4);
		Put(body, 1, 2);
		Put(body, static_cast<uint32_t>(channels), 2);
		Put(body, static_cast<uint32_t>(rate), 4);
		Put(body, static_cast<uint32_t>(rate * channels * 2), 4);
		Put(body, static_cast<uint32_t>(channels * 2), 2);
		Put(body, 16, 2);
		body += "data";
		Put(body, promisedBytes, 4);
		body += std::string(heldBytes, '\0');
		std::string file = "RIFF";
		Put(file, static_cast<uint32_t>(body.size()), 4);
		return file + body;
	}

	class SoundFiles : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_FALSE(folder.empty());
		}
		std::string Write(const std::string &name, const std::string &bytes)
		{
			const std::string path = (folder / name).string();
			std::ofstream(path, std::ios::binary) << bytes;
			return path;
		}

		ScratchFolder scratch{"sound-file-test"};
		const fs::path &folder = scratch.path;
	};
}

// The soundtrack swapped for a FIFO during a run: the analysis opened it
// with a blocking open, and the frames stopped for good.
TEST_F(SoundFiles, AFifoInTheSoundtracksPlaceIsRefusedWithoutWaiting)
{
	const std::string path = (folder / "fifo.wav").string();
	ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
	SoundAnalyserOpening opening = OpenSoundAnalyser(path);
	EXPECT_EQ(opening.error.message, "Could not read the soundtrack " + path + ": not a regular file");
	SpectrumBytes bytes;
	AnalyseSound(opening.analyser, 0.5, bytes);
	EXPECT_EQ(bytes, SilentSpectrum());
}

TEST_F(SoundFiles, OnlyARegularFileWithAHeaderTheReaderTakesIsOpened)
{
	SoundFile good = OpenSoundFile(Write("good.wav", Wav(2, 22050, 4000, 4000)));
	EXPECT_EQ(good.error.message, "");
	ASSERT_TRUE(good.reader);
	EXPECT_EQ(good.info.channels, 2);
	EXPECT_EQ(good.info.frames, 1000);

	// The mixer divides by the channel count of a header like this one.
	SoundFile silent = OpenSoundFile(Write("zero.wav", Wav(0, 22050, 4000, 4000)));
	EXPECT_EQ(silent.error.message, "Channel count is zero.");
	EXPECT_FALSE(silent.reader);

	fs::create_directory(folder / "folder.wav");
	EXPECT_EQ(OpenSoundFile((folder / "folder.wav").string()).error.message, "not a regular file");
	EXPECT_EQ(OpenSoundFile((folder / "absent.wav").string()).error.message,
	          "System error : No such file or directory.");
}

// A WAV file whose header promises 4 s at 22050 Hz, stereo 16-bit, and that
// holds half of that; then the same data honestly described, and a header
// that leaves the length open.
TEST_F(SoundFiles, AFileCutShortIsNamedWithBothLengthsAndAnHonestOneIsNot)
{
	const uint32_t second = 22050 * 4;
	const std::string cut = Write("cut.wav", Wav(2, 22050, 4 * second, 2 * second));
	EXPECT_EQ(SoundFileShortfall(cut, InputFile(cut)), cut + " holds 2.0 s of the 4.0 s its header promises");
	const std::string honest = Write("honest.wav", Wav(2, 22050, 2 * second, 2 * second));
	EXPECT_EQ(SoundFileShortfall(honest, InputFile(honest)), "");
	const std::string open = Write("open.wav", Wav(2, 22050, 0xFFFFFFFFu, 2 * second));
	EXPECT_EQ(SoundFileShortfall(open, InputFile(open)), "");
	const std::string garbage = Write("garbage.wav", std::string(100, 'x'));
	EXPECT_EQ(SoundFileShortfall(garbage, InputFile(garbage)), "");
}

TEST_F(SoundFiles, AShortfallOfLessThanATenthOfASecondStillReadsAsTwoLengths)
{
	const uint32_t second = 22050 * 4;
	const std::string cut = Write("cut.wav", Wav(2, 22050, 4 * second, 4 * second - 4 * 100));
	EXPECT_EQ(SoundFileShortfall(cut, InputFile(cut)), cut + " holds 3.995 s of the 4.000 s its header promises");
	InputFile file(cut);
	char first = 0;
	SoundFileShortfall(cut, file);
	ASSERT_EQ(read(file.Descriptor(), &first, 1), 1);
	EXPECT_EQ(first, 'R') << "the header is read without moving the file's offset";
}
