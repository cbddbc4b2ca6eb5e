// make_message FONT_TTF TEXT_FILE OUTPUT_PNG
//
// Renders the text file as one long line of white, anti-aliased text on a
// transparent strip kStripHeight pixels high (8-bit grey and alpha), the
// texture the intro scrolls.
// The PNG is first written to OUTPUT_PNG.tmp and then renamed into place, so a
// failed or interrupted run leaves no partial image behind.
#include "message_text.h"
#include "scroller_strip.h"

#include <stb_image_write.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "files/write_whole.h"

namespace
{
	// A failure that concerns one file; what() is "PATH: REASON".
	class FileError : public std::runtime_error
	{
	public:
		FileError(const std::string &path, const std::string &reason) : std::runtime_error(path + ": " + reason)
		{
		}
	};

	// The whole file's bytes.
	std::string ReadFile(const std::string &path)
	{
		std::FILE *file = std::fopen(path.c_str(), "rb");
		if(!file)
			throw FileError(path, std::string("cannot open: ") + std::strerror(errno));

		std::string bytes;
		char buffer[65536];
		size_t count;
		while((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
			bytes.append(buffer, count);
		const bool failed = std::ferror(file);
		const int readError = errno;
		std::fclose(file);
		if(failed)
			throw FileError(path, std::string("cannot read: ") + std::strerror(readError));
		return bytes;
	}

	// Sets up stb_truetype on the font file's bytes, which must outlive it.
	stbtt_fontinfo OpenFont(const std::string &path, const std::string &bytes)
	{
		// The offset table alone is 12 bytes; anything shorter is not a font,
		// and stb_truetype would read past its end.
		const size_t kOffsetTableSize = 12;
		const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
		const int offset = bytes.size() < kOffsetTableSize ? -1 : stbtt_GetFontOffsetForIndex(data, 0);

		stbtt_fontinfo font;
		if(offset < 0 || !stbtt_InitFont(&font, data, offset))
			throw FileError(path, "not a TrueType or OpenType font");
		return font;
	}

	// Appends the bytes stb_image_write hands over to the byte vector at context.
	void AppendBytes(void *context, void *data, int size)
	{
		auto *bytes = static_cast<std::vector<unsigned char> *>(context);
		const auto *first = static_cast<const unsigned char *>(data);
		bytes->insert(bytes->end(), first, first + size);
	}

	// Encodes the grey-and-alpha pixels as a PNG and writes it whole at path,
	// through path.tmp and a rename.
	void WritePngInPlace(const std::string &path, int width, int height, const std::vector<unsigned char> &greyAlpha)
	{
		std::vector<unsigned char> png;
		if(!stbi_write_png_to_func(AppendBytes, &png, width, height, 2, greyAlpha.data(), width * 2))
			throw FileError(path, "cannot encode the PNG");
		const WriteFailure failure = WriteFileWhole(path, png.data(), png.size());
		if(!failure.reason.empty())
			throw FileError(failure.path, "cannot write the PNG: " + failure.reason);
	}

	void MakeMessage(const std::string &fontPath, const std::string &textPath, const std::string &outputPath)
	{
		const std::vector<char32_t> line = CollapseWhiteSpace(DecodeMessageText(ReadFile(textPath)));
		if(line.empty())
			throw FileError(textPath, "no text to render: the file is empty or only white space");

		const std::string fontBytes = ReadFile(fontPath);
		const stbtt_fontinfo font = OpenFont(fontPath, fontBytes);

		const StripLayout layout = LayOutStrip(font, line);
		if(layout.width > kMaxStripWidth)
			throw FileError(textPath, "the text renders " + std::to_string(layout.width) +
			                              " pixels wide, over the limit of " + std::to_string(kMaxStripWidth) +
			                              " pixels; shorten it");

		const std::vector<unsigned char> greyAlpha = WhiteGreyAlphaFromCoverage(RasteriseStrip(font, layout));
		WritePngInPlace(outputPath, static_cast<int>(layout.width), kStripHeight, greyAlpha);
	}
}

int main(int argc, char **argv)
{
	if(argc != 4)
	{
		std::fprintf(stderr, "usage: make_message FONT_TTF TEXT_FILE OUTPUT_PNG\n");
		return 2;
	}
	RemoveTemporaryOnSignals();
	try
	{
		MakeMessage(argv[1], argv[2], argv[3]);
	}
	catch(const std::exception &error)
	{
		std::fprintf(stderr, "make_message: %s\n", error.what());
		return 1;
	}
	return 0;
}
