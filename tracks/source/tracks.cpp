// Sync tracks: their file, their values and their names; see tracks.h.
#include "tracks/tracks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <system_error>

namespace
{
	struct NamedInterpolation
	{
		const char *name;
		Interpolation interpolation;
	};

	// In the order the studio cycles through them.
	const NamedInterpolation kInterpolations[] = {
	    {"step", Interpolation::Step},
	    {"linear", Interpolation::Linear},
	    {"smooth", Interpolation::Smooth},
	    {"ramp", Interpolation::Ramp},
	};
	const size_t kInterpolationCount = sizeof(kInterpolations) / sizeof(kInterpolations[0]);

	// GLSL 3.30's keywords, then the words it reserves for later use.
	// clang-format off
	const char *const kReservedWords[] = {
		"attribute", "const", "uniform", "varying", "layout", "centroid", "flat", "smooth", "noperspective", "break",
		"continue", "do", "for", "while", "switch", "case", "default", "if", "else", "in", "out", "inout", "float",
		"int", "void", "bool", "true", "false", "invariant", "discard", "return", "mat2", "mat3", "mat4", "mat2x2",
		"mat2x3", "mat2x4", "mat3x2", "mat3x3", "mat3x4", "mat4x2", "mat4x3", "mat4x4", "vec2", "vec3", "vec4", "ivec2",
		"ivec3", "ivec4", "bvec2", "bvec3", "bvec4", "uint", "uvec2", "uvec3", "uvec4", "lowp", "mediump", "highp",
		"precision", "sampler1D", "sampler2D", "sampler3D", "samplerCube", "sampler1DShadow", "sampler2DShadow",
		"samplerCubeShadow", "sampler1DArray", "sampler2DArray", "sampler1DArrayShadow", "sampler2DArrayShadow",
		"isampler1D", "isampler2D", "isampler3D", "isamplerCube", "isampler1DArray", "isampler2DArray", "usampler1D",
		"usampler2D", "usampler3D", "usamplerCube", "usampler1DArray", "usampler2DArray", "sampler2DRect",
		"sampler2DRectShadow", "isampler2DRect", "usampler2DRect", "samplerBuffer", "isamplerBuffer", "usamplerBuffer",
		"sampler2DMS", "isampler2DMS", "usampler2DMS", "sampler2DMSArray", "isampler2DMSArray", "usampler2DMSArray",
		"struct",
		// Reserved for later use.
		"common", "partition", "active", "asm", "class", "union", "enum", "typedef", "template", "this", "packed",
		"goto", "inline", "noinline", "volatile", "public", "static", "extern", "external", "interface", "long",
		"short", "double", "half", "fixed", "unsigned", "superp", "input", "output", "hvec2", "hvec3", "hvec4", "dvec2",
		"dvec3", "dvec4", "fvec2", "fvec3", "fvec4", "sampler3DRect", "filter", "image1D", "image2D", "image3D",
		"imageCube", "iimage1D", "iimage2D", "iimage3D", "iimageCube", "uimage1D", "uimage2D", "uimage3D", "uimageCube",
		"image1DArray", "image2DArray", "iimage1DArray", "iimage2DArray", "uimage1DArray", "uimage2DArray",
		"image1DShadow", "image2DShadow", "image1DArrayShadow", "image2DArrayShadow", "imageBuffer", "iimageBuffer",
		"uimageBuffer", "sizeof", "cast", "namespace", "using", "row_major",
	};
	// clang-format on

	const char *const kBlanks = " \t";
	const char kComment = '#';

	std::string Quoted(const std::string &text)
	{
		return "\"" + text + "\"";
	}

	bool IsDigit(char c)
	{
		return c >= '0' && c <= '9';
	}

	bool IsNameStart(char c)
	{
		return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
	}

	bool AllDigits(const std::string &text)
	{
		return std::all_of(text.begin(), text.end(), IsDigit);
	}

	// "step, linear, smooth or ramp"
	std::string InterpolationChoices()
	{
		std::string choices = kInterpolations[0].name;
		for(size_t index = 1; index < kInterpolationCount; ++index)
			choices += (index + 1 == kInterpolationCount ? " or " : ", ") + std::string(kInterpolations[index].name);
		return choices;
	}

	// How far along the way from a key to the next the value is, for the
	// share f of the time between them.
	double Shape(Interpolation interpolation, double f)
	{
		switch(interpolation)
		{
		case Interpolation::Step: return 0.0;
		case Interpolation::Linear: return f;
		case Interpolation::Smooth: return f * f * (3.0 - 2.0 * f);
		case Interpolation::Ramp: return f * f;
		}
		return 0.0;
	}

