// Fuzzes the BMP encoder: both entry points, every size up to 512 x 64, any
// pixels. The file is read back field by field and pixel by pixel.
//
// Input layout: bytes 0-1 the width (little-endian, modulo 513), byte 2 the
// height (modulo 65), the rest the pixels, repeated to fill the picture (all
// zero when there are none).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bitmap.h"

namespace
{
	uint32_t Read32(const unsigned char *file, size_t offset)
	{
		return static_cast<uint32_t>(file[offset]) | static_cast<uint32_t>(file[offset + 1]) << 8 |
		       static_cast<uint32_t>(file[offset + 2]) << 16 | static_cast<uint32_t>(file[offset + 3]) << 24;
	}

	uint16_t Read16(const unsigned char *file, size_t offset)
	{
		return static_cast<uint16_t>(file[offset] | file[offset + 1] << 8);
	}

	[[noreturn]] void Fail(const char *what, const char *entry, int width, int height)
	{
		std::fprintf(stderr, "fuzz_bitmap: %s: %s at %d x %d\n", entry, what, width, height);
		std::abort();
	}

	// Checks one encoded file; bottomUp says which input row file row r holds.
	void Check(const char *entry, const unsigned char *file, size_t size, const unsigned char *rgb, int width,
	           int height, bool bottomUp)
	{
		const size_t rowBytes = static_cast<size_t>(width) * 3;
		const size_t stride = (rowBytes + 3) / 4 * 4;
		const size_t expectedSize = 54 + stride * static_cast<size_t>(height);
		if(size != expectedSize)
			Fail("wrong file size", entry, width, height);

		const struct
		{
			size_t offset;
			int bytes;
			uint32_t value;
		} fields[] = {
		    {2, 4, static_cast<uint32_t>(expectedSize)},
		    {6, 4, 0},
		    {10, 4, 54},
		    {14, 4, 40},
		    {18, 4, static_cast<uint32_t>(width)},
		    {22, 4, static_cast<uint32_t>(height)},
		    {26, 2, 1},
		    {28, 2, 24},
		    {30, 4, 0},
		    {34, 4, static_cast<uint32_t>(stride * static_cast<size_t>(height))},
		    {38, 4, 2835},
		    {42, 4, 2835},
		    {46, 4, 0},
		    {50, 4, 0},
		};
		if(file[0] != 'B' || file[1] != 'M')
			Fail("no BM signature", entry, width, height);
		for(const auto &field : fields)
		{
			const uint32_t value = field.bytes == 4 ? Read32(file, field.offset) : Read16(file, field.offset);
			if(value != field.value)
			{
				std::fprintf(stderr, "header field at byte %zu is %u, not %u\n", field.offset, value, field.value);
				Fail("wrong header field", entry, width, height);
			}
		}

		for(int fileRow = 0; fileRow < height; ++fileRow)
		{
			const int inputRow = bottomUp ? fileRow : height - 1 - fileRow;
			const unsigned char *out = file + 54 + static_cast<size_t>(fileRow) * stride;
			const unsigned char *in = rgb + static_cast<size_t>(inputRow) * rowBytes;
			for(int x = 0; x < width; ++x)
			{
				const unsigned char *pixel = in + 3 * x;
				if(out[3 * x] != pixel[2] || out[3 * x + 1] != pixel[1] || out[3 * x + 2] != pixel[0])
				{
					std::fprintf(stderr, "pixel %d of file row %d differs from input row %d\n", x, fileRow, inputRow);
					Fail("a pixel did not round-trip", entry, width, height);
				}
			}
			for(size_t pad = rowBytes; pad < stride; ++pad)
				if(out[pad] != 0)
					Fail("a padding byte is not zero", entry, width, height);
		}
	}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if(size < 3)
		return 0;
	const int width = (data[0] | data[1] << 8) % 513;
	const int height = data[2] % 65;
	const uint8_t *pixels = data + 3;
	const size_t available = size - 3;

	// Exactly width * height * 3 bytes, so that ASan flags any read past
	// them; new[] gives a real array even for an empty picture.
	const size_t pixelBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
	std::unique_ptr<unsigned char[]> rgb(new unsigned char[pixelBytes]);
	for(size_t i = 0; i < pixelBytes; ++i)
		rgb[i] = available > 0 ? pixels[i % available] : 0;

	unsigned char *file = nullptr;
	size_t fileSize = bitmap_encode_rgb(rgb.get(), width, height, &file);
	Check("bitmap_encode_rgb", file, fileSize, rgb.get(), width, height, false);
	delete[] file;

	file = nullptr;
	fileSize = bitmap_encode_rgb_bottom_up(rgb.get(), width, height, &file);
	Check("bitmap_encode_rgb_bottom_up", file, fileSize, rgb.get(), width, height, true);
	delete[] file;
	return 0;
}
