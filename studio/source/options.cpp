// The studio's command line: see options.h.
#include "studio/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "intro_constants.h"

namespace
{
	// Window sides beyond this are refused before any window is asked for.
	const int kMaxWindowSide = 16384;
	const double kMaxBpm = 1000.0;

	// A decimal number written plainly, as the exporter takes a time: an
	// optional minus, digits with an optional point and more digits, or a
	// point and digits ("30", "30.5", ".5"); no exponent, no hexadecimal,
	// nothing after it.
	bool ParseNumber(const std::string &text, double *value)
	{
		const size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
		const size_t point = text.find('.', start);
		const std::string whole = text.substr(start, point == std::string::npos ? std::string::npos : point - start);
		const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
		const auto digits = [](const std::string &part) {
			return part.find_first_not_of("0123456789") == std::string::npos;
		};
		if(!digits(whole) || !digits(fraction) || (whole.empty() && fraction.empty()))
			return false;
		char *end = nullptr;
		errno = 0;
		*value = std::strtod(text.c_str(), &end);
		return errno == 0 && *end == '\0' && std::isfinite(*value);
	}

	bool ParseSide(const std::string &text, int *side)
	{
		if(text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
			return false;
		*side = std::atoi(text.c_str());
		return *side >= 1 && *side <= kMaxWindowSide;
	}

	// A number as a person writes it: "30", "30.005", "1000".
	std::string NumberText(double number)
	{
		std::ostringstream text;
		text << number;
		return text.str();
	}

	// The readers of the options' values, one for each row of the table: each
	// fails with what is wrong with the value.

	Error ReadSeconds(const std::string &value, double pieceSeconds, double *seconds)
	{
		if(!ParseNumber(value, seconds) || *seconds < 0.0 || *seconds > pieceSeconds)
			return Error{"expected seconds from 0 to " + std::to_string(static_cast<int>(pieceSeconds)) + ", not '" +
			             value + "'"};
		return {};
	}

	Error ReadFrom(const std::string &value, double pieceSeconds, StudioOptions &options)
	{
		return ReadSeconds(value, pieceSeconds, &options.from);
	}

	Error ReadTo(const std::string &value, double pieceSeconds, StudioOptions &options)
	{
		return ReadSeconds(value, pieceSeconds, &options.to);
	}

	Error ReadSize(const std::string &value, double, StudioOptions &options)
	{
		const size_t x = value.find('x');
		if(x == std::string::npos || !ParseSide(value.substr(0, x), &options.width) ||
		   !ParseSide(value.substr(x + 1), &options.height))
			return Error{"expected WxH with each side from 1 to " + std::to_string(kMaxWindowSide) +
			             ", such as 1280x720, not '" + value + "'"};
		return {};
	}

	Error ReadBpm(const std::string &value, double, StudioOptions &options)
	{
		if(!ParseNumber(value, &options.bpm) || options.bpm <= 0.0 || options.bpm > kMaxBpm)
			return Error{"expected beats per minute above 0 and up to " + NumberText(kMaxBpm) + ", not '" + value +
			             "'"};
		return {};
	}

	Error ReadRender(const std::string &value, double, StudioOptions &options)
	{
		if(value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos)
			return Error{"expected the number of an open file descriptor, not '" + value + "'"};
		options.renderFd = std::atoi(value.c_str());
		return {};
	}

	Error ReadPixelFormat(const std::string &value, double, StudioOptions &options)
	{
		if(value != "rgb24" && value != "yuv420p")
			return Error{"expected rgb24 or yuv420p, not '" + value + "'"};
		options.pixelFormat = value == "rgb24" ? PixelFormat::Rgb24 : PixelFormat::Yuv420p;
		return {};
	}

	// The option that selects the render mode; without it, the window mode.
	const char kRenderOption[] = "--render";
}

const std::vector<StudioOptionRow> &StudioOptionRows()
{
	static const std::vector<StudioOptionRow> rows = {
	    {"--from", "SECONDS", ReadFrom, "start there (default 0)", kBothModes},
	    {"--size", "WxH", ReadSize, "the window's size (default 1280x720, smaller on a smaller screen)", kBothModes},
	    {"--bpm", "N", ReadBpm,
	     "the tempo: Page Up and Page Down move by a bar of 4 beats,\nand the status shows bar.beat", kBothModes},
	    {kRenderOption, "FD", ReadRender, "render frames to descriptor FD as raw pixels, top row first, and end",
	     kRenderMode},
	    {"--to", "SECONDS", ReadTo, "with --render, end there (default the piece's end)", kRenderMode},
	    {"--pixel-format", "rgb24|yuv420p", ReadPixelFormat,
	     "with --render, the frames' layout: rgb24 (the default), or\n"
	     "yuv420p, BT.601 limited range, chroma averaged over 2x2 pixels",
	     kRenderMode},
	};
	return rows;
}

namespace
{
	// The window toolkit's own options, which it takes out of the command
	// line when it starts, and whether each takes a value.
	struct ToolkitOption
	{
		const char *name;
		bool value;
	};
	const ToolkitOption kToolkitOptions[] = {
	    {"-display", true}, {"-geometry", true}, {"-direct", false}, {"-indirect", false},
	    {"-iconic", false}, {"-gldebug", false}, {"-sync", false},
	};

