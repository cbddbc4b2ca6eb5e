// The sound the shaders see: see spectrum.h.
#include "sound/spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
	constexpr int kBins = kSpectrumWindow / 2 + 1;
	constexpr float kMinDecibels = -100.0f;
	constexpr float kMaxDecibels = -30.0f;
	constexpr unsigned char kSilentSample = 128;

	// The byte for the power |X|^2 of one bin: its level relative to the
	// window's length, 10 log10(power / 1024^2) dB, mapped from
	// [kMinDecibels, kMaxDecibels] onto [0, 255]. Powers at or below the
	// floor skip the logarithm, which also keeps a zero power off -inf.
	unsigned char LevelByte(float power)
	{
		constexpr float kLength = static_cast<float>(kSpectrumWindow);
		constexpr float kFloorPower = 1e-10f * kLength * kLength;  // -100 dB
		if(!(power > kFloorPower))
			return 0;
		const float decibels = 10.0f * std::log10(power / (kLength * kLength));
		const float scaled = std::floor(255.0f * (decibels - kMinDecibels) / (kMaxDecibels - kMinDecibels));
		return static_cast<unsigned char>(std::min(scaled, 255.0f));
	}

	// The byte for one sample in [-1, 1]: floor(128 (s + 1)), clamped.
	unsigned char SampleByte(float sample)
	{
		const float scaled = std::floor(128.0f * (sample + 1.0f));
		return static_cast<unsigned char>(std::clamp(scaled, 0.0f, 255.0f));
	}
}

void FftPlanRelease::operator()(kiss_fftr_state *plan) const
{
	kiss_fftr_free(plan);
}

SpectrumBytes SilentSpectrum()
{
	SpectrumBytes bytes;
	std::fill(bytes.begin(), bytes.begin() + kSpectrumWidth, static_cast<unsigned char>(0));
	std::fill(bytes.begin() + kSpectrumWidth, bytes.end(), kSilentSample);
	return bytes;
}

SpectrumTransform MakeSpectrumTransform()
{
	SpectrumTransform transform;
	transform.window.resize(kSpectrumWindow);
	const double step = 2.0 * M_PI / kSpectrumWindow;
	for(int n = 0; n < kSpectrumWindow; ++n)
		transform.window[n] = static_cast<float>(0.42 - 0.5 * std::cos(step * n) + 0.08 * std::cos(2.0 * step * n));
	transform.plan.reset(kiss_fftr_alloc(kSpectrumWindow, 0, nullptr, nullptr));
	transform.weighted.resize(kSpectrumWindow);
	transform.bins.resize(kBins);
	return transform;
}

void TransformFrames(SpectrumTransform &transform, const float *mono, SpectrumBytes &out)
{
	for(int n = 0; n < kSpectrumWindow; ++n)
		transform.weighted[n] = mono[n] * transform.window[n];
	kiss_fftr(transform.plan.get(), transform.weighted.data(), transform.bins.data());
	for(int i = 0; i < kSpectrumWidth; ++i)
	{
		const kiss_fft_cpx bin = transform.bins[i];
		out[i] = LevelByte(bin.r * bin.r + bin.i * bin.i);
	}
	const float *last = mono + (kSpectrumWindow - kSpectrumWidth);
	for(int i = 0; i < kSpectrumWidth; ++i)
		out[kSpectrumWidth + i] = SampleByte(last[i]);
}

SoundAnalyserOpening OpenSoundAnalyser(const std::string &path)
{
	SoundAnalyserOpening opening;
	SoundAnalyser &analyser = opening.analyser;
	analyser.file = OpenSoundFile(path);
	if(analyser.file.error)
	{
		opening.error = Error{"Could not read the soundtrack " + path + ": " + analyser.file.error.message};
		return opening;
	}
	const SF_INFO &info = analyser.file.info;
	analyser.rate = info.samplerate;
	analyser.channels = info.channels;
	analyser.frames = info.frames;
	analyser.interleaved.resize(static_cast<size_t>(kSpectrumWindow) * static_cast<size_t>(info.channels));
	analyser.mono.resize(kSpectrumWindow);
	analyser.transform = MakeSpectrumTransform();
	return opening;
}

// The window [end - 1024, end) is clipped to the file's frames [0, frames);
// only that part is read, the rest stays silent. Frames the reader does not
// deliver (a file shorter than its header says) stay silent too.
void AnalyseSound(SoundAnalyser &analyser, double seconds, SpectrumBytes &out)
{
	out = SilentSpectrum();
	if(!analyser.file.reader || !std::isfinite(seconds))
		return;
	const double position = seconds * analyser.rate;
	// Outside these bounds the window holds no frame of the file, and
	// llround could overflow.
	if(!(position > -1.0 && position < static_cast<double>(analyser.frames) + kSpectrumWindow + 1.0))
		return;
	const int64_t end = std::llround(position);
	const int64_t start = end - kSpectrumWindow;
	const int64_t first = std::max<int64_t>(start, 0);
	const int64_t last = std::min<int64_t>(end, analyser.frames);
	if(first >= last)
		return;
	if(sf_seek(analyser.file.reader.get(), first, SEEK_SET) != first)
		return;
	const sf_count_t delivered =
	    std::max<sf_count_t>(sf_readf_float(analyser.file.reader.get(), analyser.interleaved.data(), last - first), 0);

	std::fill(analyser.mono.begin(), analyser.mono.end(), 0.0f);
	const int channels = analyser.channels;
	const float *frame = analyser.interleaved.data();
	float *mono = analyser.mono.data() + (first - start);
	for(sf_count_t f = 0; f < delivered; ++f, frame += channels)
	{
		float sum = 0.0f;
		for(int c = 0; c < channels; ++c)
			sum += frame[c];
		mono[f] = sum / static_cast<float>(channels);
	}
	TransformFrames(analyser.transform, analyser.mono.data(), out);
}
