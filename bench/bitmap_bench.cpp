// The BMP encoder against a plain copy of the same bytes, for a 1920 x 1080
// frame: both allocate the file's size with new[] and fill it, one encoding,
// the other copying. Run with random interleaving and repetitions, so that
// both sides see the same machine.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bitmap.h"

namespace
{
	const int kWidth = 1920;
	const int kHeight = 1080;

	std::vector<unsigned char> Frame()
	{
		std::vector<unsigned char> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
		for(size_t i = 0; i < rgb.size(); ++i)
			rgb[i] = static_cast<unsigned char>(i * 7 + i / 4096);
		return rgb;
	}

	void EncodeBottomUp(benchmark::State &state)
	{
		const std::vector<unsigned char> rgb = Frame();
		for(auto _ : state)
		{
			unsigned char *file = nullptr;
			benchmark::DoNotOptimize(bitmap_encode_rgb_bottom_up(rgb.data(), kWidth, kHeight, &file));
			benchmark::DoNotOptimize(file);
			delete[] file;
		}
		state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rgb.size()));
	}

	void EncodeTopDown(benchmark::State &state)
	{
		const std::vector<unsigned char> rgb = Frame();
		for(auto _ : state)
		{
			unsigned char *file = nullptr;
			benchmark::DoNotOptimize(bitmap_encode_rgb(rgb.data(), kWidth, kHeight, &file));
			benchmark::DoNotOptimize(file);
			delete[] file;
		}
		state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rgb.size()));
	}

	void CopyFrame(benchmark::State &state)
	{
		const std::vector<unsigned char> rgb = Frame();
		const size_t fileSize = 54 + rgb.size();
		for(auto _ : state)
		{
			unsigned char *file = new unsigned char[fileSize];
			std::memset(file, 0, 54);
			std::memcpy(file + 54, rgb.data(), rgb.size());
			benchmark::DoNotOptimize(file);
			benchmark::ClobberMemory();
			delete[] file;
		}
		state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rgb.size()));
	}
}

BENCHMARK(EncodeBottomUp)->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeTopDown)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyFrame)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
