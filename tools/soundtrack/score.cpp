#include "score.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <sstream>

namespace
{

	struct SourceLine
	{
		int number;
		std::vector<std::string> words;
	};

	struct BarRange
	{
		int first;
		int last;
	};

	struct Step
	{
		enum class Kind
		{
			rest,
			hold,
			strike
		};
		Kind kind = Kind::rest;
		std::vector<int> pitches;
		double strength = 1;
	};

	struct Pattern
	{
		std::string name;
		Instrument instrument;
		std::vector<Step> steps;
		int line;
	};

	struct Placement
	{
		int line;
		BarRange bars;
		std::vector<std::string> pattern_names;
	};

	struct RampLine
	{
		int line;
		Ramp ramp;
	};

	// For statements that take any number of words after the first few.
	constexpr std::size_t no_word_limit = std::numeric_limits<std::size_t>::max();

	[[noreturn]] void fail(int line, const std::string &message)
	{
		throw ScoreError(line, message);
	}

	std::string quoted(const std::string &word)
	{
		return "'" + word + "'";
	}

	std::vector<std::string> split_words(const std::string &text)
	{
		std::istringstream stream(text);
		std::vector<std::string> words;
		std::string word;
		while(stream >> word)
		{
			words.push_back(word);
		}
		return words;
	}

	// Where the comment on a line begins: at a '#' that starts a word, so that
	// sharps like C#4 are not taken for comments.
	std::size_t comment_start(const std::string &text)
	{
		for(std::size_t position = 0; position < text.size(); ++position)
		{
			const bool starts_word = position == 0 || std::isspace(static_cast<unsigned char>(text[position - 1]));
			if(text[position] == '#' && starts_word)
			{
				return position;
			}
		}
		return text.size();
	}

	std::vector<SourceLine> read_lines(std::istream &in)
	{
		std::vector<SourceLine> lines;
		std::string text;
		int number = 0;
		while(std::getline(in, text))
		{
			++number;
			text.erase(comment_start(text));
			std::vector<std::string> words = split_words(text);
			if(!words.empty())
			{
				lines.push_back({number, std::move(words)});
			}
		}
		return lines;
	}

	void expect_word_count(const SourceLine &line, std::size_t minimum, std::size_t maximum, const char *usage)
	{
		const std::size_t count = line.words.size();
		if(count < minimum || count > maximum)
		{
			fail(line.number, std::string("expected '") + usage + "'");
		}
	}

	double parse_number(int line, const std::string &word, const char *what)
	{
		const char *begin = word.c_str();
		char *end = nullptr;
		const double value = std::strtod(begin, &end);
		if(end == begin || *end != '\0' || !std::isfinite(value))
		{
			fail(line, std::string(what) + " must be a number, not " + quoted(word));
		}
		return value;
	}

	// A whole number from 0 to 100000, or nothing if WORD is anything else.
	std::optional<int> parse_whole_number(const std::string &word)
	{
		const char *begin = word.c_str();
		char *end = nullptr;
		errno = 0;
		const long value = std::strtol(begin, &end, 10);
		if(end == begin || *end != '\0' || errno == ERANGE || value < 0 || value > 100000 || !std::isdigit(word[0]))
		{
			return std::nullopt;
		}
		return static_cast<int>(value);
	}

	int parse_count(int line, const std::string &word, const std::string &what)
	{
		const std::optional<int> value = parse_whole_number(word);
		if(!value)
		{
			fail(line, what + " must be a whole number, not " + quoted(word));
		}
		return *value;
	}

	// "16-23" or a single bar "16"; checked against the song's length.
	BarRange parse_bar_range(int line, const std::string &word, int bar_count)
	{
		const std::size_t dash = word.find('-');
		const std::optional<int> first = parse_whole_number(word.substr(0, dash));
		const std::optional<int> last = dash == std::string::npos ? first : parse_whole_number(word.substr(dash + 1));
		if(!first || !last)
		{
			fail(line, "expected bars as FIRST-LAST or a single bar, not " + quoted(word));
		}
		if(*first > *last)
		{
			fail(line, "bar range " + quoted(word) + " runs backwards");
		}
		if(*last >= bar_count)
		{
			fail(line, "bar range " + quoted(word) + " goes past the last bar, " + std::to_string(bar_count - 1));
		}
		return {*first, *last};
	}

