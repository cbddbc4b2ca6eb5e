// Sync tracks: named float values keyed to the music's time, which the
// shaders read as `uniform float NAME`. They are kept in data/tracks.txt, one
// key a line:
//
//     # NAME TIME VALUE INTERPOLATION
//     glow  30.000  1.5  smooth   # a trailing comment
//
// NAME is a GLSL name that is none of the scene's own inputs; TIME is seconds,
// a plain non-negative decimal (30, 30.000, .5); VALUE is a finite float
// (-1.5, 2, 1e-3); INTERPOLATION is step, linear, smooth or ramp and says how
// the value goes from this key to the track's next one. Fields are separated
// by spaces or tabs; '#' begins a comment; blank lines are allowed; lines may
// end in CRLF. Keys may stand in any order and tracks may be interleaved.
//
// Times are kept to the millisecond. A frame's time is a sum of 1/60 s steps
// (frame 1800 is 29.99999999999983 s, not 30), so the value at a time t is
// taken at t rounded to the millisecond, round(t * 1000) / 1000: a key at
// 30.000 holds from frame 1800 on, exactly. Apart from GL.
#ifndef TRACKS_TRACKS_H
#define TRACKS_TRACKS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "report/error.h"

// How the value goes from a key to the next, with f the share of the way
// from the key's time to the next key's (0 to 1).
enum class Interpolation
{
	Step,    // holds the key's value up to the next key
	Linear,  // f
	Smooth,  // f * f * (3 - 2 * f)
	Ramp,    // f * f
};

// The name the file gives an interpolation: "step", "linear", ...
const char *InterpolationName(Interpolation interpolation);

// The interpolation after the given one in the order the studio cycles
// through them: step, linear, smooth, ramp, step.
Interpolation NextInterpolation(Interpolation interpolation);

// The latest time a key may have, in milliseconds (999999.999 s).
constexpr int64_t kLastKeyTime = 999999999;

// The value of a track that has no key at all.
constexpr float kUnkeyedTrackValue = 0.0f;

struct TrackKey
{
	int64_t time = 0;  // milliseconds
	float value = 0.0f;
	Interpolation interpolation = Interpolation::Step;

	bool operator==(const TrackKey &other) const;
};

// One track's keys, sorted by time, no two at one time.
struct Track
{
	std::string name;
	std::vector<TrackKey> keys;

	bool operator==(const Track &other) const;
};

// The millisecond that a time in seconds falls on, round(seconds * 1000):
// the time a key set at that moment gets, and the one the value is taken at.
// Held to 0 .. kLastKeyTime; a NaN gives 0.
int64_t KeyTime(double seconds);

// A key time written as the file has it: seconds with exactly three
// decimals, "30.017".
std::string FormatKeyTime(int64_t milliseconds);

// The value of track at the time seconds, taken at the millisecond
// (KeyTime's rounding, without its limits): the first key's value before the
// first key, the last key's after the last, and between two keys as the
// earlier one's interpolation says. kUnkeyedTrackValue for a track without
// keys. A pure function of its arguments.
float TrackValue(const Track &track, double seconds);

// The values of every track at the time seconds into values, resized to
// tracks.size(), values[i] that of tracks[i]; as TrackValue, with a binary
// search for the keys on either side.
void EvaluateTracks(const std::vector<Track> &tracks, double seconds, std::vector<float> &values);

// The UTF-8 byte-order mark a file may begin with: it stays at the start of
// the file's first line, whatever line that becomes.
constexpr const char *kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = 3;

// One line of a tracks file as read: its text, and the key it holds if any.
struct TrackLine
{
	std::string text;  // as written, without its line end
	std::string end;   // "\n" or "\r\n"; for the last line "" or a lone "\r" too
	bool holdsKey = false;
	// The key, when holdsKey:
	std::string name;
	TrackKey key;
	size_t fieldsBegin = 0;  // where the four fields begin and end in text; what stands
	size_t fieldsEnd = 0;    // around them (blanks, a comment) is kept when the key changes
};

// A tracks file line by line, so that it is written back as it was read,
// comments, blank lines and order kept.
struct TrackDocument
{
	std::vector<TrackLine> lines;
};

// A bad line: its number from 1 and what is wrong with it.
struct TrackError
{
	int line = 0;
	std::string what;
};

struct ParsedTracks
{
	TrackDocument document;          // every line; a bad one holds no key
	std::vector<TrackError> errors;  // every bad line, in order; none when the file is good
};

// Reads a tracks file. suppliedNames are the inputs the scene sets itself
// (iTime, ...), which no track may be named. A bad line: not four fields, a
// name that is not a GLSL name (or begins with gl_, holds __, or is a word
// GLSL reserves) or is supplied, a time or value that is not a number as
// above, an unknown interpolation, and a second key of a track at a time it
// has a key at already (counted after the rounding to the millisecond; the
// error names the later line). A UTF-8 byte-order mark before the first line
// is kept and skipped.
ParsedTracks ParseTracks(const std::string &text, const std::vector<std::string> &suppliedNames);

// Fails when name cannot be a track's name, with what is wrong as ParseTracks
// says it.
Error TrackNameError(const std::string &name, const std::vector<std::string> &suppliedNames);

// "PATH:LINE: what is wrong", the way a bad line is reported.
std::string FormatTrackError(const std::string &path, const TrackError &error);

// The file's text again: every line and its end in order. A document as
// ParseTracks read it gives back the text it was read from, byte for byte.
std::string SerialiseTracks(const TrackDocument &document);

// A key's value as the file has it: the shortest text that reads back as
// the same float ("1.5", "2", "0.001", "1e+20").
std::string FormatKeyValue(float value);

// The four fields of a key's line: "glow 30.000 1.5 smooth".
std::string FormatKeyFields(const std::string &name, const TrackKey &key);

// The tracks the document's keys make, in TrackNameBefore's order, each with
// its keys sorted by time.
std::vector<Track> DocumentTracks(const TrackDocument &document);

// The order in which track names are listed: alphabetical without regard to
// case, then by bytes ("Bloom", "Glow", "glow", "glow2").
bool TrackNameBefore(const std::string &first, const std::string &second);

// The names of the document's tracks, sorted by TrackNameBefore.
std::vector<std::string> TrackNames(const TrackDocument &document);

// The names the studio offers for keys: trackNames together with
// declaredNames (the float uniforms the shaders declare), less those that no
// track may have (TrackNameError with suppliedNames), sorted by
// TrackNameBefore without repeats.
std::vector<std::string> MergeTrackNames(const std::vector<std::string> &trackNames,
                                         const std::vector<std::string> &declaredNames,
                                         const std::vector<std::string> &suppliedNames);

#endif