	// How many arguments from argv[i] on are a toolkit option: 0 when it is
	// not one.
	int ToolkitArguments(int argc, char **argv, int i)
	{
		for(const ToolkitOption &option : kToolkitOptions)
			if(std::string(argv[i]) == option.name)
				return option.value && i + 1 < argc ? 2 : 1;
		return 0;
	}

	// The index of the row named name, or -1 when there is none.
	int FindRow(const std::string &name)
	{
		const std::vector<StudioOptionRow> &rows = StudioOptionRows();
		for(size_t i = 0; i < rows.size(); ++i)
			if(name == rows[i].name)
				return static_cast<int>(i);
		return -1;
	}

	// A row as the usage text writes it: "--size WxH".
	std::string Synopsis(const StudioOptionRow &row)
	{
		return std::string(row.name) + " " + row.placeholder;
	}

	// A mode as the refusal of an option writes it: "the render mode
	// (--render FD)".
	std::string ModeName(unsigned mode)
	{
		if(mode == kRenderMode)
			return "the render mode (" + Synopsis(StudioOptionRows()[FindRow(kRenderOption)]) + ")";
		return std::string("the window mode (without ") + kRenderOption + ")";
	}
}

StudioOptionsParse ParseStudioOptions(int argc, char **argv, double pieceSeconds)
{
	const std::vector<StudioOptionRow> &rows = StudioOptionRows();
	std::vector<bool> given(rows.size(), false);
	StudioOptionsParse parse;
	for(int i = 1; i < argc; ++i)
	{
		const int toolkit = ToolkitArguments(argc, argv, i);
		if(toolkit > 0)
		{
			i += toolkit - 1;
			continue;
		}
		const std::string argument = argv[i];
		if(argument == "--help" || argument == "-h")
		{
			parse.options.help = true;
			continue;
		}
		const size_t equals = argument.find('=');
		const std::string name = argument.substr(0, equals);
		const int row = FindRow(name);
		if(row < 0)
		{
			parse.error = Error{"unknown option '" + argument + "' (see --help)"};
			return parse;
		}
		std::string value;
		if(equals != std::string::npos)
			value = argument.substr(equals + 1);
		else if(i + 1 < argc)
			value = argv[++i];
		else
		{
			parse.error = Error{name + ": a value must follow"};
			return parse;
		}
		const Error problem = rows[row].read(value, pieceSeconds, parse.options);
		if(problem)
		{
			parse.error = Error{name + ": " + problem.message};
			return parse;
		}
		given[row] = true;
	}
	const unsigned mode = parse.options.renderFd >= 0 ? kRenderMode : kWindowMode;
	for(size_t row = 0; row < rows.size(); ++row)
		if(given[row] && (rows[row].modes & mode) == 0)
		{
			parse.error = Error{std::string(rows[row].name) + ": only " + ModeName(rows[row].modes) + " takes it"};
			return parse;
		}
	if(parse.options.to >= 0.0 && parse.options.to <= parse.options.from)
		parse.error = Error{"--to: the section must end after --from (" + NumberText(parse.options.from) + " s)"};
	else if(parse.options.renderFd >= 0)
	{
		const FrameRange range =
		    RenderRange(parse.options.from, parse.options.to, pieceSeconds, kCaptureFramesPerSecond);
		if(range.first > range.last)
			parse.error = Error{"--to: the section from " + NumberText(parse.options.from) + " to " +
			                    NumberText(parse.options.to) + " s holds no frame (frames are 1/" +
			                    std::to_string(kCaptureFramesPerSecond) + " s apart)"};
	}
	return parse;
}

namespace
{
	// The usage lines are wrapped to at most kUsageWidth characters, under
	// kUsageLead; each option's help starts at kHelpColumn, below its
	// synopsis when that is too long to leave two spaces.
	const char kUsageLead[] = "usage: ";
	const size_t kUsageWidth = 80;
	const size_t kHelpColumn = 18;

