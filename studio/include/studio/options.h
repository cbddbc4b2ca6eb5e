// The studio's command line, apart from the window: `studio [--from SECONDS]
// [--size WxH] [--bpm N]` after the window toolkit's own options, or the
// render mode `studio --render FD [--from SECONDS] [--to SECONDS] [--size
// WxH] [--pixel-format rgb24|yuv420p]`; each option may also be written as
// --name=value.
#ifndef STUDIO_OPTIONS_H
#define STUDIO_OPTIONS_H

#include <string>

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
	bool pixelFormatGiven = false;                 // --pixel-format, a render mode's option, was given
};

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
// not 0x5"); empty when they are good.
struct StudioOptionsParse
{
	StudioOptions options;
	std::string error;
};

// Reads argv[1..argc-1], passing over the window toolkit's own options
// (-display NAME and the like), so that it can run before the toolkit
// starts; pieceSeconds bounds --from.
StudioOptionsParse ParseStudioOptions(int argc, char **argv, double pieceSeconds);

// The usage text for --help, ending in a newline.
std::string StudioUsage(const std::string &program);

// The window to open for a request of width x height on a screen of
// screenWidth x screenHeight: the request, made smaller with its aspect kept
// when it does not fit (a screen size of 0 means unknown: no limit).
void FitWindow(int &width, int &height, int screenWidth, int screenHeight);

#endif
