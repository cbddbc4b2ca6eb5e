// The sound the shaders see, without GL: the spectrum and samples of WAV files
// the tests write, silence outside the music, unreadable files, and a sparse
// soundtrack of more than 2 GB read in bounded memory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "sound/spectrum.h"
#include "scratch_folder.h"
#include "test_wav.h"

namespace
{
	namespace fs = std::filesystem;

	const int kRate = 22050;

	// 16-bit samples: libsndfile reads sample v as v / 32768, so the row-1
	// byte of a mono sample v is exactly 128 + floor(v / 256).
	int16_t Sine(double frequency, double amplitude, int rate, int64_t n)
	{
		return static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * frequency * n / rate)));
	}

	unsigned char SampleByte(int16_t v)
	{
		return static_cast<unsigned char>(128 + static_cast<int>(std::floor(v / 256.0)));
	}

	// Noise from a fixed linear congruential sequence, so every run writes the
	// same file.
	std::vector<int16_t> Noise(size_t count)
	{
		std::vector<int16_t> samples(count);
		uint32_t state = 12345;
		for(int16_t &sample : samples)
		{
			state = state * 1664525u + 1013904223u;
			sample = static_cast<int16_t>((static_cast<int32_t>(state >> 16) - 32768) / 4);
		}
		return samples;
	}

	int ArgMax(const SpectrumBytes &bytes)
	{
		return static_cast<int>(std::max_element(bytes.begin(), bytes.begin() + kSpectrumWidth) - bytes.begin());
	}

	// The process's resident memory in KiB, from /proc/self/status.
	long ResidentKiB()
	{
		std::ifstream status("/proc/self/status");
		std::string line;
		while(std::getline(status, line))
			if(line.rfind("VmRSS:", 0) == 0)
				return std::atol(line.c_str() + 6);
		return -1;
	}

	class Spectrum : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_FALSE(folder.empty());
		}

		// Writes interleaved 16-bit samples as a WAV file; returns its path.
		std::string WriteWav(const std::string &name, int rate, int channels, const std::vector<int16_t> &samples)
		{
			const std::string path = (folder / name).string();
			EXPECT_EQ(WriteTestWav(path, rate, channels, samples).message, "");
			return path;
		}

		SoundAnalyser Open(const std::string &path)
		{
			SoundAnalyserOpening opening = OpenSoundAnalyser(path);
			EXPECT_EQ(opening.error.message, "");
			return std::move(opening.analyser);
		}

		static SpectrumBytes At(SoundAnalyser &analyser, double seconds)
		{
			SpectrumBytes bytes;
			bytes.fill(77);
			AnalyseSound(analyser, seconds, bytes);
			return bytes;
		}

		ScratchFolder scratch{"spectrum-test"};
		const fs::path &folder = scratch.path;
	};
}

TEST(SpectrumSilence, RowZeroIsZeroAndRowOneTheMidpoint)
{
	const SpectrumBytes silence = SilentSpectrum();
	for(int i = 0; i < kSpectrumWidth; ++i)
	{
		EXPECT_EQ(silence[i], 0) << i;
		EXPECT_EQ(silence[kSpectrumWidth + i], 128) << i;
	}
}

// The level is relative to the window's length: a sine of amplitude A on bin
// 64 reads 20 log10(A * 0.42 / 2) dB, which maps onto
// floor(255 (dB + 100) / 70).
TEST(SpectrumTransformLevel, ASineOnABinReadsItsAmplitudeTimesHalfTheWindowMean)
{
	const double amplitude = 0.05;
	std::vector<float> mono(kSpectrumWindow);
	for(int n = 0; n < kSpectrumWindow; ++n)
		mono[n] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * 64.0 * n / kSpectrumWindow));
	SpectrumTransform transform = MakeSpectrumTransform();
	SpectrumBytes bytes;
	TransformFrames(transform, mono.data(), bytes);

	const double decibels = 20.0 * std::log10(amplitude * 0.42 / 2.0);
	EXPECT_EQ(bytes[64], static_cast<int>(std::floor(255.0 * (decibels + 100.0) / 70.0)));
	EXPECT_EQ(ArgMax(bytes), 64);
	// Beyond the window's main lobe the leakage lies under -100 dB.
	for(int i = 0; i < kSpectrumWidth; ++i)
		EXPECT_TRUE(std::abs(i - 64) <= 8 || bytes[i] == 0) << "bin " << i << " reads " << int(bytes[i]);
}

