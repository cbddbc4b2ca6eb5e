// The studio's command line, apart from the window: the window mode, or the
// render mode (--render FD), which writes frames and ends; each option written
// --name value or --name=value, among the window toolkit's own options. The
// options are one table (StudioOptionRows), from which the parsing, the check
// of which mode takes an option and the usage text all come.
#ifndef STUDIO_OPTIONS_H
#define STUDIO_OPTIONS_H

#include <string>
#include <vector>

#include "report/error.h"

// How the render mode lays a frame's pixels out, by ffmpeg's names for them:
// rgb24, 3 bytes a pixel; yuv420p, planes of luma and quarter-size chroma.
enum class PixelFormat
{
	Rgb24,
	Yuv420p
};

struct StudioOptions
{
	double from = 0.0;  // where playback starts, in seconds
	int width = 1280;   // the window asked for, in pixels
	int height = 720;
	double bpm = 0.0;  // 0: no tempo given, no bars
	bool help = false;
	int renderFd = -1;                             // the render mode's output descriptor; -1 without it
	double to = -1.0;                              // where the render mode ends; -1: the piece's end
	PixelFormat pixelFormat = PixelFormat::Rgb24;  // the render mode's frames
};

// The studio's modes, as the bits of the modes an option is valid in: the
// window, with time control; the render mode (--render FD), which writes
// frames and ends.
enum StudioMode : unsigned
{
	kWindowMode = 1,
	kRenderMode = 2,
	kBothModes = kWindowMode | kRenderMode,
};

// One option of the command line: all that the parsing, the mode checks and
// the usage text know of it.
struct StudioOptionRow
{
	const char *name;         // "--size"
	const char *placeholder;  // its value in the usage text: "WxH"
	// Reads the value into options; fails with what is wrong with it, the
	// rest of the line "NAME: ..." ("expected WxH ..., not '0x5'").
	// pieceSeconds bounds a time.
	Error (*read)(const std::string &value, double pieceSeconds, StudioOptions &options);
	const char *help;  // its lines in the usage text, '\n' between them
	unsigned modes;    // the StudioMode bits of the modes that take it
};

// The studio's options, in the order the usage text lists them.
const std::vector<StudioOptionRow> &StudioOptionRows();

// The frames the render mode draws for from and to (to < 0: the piece's end)
// at framesPerSecond: n from round(from x fps) up to but not including
// round(to x fps), and the piece's last frame too when to is its end, so
// that 0 to 135 s is every frame a capture writes. first > last when empty.
struct FrameRange
{
	int first = 0;
	int last = -1;
};
FrameRange RenderRange(double from, double to, double pieceSeconds, int framesPerSecond);

// The options, or the reason they are refused: one line naming the option
// and what is wrong with its value ("--size: expected WxH, such as 1280x720,
// not 0x5"); no error when they are good.
struct StudioOptionsParse
{
	StudioOptions options;
	Error error;
};

// Reads argv[1..argc-1], passing over the window toolkit's own options
// (-display NAME and the like), so that it can run before the toolkit
// starts; pieceSeconds bounds --from and --to. Refused: an unknown option,
// one without its value, a bad value, one given to a mode that does not
// take it, and a section that ends before it starts or holds no frame.
StudioOptionsParse ParseStudioOptions(int argc, char **argv, double pieceSeconds);

// The usage text for --help, ending in a newline: a usage line for each
// mode, then a line or more for each option, then the keys.
std::string StudioUsage(const std::string &program);

// The window to open for a request of width x height on a screen of
// screenWidth x screenHeight: the request, made smaller with its aspect kept
// when it does not fit (a screen size of 0 means unknown: no limit).
void FitWindow(int &width, int &height, int screenWidth, int screenHeight);

#endif