	// "A4", "C#3", "Bb2" as a MIDI note number; nothing if WORD is not a note name.
	std::optional<int> parse_pitch(const std::string &word)
	{
		static constexpr int semitone_of_letter[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
		if(word.size() < 2 || word[0] < 'A' || word[0] > 'G')
		{
			return std::nullopt;
		}
		int semitone = semitone_of_letter[word[0] - 'A'];
		std::size_t position = 1;
		if(word[position] == '#')
		{
			++semitone;
			++position;
		}
		else if(word[position] == 'b')
		{
			--semitone;
			++position;
		}
		if(position + 1 != word.size() || word[position] < '0' || word[position] > '9')
		{
			return std::nullopt;
		}
		const int octave = word[position] - '0';
		return 12 * (octave + 1) + semitone;
	}

	bool is_step_character(char c)
	{
		return c == '.' || c == '-' || c == 'x' || (c >= '1' && c <= '9');
	}

	// A word like "x..x" or "---" packs one step per character.
	bool is_packed_steps(const std::string &word)
	{
		return word.size() > 1 && std::all_of(word.begin(), word.end(), is_step_character);
	}

	Step parse_step(int line, const std::string &token, Instrument instrument)
	{
		Step step;
		if(token == ".")
		{
			return step;
		}
		if(token == "-")
		{
			step.kind = Step::Kind::hold;
			return step;
		}
		step.kind = Step::Kind::strike;
		if(!instrument_is_pitched(instrument))
		{
			if(token == "x")
			{
				return step;
			}
			if(token.size() == 1 && token[0] >= '1' && token[0] <= '9')
			{
				step.strength = (token[0] - '0') / 9.0;
				return step;
			}
			fail(line, std::string(instrument_name(instrument)) +
			               " takes hits (x or 1-9), holds (-) and rests (.), not " + quoted(token));
		}
		std::size_t start = 0;
		while(start <= token.size())
		{
			const std::size_t plus = std::min(token.find('+', start), token.size());
			const std::string name = token.substr(start, plus - start);
			const std::optional<int> pitch = parse_pitch(name);
			if(!pitch)
			{
				fail(line, quoted(name) + " is not a note name like A2, C#4 or Bb3 (" + instrument_name(instrument) +
				               " plays notes)");
			}
			step.pitches.push_back(*pitch);
			start = plus + 1;
		}
		return step;
	}

	Pattern parse_pattern(const SourceLine &line)
	{
		expect_word_count(line, 4, no_word_limit, "pattern NAME INSTRUMENT STEP...");
		const std::optional<Instrument> instrument = instrument_named(line.words[2]);
		if(!instrument)
		{
			fail(line.number, "unknown instrument " + quoted(line.words[2]));
		}
		Pattern pattern{line.words[1], *instrument, {}, line.number};
		for(std::size_t index = 3; index < line.words.size(); ++index)
		{
			const std::string &word = line.words[index];
			if(is_packed_steps(word))
			{
				for(char c : word)
				{
					pattern.steps.push_back(parse_step(line.number, std::string(1, c), *instrument));
				}
			}
			else
			{
				pattern.steps.push_back(parse_step(line.number, word, *instrument));
			}
		}
		return pattern;
	}

	Section parse_section(const SourceLine &line, int bar_count, const std::vector<Section> &earlier)
	{
		expect_word_count(line, 3, 3, "section NAME FIRST-LAST");
		const BarRange bars = parse_bar_range(line.number, line.words[2], bar_count);
		const int expected_first = earlier.empty() ? 0 : earlier.back().last_bar + 1;
		if(bars.first != expected_first)
		{
			fail(line.number, "section " + quoted(line.words[1]) + " should start at bar " +
			                      std::to_string(expected_first) + " so that sections follow each other without gaps");
		}
		return {line.words[1], bars.first, bars.last};
	}

	// level/bright TARGET BARS VALUE [END_VALUE]
	RampLine parse_ramp(const SourceLine &line, const Score &score, double largest)
	{
		expect_word_count(line, 4, 5, "level|bright INSTRUMENT FIRST-LAST VALUE [END_VALUE]");
		const BarRange bars = parse_bar_range(line.number, line.words[2], score.bar_count);
		Ramp ramp;
		ramp.start_beat = static_cast<double>(bars.first) * score.beats_per_bar;
		ramp.end_beat = static_cast<double>(bars.last + 1) * score.beats_per_bar;
		ramp.from = parse_number(line.number, line.words[3], "a value");
		ramp.to = line.words.size() == 5 ? parse_number(line.number, line.words[4], "a value") : ramp.from;
		for(double value : {ramp.from, ramp.to})
		{
			if(value < 0 || value > largest)
			{
				std::ostringstream message;
				message << line.words[0] << " values run from 0 to " << largest;
				fail(line.number, message.str());
			}
		}
		return {line.number, ramp};
	}

	// Sorts a lane by time and refuses ramps that overlap, pointing at whichever
	// of the two comes later in the file.
	std::vector<Ramp> finish_lane(std::vector<RampLine> lines)
	{
		std::stable_sort(lines.begin(), lines.end(),
		                 [](const RampLine &a, const RampLine &b) { return a.ramp.start_beat < b.ramp.start_beat; });
		std::vector<Ramp> lane;
		for(std::size_t index = 0; index < lines.size(); ++index)
		{
			if(index > 0 && lines[index].ramp.start_beat < lines[index - 1].ramp.end_beat)
			{
				const int later = std::max(lines[index].line, lines[index - 1].line);
				const int earlier = std::min(lines[index].line, lines[index - 1].line);
				fail(later, "this ramp overlaps the one on line " + std::to_string(earlier));
			}
			lane.push_back(lines[index].ramp);
		}
		return lane;
	}

	void read_header(const std::vector<SourceLine> &lines, Score &score)
	{
		for(const SourceLine &line : lines)
		{
			const std::string &keyword = line.words[0];
			if(keyword != "tempo" && keyword != "meter" && keyword != "bars")
			{
				continue;
			}
			expect_word_count(line, 2, 2, (keyword + " VALUE").c_str());
			if(keyword == "tempo")
			{
				if(score.tempo_bpm != 0)
				{
					fail(line.number, "tempo is given twice");
				}
				score.tempo_bpm = parse_number(line.number, line.words[1], "the tempo");
				if(score.tempo_bpm < 20 || score.tempo_bpm > 400)
				{
					fail(line.number, "the tempo must be between 20 and 400 beats per minute");
				}
			}
			else
			{
				int &target = keyword == "meter" ? score.beats_per_bar : score.bar_count;
				if(target != 0)
				{
					fail(line.number, keyword + " is given twice");
				}
				target = parse_count(line.number, line.words[1], keyword);
				if(target == 0 || target > 1000)
				{
					fail(line.number, keyword + " must be between 1 and 1000");
				}
			}
		}
		if(score.tempo_bpm == 0)
		{
			fail(0, "no tempo line");
		}
		if(score.beats_per_bar == 0)
		{
			fail(0, "no meter line");
		}
		if(score.bar_count == 0)
		{
			fail(0, "no bars line");
		}
	}

	// Lays the placed patterns out bar by bar, one pattern per instrument and bar,
	// and turns their steps into notes. A hold continues the note before it, even
	// across a bar line; a rest or a bar without a pattern ends it.
	std::vector<Note> schedule_notes(const Score &score, const std::map<std::string, Pattern> &patterns,
	                                 const std::vector<Placement> &placements)
	{
		struct Slot
		{
			const Pattern *pattern = nullptr;
			int line = 0;
		};
		std::vector<std::array<Slot, instrument_count>> bars(score.bar_count);
		for(const Placement &placement : placements)
		{
			std::vector<const Pattern *> cycle;
			for(const std::string &name : placement.pattern_names)
			{
				const auto found = patterns.find(name);
				if(found == patterns.end())
				{
					fail(placement.line, "unknown pattern " + quoted(name));
				}
				cycle.push_back(&found->second);
			}
			for(int bar = placement.bars.first; bar <= placement.bars.last; ++bar)
			{
				const Pattern *pattern = cycle[static_cast<std::size_t>(bar - placement.bars.first) % cycle.size()];
				Slot &slot = bars[bar][static_cast<int>(pattern->instrument)];
				if(slot.pattern != nullptr)
				{
					fail(placement.line, "bar " + std::to_string(bar) + " already plays " + quoted(slot.pattern->name) +
					                         " on " + instrument_name(pattern->instrument) + " (line " +
					                         std::to_string(slot.line) + ")");
				}
				slot = {pattern, placement.line};
			}
		}

		std::vector<Note> notes;
		for(int instrument = 0; instrument < instrument_count; ++instrument)
		{
			const std::size_t no_note = static_cast<std::size_t>(-1);
			std::size_t sounding = no_note;  // the note a hold extends
			for(int bar = 0; bar < score.bar_count; ++bar)
			{
				const Pattern *pattern = bars[bar][instrument].pattern;
				if(pattern == nullptr)
				{
					sounding = no_note;
					continue;
				}
				const double bar_start = static_cast<double>(bar) * score.beats_per_bar;
				const double step_beats = static_cast<double>(score.beats_per_bar) / pattern->steps.size();
				for(std::size_t index = 0; index < pattern->steps.size(); ++index)
				{
					const Step &step = pattern->steps[index];
					const double start = bar_start + step_beats * index;
					const double end = bar_start + step_beats * (index + 1);
					if(step.kind == Step::Kind::strike)
					{
						notes.push_back({pattern->instrument, start, end - start, step.pitches, step.strength});
						sounding = notes.size() - 1;
					}
					else if(step.kind == Step::Kind::hold && sounding != no_note)
					{
						notes[sounding].length_beats = end - notes[sounding].start_beat;
					}
					else
					{
						sounding = no_note;
					}
				}
			}
		}
		return notes;
	}

}  // namespace

ScoreError::ScoreError(int line, const std::string &message) : std::runtime_error(message), line_number(line)
{
}

int ScoreError::line() const
{
	return line_number;
}

Score parse_score(std::istream &in)
{
	const std::vector<SourceLine> lines = read_lines(in);
	Score score;
	read_header(lines, score);

	std::map<std::string, Pattern> patterns;
	std::vector<Placement> placements;
	std::array<std::vector<RampLine>, instrument_count> level_lines;
	std::array<std::vector<RampLine>, instrument_count> brightness_lines;
	std::vector<RampLine> master_lines;
	int last_section_line = 0;

	for(const SourceLine &line : lines)
	{
		const std::string &keyword = line.words[0];
		if(keyword == "tempo" || keyword == "meter" || keyword == "bars")
		{
			continue;
		}
		if(keyword == "section")
		{
			score.sections.push_back(parse_section(line, score.bar_count, score.sections));
			last_section_line = line.number;
		}
		else if(keyword == "pattern")
		{
			Pattern pattern = parse_pattern(line);
			const auto earlier = patterns.find(pattern.name);
			if(earlier != patterns.end())
			{
				fail(line.number, "pattern " + quoted(pattern.name) + " is already defined on line " +
				                      std::to_string(earlier->second.line));
			}
			patterns.emplace(pattern.name, std::move(pattern));
		}
		else if(keyword == "play")
		{
			expect_word_count(line, 3, no_word_limit, "play FIRST-LAST PATTERN...");
			placements.push_back({line.number, parse_bar_range(line.number, line.words[1], score.bar_count),
			                      std::vector<std::string>(line.words.begin() + 2, line.words.end())});
		}
		else if(keyword == "level" || keyword == "bright")
		{
			const bool is_level = keyword == "level";
			const RampLine ramp = parse_ramp(line, score, is_level ? 4.0 : 1.0);
			const std::string &target = line.words[1];
			if(is_level && target == "master")
			{
				master_lines.push_back(ramp);
				continue;
			}
			const std::optional<Instrument> instrument = instrument_named(target);
			if(!instrument)
			{
				fail(line.number, "unknown instrument " + quoted(target) + (is_level ? " (or master)" : ""));
			}
			(is_level ? level_lines : brightness_lines)[static_cast<int>(*instrument)].push_back(ramp);
		}
		else
		{
			fail(line.number, "unknown keyword " + quoted(keyword));
		}
	}

	if(score.sections.empty())
	{
		fail(0, "no section lines");
	}
	if(score.sections.back().last_bar != score.bar_count - 1)
	{
		fail(last_section_line, "the last section should end at bar " + std::to_string(score.bar_count - 1));
	}
	for(int instrument = 0; instrument < instrument_count; ++instrument)
	{
		score.levels[instrument] = finish_lane(level_lines[instrument]);
		score.brightness[instrument] = finish_lane(brightness_lines[instrument]);
	}
	score.master_level = finish_lane(master_lines);
	score.notes = schedule_notes(score, patterns, placements);
	return score;
}

double seconds_per_beat(const Score &score)
{
	return 60.0 / score.tempo_bpm;
}

double ramp_value(const std::vector<Ramp> &ramps, double beat, double fallback)
{
	double value = fallback;
	for(const Ramp &ramp : ramps)
	{
		if(beat < ramp.start_beat)
		{
			break;
		}
		if(beat < ramp.end_beat)
		{
			return ramp.from + (ramp.to - ramp.from) * (beat - ramp.start_beat) / (ramp.end_beat - ramp.start_beat);
		}
		value = ramp.to;
	}
	return value;
}