TEST_F(Spectrum, OneSecondOfSilenceThenASineIsSilentBeforeAndPeaksAtItsBinAfter)
{
	std::vector<int16_t> samples(2 * kRate, 0);
	for(int n = kRate; n < 2 * kRate; ++n)
		samples[n] = Sine(1000.0, 0.01, kRate, n - kRate);
	SoundAnalyser analyser = Open(WriteWav("sine.wav", kRate, 1, samples));

	EXPECT_EQ(At(analyser, 59.0 / 60.0), SilentSpectrum());

	const SpectrumBytes bytes = At(analyser, 63.0 / 60.0);
	const int peak = ArgMax(bytes);
	EXPECT_GE(peak, 46);
	EXPECT_LE(peak, 47);
	EXPECT_GT(bytes[peak], 100);
	for(int i = 0; i < kSpectrumWidth; ++i)
		EXPECT_TRUE(std::abs(i - 46) <= 8 || bytes[i] == 0) << "bin " << i << " reads " << int(bytes[i]);
	// Row 1 holds the 512 frames that end at llround(t * rate).
	const int64_t end = std::llround(63.0 / 60.0 * kRate);
	for(int i = 0; i < kSpectrumWidth; ++i)
		ASSERT_EQ(bytes[kSpectrumWidth + i], SampleByte(samples[end - kSpectrumWidth + i])) << i;
}

// The window ends just before frame llround(t * rate): a step at frame k is
// outside the window at t = k / rate and its last frame at t = (k + 1) / rate.
TEST_F(Spectrum, TheWindowEndsBeforeTheFrameAtTheRoundedTime)
{
	const int step = 30000;
	std::vector<int16_t> samples(2 * kRate, 0);
	std::fill(samples.begin() + step, samples.end(), static_cast<int16_t>(16384));
	SoundAnalyser analyser = Open(WriteWav("step.wav", kRate, 1, samples));

	EXPECT_EQ(At(analyser, static_cast<double>(step) / kRate), SilentSpectrum());
	const SpectrumBytes after = At(analyser, static_cast<double>(step + 1) / kRate);
	EXPECT_EQ(after[2 * kSpectrumWidth - 1], 192);
	EXPECT_EQ(after[2 * kSpectrumWidth - 2], 128);
}

TEST_F(Spectrum, OppositeChannelsCancelAndEqualOnesDoNot)
{
	std::vector<int16_t> opposite(2 * kRate);
	std::vector<int16_t> equal(2 * kRate);
	for(int n = 0; n < kRate; ++n)
	{
		const int16_t v = Sine(440.0, 0.5, kRate, n);
		opposite[2 * n] = v;
		opposite[2 * n + 1] = static_cast<int16_t>(-v);
		equal[2 * n] = equal[2 * n + 1] = v;
	}
	SoundAnalyser cancelling = Open(WriteWav("opposite.wav", kRate, 2, opposite));
	SoundAnalyser adding = Open(WriteWav("equal.wav", kRate, 2, equal));
	EXPECT_EQ(At(cancelling, 0.5), SilentSpectrum());
	EXPECT_NE(At(adding, 0.5), SilentSpectrum());
}

// Whatever was analysed before: windows that reach past the file's start or
// end are compared with those of a fresh analyser.
TEST_F(Spectrum, TheSameTimeGivesTheSameBytes)
{
	const int frames = 4 * kRate;
	const std::string path = WriteWav("noise.wav", kRate, 2, Noise(2 * frames));
	SoundAnalyser analyser = Open(path);
	const SpectrumBytes first = At(analyser, 0.75);
	const SpectrumBytes other = At(analyser, 1.25);
	const SpectrumBytes again = At(analyser, 0.75);
	EXPECT_EQ(first, again);
	EXPECT_NE(first, other);
	EXPECT_NE(first, SilentSpectrum());

	const double edges[] = {300.0 / kRate, (frames + 300.0) / kRate};
	for(double seconds : edges)
	{
		SoundAnalyser fresh = Open(path);
		At(analyser, 2.0);
		EXPECT_EQ(At(analyser, seconds), At(fresh, seconds)) << seconds;
	}
}

TEST_F(Spectrum, TimesBeforeTheStartAndAfterTheEndAreSilent)
{
	const int frames = 2 * kRate;
	SoundAnalyser analyser = Open(WriteWav("noise.wav", kRate, 1, Noise(frames)));
	const double end = static_cast<double>(frames) / kRate;
	const double windowSeconds = static_cast<double>(kSpectrumWindow) / kRate;
	const double silent[] = {-0.5,
	                         0.0,
	                         -1e300,
	                         end + windowSeconds + 0.01,
	                         1e300,
	                         std::numeric_limits<double>::infinity(),
	                         -std::numeric_limits<double>::infinity(),
	                         std::numeric_limits<double>::quiet_NaN()};
	for(double seconds : silent)
		EXPECT_EQ(At(analyser, seconds), SilentSpectrum()) << seconds;
	// A window that reaches past either end still holds the frames inside.
	EXPECT_NE(At(analyser, 100.0 / kRate), SilentSpectrum());
	EXPECT_NE(At(analyser, end + 0.01), SilentSpectrum());
}

