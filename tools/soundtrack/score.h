#pragma once

#include "instruments.h"

#include <array>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

// A named stretch of the song, bars FIRST_BAR to LAST_BAR inclusive.
struct Section
{
	std::string name;
	int first_bar = 0;
	int last_bar = 0;
};

// One note or drum hit, placed in beats from the start of the song.
struct Note
{
	Instrument instrument = Instrument::kick;
	double start_beat = 0;
	double length_beats = 0;
	std::vector<int> pitches;  // MIDI note numbers (A4 = 69); empty for drums
	double strength = 1;       // 0..1
};

// A value that moves in a straight line from FROM to TO between two beats
// and then holds TO until the next ramp of the same lane starts.
struct Ramp
{
	double start_beat = 0;
	double end_beat = 0;
	double from = 1;
	double to = 1;
};

// Everything musical about the song, as read from a score file.
struct Score
{
	double tempo_bpm = 0;
	int beats_per_bar = 0;
	int bar_count = 0;
	std::vector<Section> sections;
	std::vector<Note> notes;  // grouped by instrument, in time order within each
	std::array<std::vector<Ramp>, instrument_count> levels;
	std::array<std::vector<Ramp>, instrument_count> brightness;
	std::vector<Ramp> master_level;
};

// A problem in the score text; line() is the 1-based line it was found on,
// or 0 when it concerns the file as a whole.
class ScoreError : public std::runtime_error
{
public:
	ScoreError(int line, const std::string &message);
	int line() const;

private:
	int line_number;
};

// Reads a score from IN; throws ScoreError for the first line that is wrong.
Score parse_score(std::istream &in);

// Length of one beat in seconds.
double seconds_per_beat(const Score &score);

// The value of the lane made of RAMPS at BEAT, or FALLBACK before its first ramp.
double ramp_value(const std::vector<Ramp> &ramps, double beat, double fallback);
