#pragma once

#include "score.h"

#include <cstdint>
#include <vector>

// Two channels of floating-point audio, full scale around 1.
struct StereoSignal
{
	std::vector<double> left;
	std::vector<double> right;
};

// Number of sample frames in the whole song at SAMPLE_RATE.
long song_frame_count(const Score &score, int sample_rate);

// Plays every note of SCORE through its instrument, mixes the instruments with
// their automation, delay and reverb, and returns the song, exactly
// song_frame_count() frames long.
StereoSignal render_score(const Score &score, int sample_rate);

// Scales SIGNAL so its loudest sample sits at PEAK_DBFS (below 0) and returns
// it as interleaved left/right 16-bit samples.
std::vector<std::int16_t> to_pcm16(const StereoSignal &signal, double peak_dbfs);
