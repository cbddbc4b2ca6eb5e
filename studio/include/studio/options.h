// The studio's command line, apart from the window: `studio [--from SECONDS]
// [--size WxH] [--bpm N]` after the window toolkit's own options, each also
// written as --name=value.
#ifndef STUDIO_OPTIONS_H
#define STUDIO_OPTIONS_H

#include <string>

struct StudioOptions
{
	double from = 0.0;  // where playback starts, in seconds
	int width = 1280;   // the window asked for, in pixels
	int height = 720;
	double bpm = 0.0;  // 0: no tempo given, no bars
	bool help = false;
};

// The options, or the reason they are refused: one line naming the option
// and what is wrong with its value ("--size: expected WxH, such as 1280x720,
// not 0x5"); empty when they are good.
struct StudioOptionsParse
{
	StudioOptions options;
	std::string error;
};

// Reads argv[1..argc-1]; pieceSeconds bounds --from.
StudioOptionsParse ParseStudioOptions(int argc, char **argv, double pieceSeconds);

// The usage text for --help, ending in a newline.
std::string StudioUsage(const std::string &program);

// The window to open for a request of width x height on a screen of
// screenWidth x screenHeight: the request, made smaller with its aspect kept
// when it does not fit (a screen size of 0 means unknown: no limit).
void FitWindow(int &width, int &height, int screenWidth, int screenHeight);

#endif