	// The value of keys (sorted, at least one) at a whole millisecond,
	// given as a double so that every time has one.
	float ValueAt(const std::vector<TrackKey> &keys, double millisecond)
	{
		if(!(millisecond > static_cast<double>(keys.front().time)))
			return keys.front().value;
		if(millisecond >= static_cast<double>(keys.back().time))
			return keys.back().value;
		// Between the first and the last key's times, so within int64_t.
		const int64_t at = static_cast<int64_t>(millisecond);
		const auto next = std::upper_bound(keys.begin(), keys.end(), at,
		                                   [](int64_t time, const TrackKey &key) { return time < key.time; });
		const TrackKey &key = *(next - 1);
		const double f = static_cast<double>(at - key.time) / static_cast<double>(next->time - key.time);
		const double value = key.value;
		return static_cast<float>(value + (static_cast<double>(next->value) - value) * Shape(key.interpolation, f));
	}

	// Reads a plain decimal number of seconds ("30", "30.017", "30.", ".5")
	// into milliseconds, rounded half up; one past kLastKeyTime stands for
	// any later time. False when field is no such number.
	bool ReadSeconds(const std::string &field, int64_t &milliseconds)
	{
		const size_t point = field.find('.');
		const std::string whole = field.substr(0, point);
		const std::string fraction = point == std::string::npos ? "" : field.substr(point + 1);
		if((whole.empty() && fraction.empty()) || !AllDigits(whole) || !AllDigits(fraction))
			return false;
		int64_t seconds = 0;
		for(char digit : whole)
		{
			seconds = seconds * 10 + (digit - '0');
			if(seconds > kLastKeyTime / 1000)
			{
				milliseconds = kLastKeyTime + 1;
				return true;
			}
		}
		milliseconds = seconds * 1000;
		const int weights[] = {100, 10, 1};
		for(size_t index = 0; index < 3 && index < fraction.size(); ++index)
			milliseconds += weights[index] * (fraction[index] - '0');
		if(fraction.size() > 3 && fraction[3] >= '5')
			++milliseconds;
		return true;
	}

	Error ReadTime(const std::string &field, int64_t &milliseconds)
	{
		if(!ReadSeconds(field, milliseconds))
			return Error{"the time " + Quoted(field) +
			             (field[0] == '-' && ReadSeconds(field.substr(1), milliseconds)
			                  ? " is negative"
			                  : " is not a number of seconds, such as 30.000")};
		if(milliseconds > kLastKeyTime)
			return Error{"the time " + Quoted(field) + " is past " + FormatKeyTime(kLastKeyTime) + " s"};
		return {};
	}

	// Whether field is a decimal number as a value is written: a sign if
	// any, digits with at most one '.' among them, an exponent if any.
	bool IsDecimal(const std::string &field)
	{
		size_t at = field[0] == '+' || field[0] == '-' ? 1 : 0;
		size_t digits = 0;
		for(; at < field.size() && IsDigit(field[at]); ++at)
			++digits;
		if(at < field.size() && field[at] == '.')
			for(++at; at < field.size() && IsDigit(field[at]); ++at)
				++digits;
		if(digits == 0)
			return false;
		if(at < field.size() && (field[at] == 'e' || field[at] == 'E'))
		{
			++at;
			if(at < field.size() && (field[at] == '+' || field[at] == '-'))
				++at;
			if(at == field.size() || !IsDigit(field[at]))
				return false;
			while(at < field.size() && IsDigit(field[at]))
				++at;
		}
		return at == field.size();
	}

	Error ReadValue(const std::string &field, float &value)
	{
		if(!IsDecimal(field))
			return Error{"the value " + Quoted(field) + " is not a number"};
		const char *const end = field.data() + field.size();
		const std::from_chars_result read = std::from_chars(field.data() + (field[0] == '+' ? 1 : 0), end, value);
		if(read.ec != std::errc() || read.ptr != end)
			return Error{"the value " + Quoted(field) + " is outside a float's range"};
		return {};
	}

	Error ReadInterpolation(const std::string &field, Interpolation &interpolation)
	{
		for(const NamedInterpolation &named : kInterpolations)
			if(field == named.name)
			{
				interpolation = named.interpolation;
				return {};
			}
		return Error{"unknown interpolation " + Quoted(field) + " (" + InterpolationChoices() + ")"};
	}

