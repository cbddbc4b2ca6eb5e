// The loudness of a soundtrack over its whole length, for drawing: the file
// is split into columns of equal spans of frames, and each column's level is
// the RMS of the mono mix (the mean of the channels) over its span, in dB
// relative to full scale and mapped linearly from [kLoudnessFloorDecibels, 0]
// onto [0, 1], clamped: 0 dB (a full-scale square wave) is 1, a full-scale
// sine (-3 dB) is 0.92, silence and anything at or below the floor is 0.
// Column c spans frames [c F / C, (c + 1) F / C) of F frames in C columns, so
// a column that covers no frame (F < C) is 0.
//
// The file is read once, in blocks of a fixed size, so memory stays bounded
// whatever its length.
#ifndef SOUND_LOUDNESS_H
#define SOUND_LOUDNESS_H

#include <string>
#include <vector>

#include "report/error.h"

// The level that maps to 0: music at ordinary levels (-25 to -10 dB RMS)
// lands between 0.3 and 0.7, and the soundtrack's quiet passages and fades
// stand out from its loud ones.
constexpr float kLoudnessFloorDecibels = -36.0f;

// The result of ComputeLoudness: one level per column, and the file's length.
// When the file cannot be opened or decoded, error is one line "Could not
// read the soundtrack PATH: REASON" with the reader's reason, the levels are
// all 0 and seconds is 0; frames the reader fails to deliver later leave
// their columns at 0 without an error. The caller prints the line.
struct LoudnessOpening
{
	std::vector<float> levels;  // `columns` levels in [0, 1], the file's start first
	double seconds = 0.0;       // the file's length: frames / rate
	Error error;
};

// Computes the loudness of the soundtrack at path in `columns` columns (none
// when columns is below 1).
LoudnessOpening ComputeLoudness(const std::string &path, int columns);

#endif
