// The cost per frame of the sound's bytes: the transform alone (window, FFT
// and both rows of bytes from 1024 mono frames), and the whole analysis of a
// time in a 16-bit stereo WAV file at 22050 Hz (seek, read, mix down and
// transform), stepping 1/60 s per call as a capture does. The file, 60 s of
// noise, is written to a temporary folder first.
#include <benchmark/benchmark.h>

#include <sndfile.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "sound/spectrum.h"

namespace
{
	const int kRate = 22050;
	const int kSeconds = 60;

	std::vector<int16_t> Noise(size_t count)
	{
		std::vector<int16_t> samples(count);
		uint32_t state = 1;
		for(int16_t &sample : samples)
		{
			state = state * 1664525u + 1013904223u;
			sample = static_cast<int16_t>((static_cast<int32_t>(state >> 16) - 32768) / 4);
		}
		return samples;
	}

	// A stereo noise file in a fresh temporary folder, removed at exit.
	struct NoiseFile
	{
		std::string folder;
		std::string path;
		NoiseFile()
		{
			char pattern[] = "/tmp/spectrum-bench-XXXXXX";
			if(!mkdtemp(pattern))
				std::abort();
			folder = pattern;
			path = folder + "/noise.wav";
			SF_INFO info = {};
			info.samplerate = kRate;
			info.channels = 2;
			info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
			SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
			if(!file)
				std::abort();
			const std::vector<int16_t> samples = Noise(static_cast<size_t>(kRate) * kSeconds * 2);
			sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
			sf_close(file);
		}
		~NoiseFile()
		{
			unlink(path.c_str());
			rmdir(folder.c_str());
		}
	};

	void Transform(benchmark::State &state)
	{
		const std::vector<int16_t> noise = Noise(kSpectrumWindow);
		std::vector<float> mono(kSpectrumWindow);
		for(int n = 0; n < kSpectrumWindow; ++n)
			mono[n] = noise[n] / 32768.0f;
		SpectrumTransform transform = MakeSpectrumTransform();
		SpectrumBytes bytes;
		for(auto _ : state)
		{
			TransformFrames(transform, mono.data(), bytes);
			benchmark::DoNotOptimize(bytes.data());
			benchmark::ClobberMemory();
		}
	}

	void AnalyseFromFile(benchmark::State &state)
	{
		static const NoiseFile file;
		SoundAnalyserOpening opening = OpenSoundAnalyser(file.path);
		if(opening.error)
		{
			state.SkipWithError(opening.error.message.c_str());
			return;
		}
		SpectrumBytes bytes;
		int frame = 0;
		for(auto _ : state)
		{
			AnalyseSound(opening.analyser, (frame % (kSeconds * 60)) / 60.0, bytes);
			++frame;
			benchmark::DoNotOptimize(bytes.data());
			benchmark::ClobberMemory();
		}
	}
}

BENCHMARK(Transform)->Unit(benchmark::kMicrosecond);
BENCHMARK(AnalyseFromFile)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
