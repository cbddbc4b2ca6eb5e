#include "instruments.h"

#include <array>

namespace
{

	struct InstrumentInfo
	{
		const char *name;
		bool pitched;
	};

	// In the order of the Instrument enumeration.
	constexpr std::array<InstrumentInfo, instrument_count> instrument_table = {{
	    {"kick", false},
	    {"snare", false},
	    {"clap", false},
	    {"hat", false},
	    {"openhat", false},
	    {"crash", false},
	    {"riser", false},
	    {"bass", true},
	    {"pad", true},
	    {"pluck", true},
	    {"lead", true},
	}};

}  // namespace

const char *instrument_name(Instrument instrument)
{
	return instrument_table[static_cast<int>(instrument)].name;
}

std::optional<Instrument> instrument_named(const std::string &name)
{
	for(int index = 0; index < instrument_count; ++index)
	{
		if(name == instrument_table[index].name)
		{
			return static_cast<Instrument>(index);
		}
	}
	return std::nullopt;
}

bool instrument_is_pitched(Instrument instrument)
{
	return instrument_table[static_cast<int>(instrument)].pitched;
}
