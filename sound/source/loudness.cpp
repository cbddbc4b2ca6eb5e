// The loudness of a soundtrack over its whole length: see loudness.h.
#include "sound/loudness.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "sound/spectrum.h"

namespace
{
	// Frames read at a time.
	constexpr int64_t kBlockFrames = 4096;

	// The level of a column from its mean square: 10 log10(meanSquare) dB,
	// mapped from [kLoudnessFloorDecibels, 0] onto [0, 1]. Mean squares at or
	// below the floor skip the logarithm, which keeps silence off -inf.
	float Level(double meanSquare)
	{
		const double floorPower = std::pow(10.0, kLoudnessFloorDecibels / 10.0);
		if(!(meanSquare > floorPower))
			return 0.0f;
		const double decibels = 10.0 * std::log10(meanSquare);
		return static_cast<float>(std::min(1.0, 1.0 - decibels / kLoudnessFloorDecibels));
	}
}

LoudnessOpening ComputeLoudness(const std::string &path, int columns)
{
	LoudnessOpening opening;
	if(columns < 1)
		return opening;
	opening.levels.assign(static_cast<size_t>(columns), 0.0f);
	// Opened as the music and the spectrum open it: a FIFO or a device is
	// refused rather than waited on.
	SoundFile sound = OpenSoundFile(path);
	if(sound.error)
	{
		opening.error = Error{"Could not read the soundtrack " + path + ": " + sound.error.message};
		return opening;
	}
	const SF_INFO &info = sound.info;
	SNDFILE *file = sound.reader.get();
	const int64_t frames = info.frames;
	const int channels = info.channels;
	opening.seconds = info.samplerate > 0 ? static_cast<double>(frames) / info.samplerate : 0.0;

	std::vector<float> block(static_cast<size_t>(kBlockFrames) * static_cast<size_t>(channels));
	// Where column c's span ends.
	const auto columnEnd = [frames, columns](int c) { return frames * (c + 1) / columns; };
	int column = 0;
	// The column's frames [start, end), and the sum of their squares so far.
	int64_t start = 0;
	int64_t end = columnEnd(0);
	double sum = 0.0;
	int64_t frame = 0;
	while(frame < frames)
	{
		const sf_count_t delivered =
		    sf_readf_float(file, block.data(), std::min<int64_t>(kBlockFrames, frames - frame));
		if(delivered <= 0)
			break;
		const float *sample = block.data();
		for(sf_count_t f = 0; f < delivered; ++f, ++frame, sample += channels)
		{
			while(frame >= end)
			{
				if(end > start)
					opening.levels[column] = Level(sum / static_cast<double>(end - start));
				++column;
				start = end;
				end = columnEnd(column);
				sum = 0.0;
			}
			float mono = 0.0f;
			for(int c = 0; c < channels; ++c)
				mono += sample[c];
			mono /= static_cast<float>(channels);
			sum += static_cast<double>(mono) * mono;
		}
	}
	// The last column that received frames; when the reader stopped early,
	// the missing frames count as silence.
	if(frame > start && column < columns)
		opening.levels[column] = Level(sum / static_cast<double>(end - start));
	return opening;
}
