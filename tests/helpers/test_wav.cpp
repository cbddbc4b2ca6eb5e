// WAV files that tests write: see test_wav.h.
#include "test_wav.h"

#include <sndfile.h>

#include <cmath>

Error WriteTestWav(const std::string &path, int rate, int channels, const std::vector<int16_t> &samples)
{
	SF_INFO info = {};
	info.samplerate = rate;
	info.channels = channels;
	info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
	SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
	if(!file)
		return Error{sf_strerror(nullptr)};
	const sf_count_t frames = static_cast<sf_count_t>(samples.size() / channels);
	const bool whole = sf_writef_short(file, samples.data(), frames) == frames;
	Error error = whole ? Error{} : Error{sf_strerror(file)};
	if(sf_close(file) != 0 && !error)
		error = Error{"could not close " + path};
	return error;
}

std::vector<int16_t> TestSine(double frequency, double amplitude, int rate, double seconds)
{
	std::vector<int16_t> samples(static_cast<size_t>(std::lround(seconds * rate)));
	for(size_t n = 0; n < samples.size(); ++n)
		samples[n] =
		    static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * frequency * n / rate)));
	return samples;
}
