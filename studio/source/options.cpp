// The studio's command line: see options.h.
#include "studio/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
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

	std::string SizeError(const std::string &value)
	{
		return "--size: expected WxH with each side from 1 to " + std::to_string(kMaxWindowSide) +
		       ", such as 1280x720, not '" + value + "'";
	}

	// Seconds as a person writes them: "30", "30.005".
	std::string SecondsText(double seconds)
	{
		std::ostringstream text;
		text << seconds;
		return text.str();
	}

	// Checks one option's value; returns the error line or "".
	std::string Apply(const std::string &name, const std::string &value, double pieceSeconds, StudioOptions &options)
	{
		if(name == "--from")
		{
			double seconds = 0.0;
			if(!ParseNumber(value, &seconds) || seconds < 0.0 || seconds > pieceSeconds)
				return "--from: expected seconds from 0 to " + std::to_string(static_cast<int>(pieceSeconds)) +
				       ", not '" + value + "'";
			options.from = seconds;
			return "";
		}
		if(name == "--to")
		{
			double seconds = 0.0;
			if(!ParseNumber(value, &seconds) || seconds < 0.0 || seconds > pieceSeconds)
				return "--to: expected seconds from 0 to " + std::to_string(static_cast<int>(pieceSeconds)) +
				       ", not '" + value + "'";
			options.to = seconds;
			return "";
		}
		if(name == "--render")
		{
			if(value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos)
				return "--render: expected the number of an open file descriptor, not '" + value + "'";
			options.renderFd = std::atoi(value.c_str());
			return "";
		}
		if(name == "--pixel-format")
		{
			if(value != "rgb24" && value != "yuv420p")
				return "--pixel-format: expected rgb24 or yuv420p, not '" + value + "'";
			options.pixelFormat = value == "rgb24" ? PixelFormat::Rgb24 : PixelFormat::Yuv420p;
			options.pixelFormatGiven = true;
			return "";
		}
		if(name == "--size")
		{
			const size_t x = value.find('x');
			if(x == std::string::npos || !ParseSide(value.substr(0, x), &options.width) ||
			   !ParseSide(value.substr(x + 1), &options.height))
				return SizeError(value);
			return "";
		}
		double bpm = 0.0;
		if(!ParseNumber(value, &bpm) || bpm <= 0.0 || bpm > kMaxBpm)
			return "--bpm: expected beats per minute above 0 and up to 1000, not '" + value + "'";
		options.bpm = bpm;
		return "";
	}
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
}

StudioOptionsParse ParseStudioOptions(int argc, char **argv, double pieceSeconds)
{
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
		if(name != "--from" && name != "--to" && name != "--size" && name != "--bpm" && name != "--render" &&
		   name != "--pixel-format")
		{
			parse.error = "unknown option '" + argument + "' (see --help)";
			return parse;
		}
		std::string value;
		if(equals != std::string::npos)
			value = argument.substr(equals + 1);
		else if(i + 1 < argc)
			value = argv[++i];
		else
		{
			parse.error = name + ": a value must follow";
			return parse;
		}
		parse.error = Apply(name, value, pieceSeconds, parse.options);
		if(!parse.error.empty())
			return parse;
	}
	if(parse.options.to >= 0.0 && parse.options.renderFd < 0)
		parse.error = "--to: only the render mode (--render FD) ends early";
	else if(parse.options.pixelFormatGiven && parse.options.renderFd < 0)
		parse.error = "--pixel-format: only the render mode (--render FD) writes frames";
	else if(parse.options.to >= 0.0 && parse.options.to <= parse.options.from)
		parse.error = "--to: the section must end after --from (" + SecondsText(parse.options.from) + " s)";
	else if(parse.options.renderFd >= 0)
	{
		const FrameRange range =
		    RenderRange(parse.options.from, parse.options.to, pieceSeconds, kCaptureFramesPerSecond);
		if(range.first > range.last)
			parse.error = "--to: the section from " + SecondsText(parse.options.from) + " to " +
			              SecondsText(parse.options.to) + " s holds no frame (frames are 1/" +
			              std::to_string(kCaptureFramesPerSecond) + " s apart)";
	}
	return parse;
}

std::string StudioUsage(const std::string &program)
{
	return "usage: " + program +
	       " [--from SECONDS] [--size WxH] [--bpm N]\n"
	       "       " +
	       program +
	       " --render FD [--from SECONDS] [--to SECONDS] [--size WxH]\n"
	       "       [--pixel-format rgb24|yuv420p]\n"
	       "Plays the piece in a window with time control and instant reload.\n"
	       "  --from SECONDS  start there (default 0)\n"
	       "  --size WxH      the window's size (default 1280x720, smaller on a smaller screen)\n"
	       "  --bpm N         the tempo: Page Up and Page Down move by a bar of 4 beats,\n"
	       "                  and the status shows bar.beat\n"
	       "  --render FD     render frames to descriptor FD as raw pixels, top row first, and end\n"
	       "  --to SECONDS    with --render, end there (default the piece's end)\n"
	       "  --pixel-format rgb24|yuv420p\n"
	       "                  with --render, the frames' layout: rgb24 (the default), or\n"
	       "                  yuv420p, BT.601 limited range, chroma averaged over 2x2 pixels\n"
	       "Keys: Space pause, Left/Right -5/+5 s (with Shift -1/+1 s), Down/Up -60/+60 s,\n"
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
