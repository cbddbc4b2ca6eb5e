#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// A WAV file being written. Everything goes to PATH.tmp, which becomes PATH
// only once it is complete, so a failure never leaves a partial file at PATH.
struct WavOutput
{
	std::string path;
	std::string temporary_path;
	std::ofstream stream;
};

// Creates PATH.tmp, so that an unwritable destination fails before any work
// is spent on the contents. Throws std::runtime_error naming PATH.
WavOutput open_wav_output(const std::string &path);

// Writes a canonical 44-byte header and the interleaved 16-bit PCM SAMPLES,
// then renames the file into place. Throws std::runtime_error naming the
// file, after removing the temporary.
void finish_wav_output(WavOutput &output, const std::vector<std::int16_t> &samples, int channels, int sample_rate);

// Gives up on OUTPUT and removes its temporary file.
void abandon_wav_output(WavOutput &output);
