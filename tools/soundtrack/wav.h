#pragma once

#include <cstdint>
#include <vector>

// The whole WAV file for the interleaved 16-bit PCM SAMPLES: a canonical
// 44-byte header, then the samples, little-endian whatever the machine.
std::vector<unsigned char> wav_bytes(const std::vector<std::int16_t> &samples, int channels, int sample_rate);