	// The line of each key read so far, by track and time.
	using KeyLines = std::map<std::string, std::map<int64_t, int>>;

	// Reads the key that line's text holds from the byte from on, if it
	// holds one; fails with what is wrong. The names of keyLines are known
	// good.
	Error ReadKeyLine(TrackLine &line, size_t from, const KeyLines &keyLines,
	                  const std::vector<std::string> &suppliedNames)
	{
		const size_t stop = std::min(line.text.find(kComment, from), line.text.size());
		std::vector<std::string> fields;
		size_t at = line.text.find_first_not_of(kBlanks, from);
		const size_t fieldsBegin = at;
		size_t fieldsEnd = at;
		while(at < stop)
		{
			fieldsEnd = std::min(line.text.find_first_of(kBlanks, at), stop);
			fields.push_back(line.text.substr(at, fieldsEnd - at));
			at = line.text.find_first_not_of(kBlanks, fieldsEnd);
		}
		if(fields.empty())
			return {};
		if(fields.size() != 4)
			return Error{"expected NAME TIME VALUE INTERPOLATION"};
		TrackKey key;
		Error error = keyLines.count(fields[0]) > 0 ? Error{} : TrackNameError(fields[0], suppliedNames);
		if(!error)
			error = ReadTime(fields[1], key.time);
		if(!error)
			error = ReadValue(fields[2], key.value);
		if(!error)
			error = ReadInterpolation(fields[3], key.interpolation);
		if(error)
			return error;
		line.holdsKey = true;
		line.name = fields[0];
		line.key = key;
		line.fieldsBegin = fieldsBegin;
		line.fieldsEnd = fieldsEnd;
		return {};
	}

	using NameOrder = bool (*)(const std::string &, const std::string &);
}

const char *InterpolationName(Interpolation interpolation)
{
	for(const NamedInterpolation &named : kInterpolations)
		if(named.interpolation == interpolation)
			return named.name;
	return "";
}

Interpolation NextInterpolation(Interpolation interpolation)
{
	for(size_t index = 0; index < kInterpolationCount; ++index)
		if(kInterpolations[index].interpolation == interpolation)
			return kInterpolations[(index + 1) % kInterpolationCount].interpolation;
	return kInterpolations[0].interpolation;
}

bool TrackKey::operator==(const TrackKey &other) const
{
	return time == other.time && value == other.value && interpolation == other.interpolation;
}

bool Track::operator==(const Track &other) const
{
	return name == other.name && keys == other.keys;
}

int64_t KeyTime(double seconds)
{
	const double milliseconds = std::round(seconds * 1000.0);
	if(!(milliseconds > 0.0))
		return 0;
	if(milliseconds >= static_cast<double>(kLastKeyTime))
		return kLastKeyTime;
	return static_cast<int64_t>(milliseconds);
}

std::string FormatKeyTime(int64_t milliseconds)
{
	const std::string fraction = std::to_string(milliseconds % 1000);
	return std::to_string(milliseconds / 1000) + "." + std::string(3 - fraction.size(), '0') + fraction;
}

float TrackValue(const Track &track, double seconds)
{
	return track.keys.empty() ? kUnkeyedTrackValue : ValueAt(track.keys, std::round(seconds * 1000.0));
}

void EvaluateTracks(const std::vector<Track> &tracks, double seconds, std::vector<float> &values)
{
	const double millisecond = std::round(seconds * 1000.0);
	values.resize(tracks.size());
	for(size_t index = 0; index < tracks.size(); ++index)
		values[index] = tracks[index].keys.empty() ? kUnkeyedTrackValue : ValueAt(tracks[index].keys, millisecond);
}

Error TrackNameError(const std::string &name, const std::vector<std::string> &suppliedNames)
{
	if(name.empty() || !IsNameStart(name[0]) ||
	   !std::all_of(name.begin(), name.end(), [](char c) { return IsNameStart(c) || IsDigit(c); }))
		return Error{Quoted(name) + " is not a GLSL name"};
	if(name.compare(0, 3, "gl_") == 0)
		return Error{Quoted(name) + " is not a GLSL name: gl_ begins the GL's own"};
	if(name.find("__") != std::string::npos)
		return Error{Quoted(name) + " is not a GLSL name: GLSL reserves names with __"};
	for(const char *word : kReservedWords)
		if(name == word)
			return Error{Quoted(name) + " is a word GLSL reserves"};
	if(std::find(suppliedNames.begin(), suppliedNames.end(), name) != suppliedNames.end())
		return Error{Quoted(name) + " is an input the scene supplies"};
	return {};
}

