#pragma once

#include <optional>
#include <string>

// The sound sources the synthesizer can play. `count` is the number of
// instruments, not an instrument.
enum class Instrument
{
	kick,
	snare,
	clap,
	hat,
	open_hat,
	crash,
	riser,
	bass,
	pad,
	pluck,
	lead,
	count
};

constexpr int instrument_count = static_cast<int>(Instrument::count);

// The name the score uses for INSTRUMENT.
const char *instrument_name(Instrument instrument);

// The instrument the score calls NAME, or nothing if no instrument has that name.
std::optional<Instrument> instrument_named(const std::string &name);

// True if the instrument plays notes the score gives as pitches; false for
// drums and effects, which the score triggers with plain hits.
bool instrument_is_pitched(Instrument instrument);
