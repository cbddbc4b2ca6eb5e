// WAV files that tests write: 16-bit PCM through the sound file library.
#ifndef TESTS_TEST_WAV_H
#define TESTS_TEST_WAV_H

#include <cstdint>
#include <string>
#include <vector>

#include "report/error.h"

// Writes interleaved 16-bit samples of `channels` channels at `rate` frames
// per second as a WAV file at path. Fails with the library's reason.
Error WriteTestWav(const std::string &path, int rate, int channels, const std::vector<int16_t> &samples);

// `seconds` of a sine of `amplitude` (full scale 1) at `frequency` Hz, one
// channel at `rate`.
std::vector<int16_t> TestSine(double frequency, double amplitude, int rate, double seconds);

#endif