ParsedTracks ParseTracks(const std::string &text, const std::vector<std::string> &suppliedNames)
{
	ParsedTracks parsed;
	parsed.document.lines.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
	KeyLines keyLines;
	size_t start = 0;
	for(int number = 1; start < text.size(); ++number)
	{
		const size_t newline = text.find('\n', start);
		const size_t next = newline == std::string::npos ? text.size() : newline + 1;
		size_t textEnd = newline == std::string::npos ? text.size() : newline;
		if(textEnd > start && text[textEnd - 1] == '\r')
			--textEnd;
		TrackLine line;
		line.text = text.substr(start, textEnd - start);
		line.end = text.substr(textEnd, next - textEnd);
		const size_t from = number == 1 && line.text.compare(0, kByteOrderMarkSize, kByteOrderMark) == 0 ? kByteOrderMarkSize : 0;
		Error error = ReadKeyLine(line, from, keyLines, suppliedNames);
		if(line.holdsKey)
		{
			const auto placed = keyLines[line.name].emplace(line.key.time, number);
			if(!placed.second)
			{
				error = Error{Quoted(line.name) + " has a key at " + FormatKeyTime(line.key.time) +
				              " already, on line " + std::to_string(placed.first->second)};
				line.holdsKey = false;
			}
		}
		if(error)
			parsed.errors.push_back({number, error.message});
		parsed.document.lines.push_back(std::move(line));
		start = next;
	}
	return parsed;
}

std::string FormatTrackError(const std::string &path, const TrackError &error)
{
	return path + ":" + std::to_string(error.line) + ": " + error.what;
}

std::string SerialiseTracks(const TrackDocument &document)
{
	std::string text;
	for(const TrackLine &line : document.lines)
	{
		text += line.text;
		text += line.end;
	}
	return text;
}

std::string FormatKeyValue(float value)
{
	char text[32];
	const std::to_chars_result written = std::to_chars(text, text + sizeof(text), value);
	return std::string(text, written.ptr);
}

std::string FormatKeyFields(const std::string &name, const TrackKey &key)
{
	return name + " " + FormatKeyTime(key.time) + " " + FormatKeyValue(key.value) + " " +
	       InterpolationName(key.interpolation);
}

std::vector<Track> DocumentTracks(const TrackDocument &document)
{
	// Gathered by byte order, which compares faster, then put in name order.
	std::map<std::string, std::vector<TrackKey>> keys;
	for(const TrackLine &line : document.lines)
		if(line.holdsKey)
			keys[line.name].push_back(line.key);
	std::vector<Track> tracks;
	tracks.reserve(keys.size());
	for(auto &track : keys)
	{
		std::sort(track.second.begin(), track.second.end(),
		          [](const TrackKey &first, const TrackKey &second) { return first.time < second.time; });
		tracks.push_back({track.first, std::move(track.second)});
	}
	std::sort(tracks.begin(), tracks.end(),
	          [](const Track &first, const Track &second) { return TrackNameBefore(first.name, second.name); });
	return tracks;
}

bool TrackNameBefore(const std::string &first, const std::string &second)
{
	const auto folded = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : static_cast<unsigned char>(c); };
	const auto foldedBefore = [&folded](char a, char b) { return folded(a) < folded(b); };
	if(std::lexicographical_compare(first.begin(), first.end(), second.begin(), second.end(), foldedBefore))
		return true;
	if(std::lexicographical_compare(second.begin(), second.end(), first.begin(), first.end(), foldedBefore))
		return false;
	return first < second;
}

std::vector<std::string> TrackNames(const TrackDocument &document)
{
	std::set<std::string> names;
	for(const TrackLine &line : document.lines)
		if(line.holdsKey)
			names.insert(line.name);
	std::vector<std::string> sorted(names.begin(), names.end());
	std::sort(sorted.begin(), sorted.end(), TrackNameBefore);
	return sorted;
}

std::vector<std::string> MergeTrackNames(const std::vector<std::string> &trackNames,
                                         const std::vector<std::string> &declaredNames,
                                         const std::vector<std::string> &suppliedNames)
{
	std::set<std::string, NameOrder> names(TrackNameBefore);
	for(const std::vector<std::string> *list : {&trackNames, &declaredNames})
		for(const std::string &name : *list)
			if(!TrackNameError(name, suppliedNames))
				names.insert(name);
	return std::vector<std::string>(names.begin(), names.end());
}