	// The usage line of one mode: the program, the option that selects the
	// mode if any, and the others it takes in brackets, after lead and wrapped
	// under it.
	std::string UsageLine(const std::string &lead, const std::string &program, unsigned mode)
	{
		const std::string selector = mode == kRenderMode ? kRenderOption : "";
		std::vector<std::string> words;
		for(const StudioOptionRow &row : StudioOptionRows())
			if(row.name == selector)
				words.insert(words.begin(), Synopsis(row));
			else if((row.modes & mode) != 0)
				words.push_back("[" + Synopsis(row) + "]");
		std::string line = lead + program;
		std::string text;
		for(const std::string &word : words)
		{
			if(line.size() + 1 + word.size() > kUsageWidth)
			{
				text += line + "\n";
				line = std::string(lead.size(), ' ') + word;
			}
			else
				line += " " + word;
		}
		return text + line + "\n";
	}

	// An option's lines: its synopsis, then its help from kHelpColumn.
	std::string OptionLines(const StudioOptionRow &row)
	{
		std::string text = "  " + Synopsis(row);
		if(text.size() + 2 > kHelpColumn)
			text += "\n" + std::string(kHelpColumn, ' ');
		else
			text += std::string(kHelpColumn - text.size(), ' ');
		for(const char *c = row.help; *c != '\0'; ++c)
			text += *c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, *c);
		return text + "\n";
	}
}

std::string StudioUsage(const std::string &program)
{
	const std::string lead = kUsageLead;
	std::string text = UsageLine(lead, program, kWindowMode) +
	                   UsageLine(std::string(lead.size(), ' '), program, kRenderMode) +
	                   "Plays the piece in a window with time control and instant reload.\n";
	for(const StudioOptionRow &row : StudioOptionRows())
		text += OptionLines(row);
	return text + "Keys: Space pause, Left/Right -5/+5 s (with Shift -1/+1 s), Down/Up -60/+60 s,\n"
	              "  , and . a frame back and on, Home the start, l A-B loop, s a still,\n"
	              "  h hide the timeline, f full screen, q or Escape quit.\n";
}

FrameRange RenderRange(double from, double to, double pieceSeconds, int framesPerSecond)
{
	FrameRange range;
	range.first = static_cast<int>(std::lround(from * framesPerSecond));
	const bool toTheEnd = to < 0.0 || to >= pieceSeconds;
	const int end = static_cast<int>(std::lround((toTheEnd ? pieceSeconds : to) * framesPerSecond));
	range.last = toTheEnd ? end : end - 1;
	return range;
}

void FitWindow(int &width, int &height, int screenWidth, int screenHeight)
{
	double scale = 1.0;
	if(screenWidth > 0 && width > screenWidth)
		scale = std::min(scale, static_cast<double>(screenWidth) / width);
	if(screenHeight > 0 && height > screenHeight)
		scale = std::min(scale, static_cast<double>(screenHeight) / height);
	if(scale >= 1.0)
		return;
	width = std::max(1, static_cast<int>(std::floor(width * scale)));
	height = std::max(1, static_cast<int>(std::floor(height * scale)));
}