// At 44100 Hz, one second of silence then a 1 kHz sine: the time counts in
// the file's frames, and bin i lies at i * 44100 / 1024 Hz.
TEST_F(Spectrum, BinsAndTimeFollowTheFilesRate)
{
	const int rate = 44100;
	std::vector<int16_t> samples(2 * rate, 0);
	for(int n = rate; n < 2 * rate; ++n)
		samples[n] = Sine(1000.0, 0.01, rate, n - rate);
	SoundAnalyser analyser = Open(WriteWav("fast.wav", rate, 1, samples));
	EXPECT_EQ(analyser.rate, rate);
	EXPECT_EQ(At(analyser, 0.99), SilentSpectrum());
	EXPECT_EQ(ArgMax(At(analyser, 1.05)), 23);  // 1000 * 1024 / 44100 = 23.2
}

TEST_F(Spectrum, AFileThatCannotBeReadIsNamedWithTheReasonAndGivesSilence)
{
	const std::string garbage = (folder / "garbage.wav").string();
	std::vector<char> bytes(5000);
	for(size_t i = 0; i < bytes.size(); ++i)
		bytes[i] = static_cast<char>(i * 37 + i / 7);
	std::ofstream(garbage, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
	const std::string missing = (folder / "missing.wav").string();

	const struct
	{
		std::string path;
		std::string reason;
	} cases[] = {{garbage, "Format not recognised."}, {missing, "System error : No such file or directory."}};
	for(const auto &c : cases)
	{
		SoundAnalyserOpening opening = OpenSoundAnalyser(c.path);
		EXPECT_EQ(opening.error.message, "Could not read the soundtrack " + c.path + ": " + c.reason);
		for(double seconds : {0.0, 0.5, 1.0})
			EXPECT_EQ(At(opening.analyser, seconds), SilentSpectrum()) << c.path << " " << seconds;
	}
}

// A WAV header for just over 2 GB of mono 16-bit data, the file extended to
// that size without writing it (sparse), and a sine in its last second: the
// analysis reads near the end without the process growing.
TEST_F(Spectrum, ASoundtrackOfMoreThanTwoGigabytesIsReadNearItsEndInBoundedMemory)
{
	const uint32_t dataBytes = (1u << 31) + 4u * kRate * 2u;
	const int64_t frames = dataBytes / 2;
	const std::string path = (folder / "huge.wav").string();
	const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
	ASSERT_GE(fd, 0);

	unsigned char header[44] = {'R', 'I', 'F', 'F', 0,  0, 0,   0,   'W', 'A', 'V', 'E', 'f', 'm', 't',
	                            ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0,   0,   0,   0,   0,   0,
	                            0,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a', 0,   0,   0,   0};
	auto put32 = [&header](int at, uint32_t value) {
		for(int i = 0; i < 4; ++i)
			header[at + i] = static_cast<unsigned char>(value >> (8 * i));
	};
	put32(4, 36u + dataBytes);
	put32(24, kRate);
	put32(28, kRate * 2u);
	put32(40, dataBytes);
	ASSERT_EQ(pwrite(fd, header, sizeof header, 0), static_cast<ssize_t>(sizeof header));
	ASSERT_EQ(ftruncate(fd, static_cast<off_t>(sizeof header) + dataBytes), 0);
	std::vector<int16_t> tail(kRate);
	for(int n = 0; n < kRate; ++n)
		tail[n] = Sine(1000.0, 0.01, kRate, n);
	const off_t tailAt = static_cast<off_t>(sizeof header) + dataBytes - static_cast<off_t>(tail.size() * 2);
	ASSERT_EQ(pwrite(fd, tail.data(), tail.size() * 2, tailAt), static_cast<ssize_t>(tail.size() * 2));
	ASSERT_EQ(close(fd), 0);

	SoundAnalyser analyser = Open(path);
	ASSERT_EQ(analyser.frames, frames);
	const double end = static_cast<double>(frames) / kRate;
	EXPECT_EQ(At(analyser, end - 2.0), SilentSpectrum());
	const int peak = ArgMax(At(analyser, end - 0.5));
	EXPECT_GE(peak, 46);
	EXPECT_LE(peak, 47);
	const long resident = ResidentKiB();
	ASSERT_GT(resident, 0);
	EXPECT_LT(resident, 200 * 1024);
}
