// The channels a pass reads, as its own file declares them on lines such as
//
//     #iChannel0 "bufferA"
//     #iChannel0::filter "nearest"
//
// and the text a pass is compiled from: its file with those lines blanked
// and the common code put in. Apart from GL.
#ifndef SCENE_CHANNELS_H
#define SCENE_CHANNELS_H

#include <array>
#include <string>

#include "report/error.h"

// The channels a pass has, iChannel0 to iChannel3.
constexpr int kChannelCount = 4;

// The buffers, A to D, in the order their passes run.
constexpr int kBufferCount = 4;

enum class ChannelSource
{
	Default,   // no line names it: the sound, the message, black, black
	Buffer,    // bufferA .. bufferD
	Self,      // the pass's own buffer
	Sound,     // the soundtrack's spectrum and waveform
	Message,   // images/long.png
	Image,     // a PNG under images/
	Keyboard,  // 256 x 3 texels that read as no key pressed
	None,      // reads black
};

enum class ChannelFilter
{
	Default,  // linear, or mipmap for an image
	Nearest,
	Linear,
	Mipmap,
};

enum class ChannelWrap
{
	Default,  // clamp, or repeat for an image
	Clamp,
	Repeat,
};

// One channel as its lines declare it.
struct ChannelSpec
{
	ChannelSource source = ChannelSource::Default;
	int buffer = -1;    // Buffer: 0 for bufferA .. 3 for bufferD
	std::string image;  // Image: the path under the run directory, "images/..."
	ChannelFilter filter = ChannelFilter::Default;
	ChannelWrap wrap = ChannelWrap::Default;
	int line = 0;  // the line that names the source, 0 when none does

	bool operator==(const ChannelSpec &other) const;
};

// A pass's text with its channel lines taken out.
struct ChannelLines
{
	std::string text;  // the file with every channel line made empty, so line numbers hold
	std::array<ChannelSpec, kChannelCount> channels;
	// The first bad line, as "LINE: what is wrong"; none when every line is good.
	Error error;
};

// Reads the channel lines of a pass's file: lines whose first word begins
// with "#iChannel". Bad lines: a channel other than 0 to 3, a source or
// setting it does not know, a value not in double quotes, an image path
// outside images/ (or with a ".." in it), and a source or setting given
// twice for one channel.
ChannelLines ParseChannelLines(const std::string &text);

// The channel with its defaults filled in for channel index: the source a
// Default channel has (the sound for 0, the message for 1, none for 2 and
// 3), then the filter and wrap (linear and clamp; mipmap and repeat for an
// image file).
ChannelSpec ResolveChannel(const ChannelSpec &spec, int index);

// The name a pass's buffer has in channel lines, "bufferA" .. "bufferD".
std::string BufferName(int buffer);

// The line a template marks the place for the pass's own code with; the
// common code goes right below it.
extern const char *const kTemplateMarker;

// text without the UTF-8 byte-order mark that some editors put first, which
// no shader compiler takes.
std::string WithoutByteOrderMark(const std::string &text);

// The source-string numbers of #line directives: the pass's own lines and
// the common code's.
constexpr int kPassSourceString = 0;
constexpr int kCommonSourceString = 1;

// The text to compile for a pass: passText unchanged when commonText is
// empty; otherwise commonText inserted right below the template's marker
// line when the pass has one, else below its #version line (else at the top),
// between #line directives that number the common code's lines from 1 as
// source string kCommonSourceString and give the pass's own lines back their
// numbers.
std::string ComposePassText(const std::string &passText, const std::string &commonText);

// The part of passText above the place where the common code goes: with the
// common code below it, a text that fails to compile only for the common
// code's own faults, whichever source string the driver's log names.
std::string PassHead(const std::string &passText);

#endif
