// The 24-bit BMP encoder: see bitmap.h.
//
// The file is a 14-byte file header and a 40-byte info header, then the
// pixel rows bottom row first, each pixel blue, green, red, each row padded
// with zeros to a multiple of 4 bytes. All fields are little-endian. The
// encoder allocates the file's final size once and writes into it in place.
//
// Turning red-green-blue into blue-green-red is the whole per-pixel cost. On
// x86-64 processors with byte shuffles (SSSE3, nearly all of them) it moves
// four pixels a step; elsewhere it goes byte by byte.
#include "bitmap.h"

#include <cstdint>
#include <cstring>

namespace
{
	const size_t kFileHeaderSize = 14;
	const size_t kInfoHeaderSize = 40;
	const size_t kHeaderSize = kFileHeaderSize + kInfoHeaderSize;
	const uint32_t kPixelsPerMetre = 2835;

	// The bytes of a 32-bit or 16-bit value, least significant first.
	void get_4_bytes(uint32_t value, unsigned char bytes[4])
	{
		bytes[0] = static_cast<unsigned char>(value);
		bytes[1] = static_cast<unsigned char>(value >> 8);
		bytes[2] = static_cast<unsigned char>(value >> 16);
		bytes[3] = static_cast<unsigned char>(value >> 24);
	}

	void get_2_bytes(uint16_t value, unsigned char bytes[2])
	{
		bytes[0] = static_cast<unsigned char>(value);
		bytes[1] = static_cast<unsigned char>(value >> 8);
	}

	// Append a value's bytes at cursor and move the cursor past them.
	void insert_4_bytes(unsigned char *&cursor, uint32_t value)
	{
		get_4_bytes(value, cursor);
		cursor += 4;
	}

	void insert_2_bytes(unsigned char *&cursor, uint16_t value)
	{
		get_2_bytes(value, cursor);
		cursor += 2;
	}

	unsigned char *WriteHeader(unsigned char *cursor, int width, int height, size_t fileSize)
	{
		*cursor++ = 'B';
		*cursor++ = 'M';
		insert_4_bytes(cursor, static_cast<uint32_t>(fileSize));
		insert_4_bytes(cursor, 0);
		insert_4_bytes(cursor, static_cast<uint32_t>(kHeaderSize));

		insert_4_bytes(cursor, static_cast<uint32_t>(kInfoHeaderSize));
		insert_4_bytes(cursor, static_cast<uint32_t>(width));
		insert_4_bytes(cursor, static_cast<uint32_t>(height));
		insert_2_bytes(cursor, 1);
		insert_2_bytes(cursor, 24);
		insert_4_bytes(cursor, 0);
		insert_4_bytes(cursor, static_cast<uint32_t>(fileSize - kHeaderSize));
		insert_4_bytes(cursor, kPixelsPerMetre);
		insert_4_bytes(cursor, kPixelsPerMetre);
		insert_4_bytes(cursor, 0);
		insert_4_bytes(cursor, 0);
		return cursor;
	}

	// Copies rowBytes bytes of red-green-blue pixels as blue-green-red.
	void SwapRedAndBlueBytewise(const unsigned char *in, unsigned char *out, size_t rowBytes)
	{
		for(size_t i = 0; i < rowBytes; i += 3)
		{
			out[i] = in[i + 2];
			out[i + 1] = in[i + 1];
			out[i + 2] = in[i];
		}
	}

// Compilers that can write the byte shuffle and ask the processor for it.
#if defined(__x86_64__) && defined(__has_builtin)
#if __has_builtin(__builtin_shufflevector) && __has_builtin(__builtin_cpu_supports)
#define BITMAP_HAS_BYTE_SHUFFLE
#endif
#endif

#ifdef BITMAP_HAS_BYTE_SHUFFLE
	typedef unsigned char Bytes16 __attribute__((vector_size(16)));

	// The same with a byte shuffle, four pixels a step: each step reads and
	// writes 16 bytes, of which the first 12 are four pixels; the other 4 are
	// written again by the next step or the byte-wise tail, so nothing outside
	// the row is touched.
	__attribute__((target("ssse3"))) void SwapRedAndBlueShuffled(const unsigned char *in, unsigned char *out,
	                                                             size_t rowBytes)
	{
		size_t i = 0;
		for(; i + 16 <= rowBytes; i += 12)
		{
			Bytes16 pixels;
			std::memcpy(&pixels, in + i, 16);
			pixels = __builtin_shufflevector(pixels, pixels, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
			std::memcpy(out + i, &pixels, 16);
		}
		SwapRedAndBlueBytewise(in + i, out + i, rowBytes - i);
	}
#endif

	void SwapRedAndBlue(const unsigned char *in, unsigned char *out, size_t rowBytes)
	{
#ifdef BITMAP_HAS_BYTE_SHUFFLE
		static const bool hasByteShuffle = __builtin_cpu_supports("ssse3");
		if(hasByteShuffle)
		{
			SwapRedAndBlueShuffled(in, out, rowBytes);
			return;
		}
#endif
		SwapRedAndBlueBytewise(in, out, rowBytes);
	}

	// Encodes with the file's row r taken from input row rowOf(r).
	template <typename RowOf>
	size_t Encode(const unsigned char *rgb, int width, int height, unsigned char **output, RowOf rowOf)
	{
		const size_t rowBytes = static_cast<size_t>(width) * 3;
		const size_t paddedRowBytes = (rowBytes + 3) & ~static_cast<size_t>(3);
		const size_t fileSize = kHeaderSize + paddedRowBytes * static_cast<size_t>(height);

		unsigned char *data = new unsigned char[fileSize];
		unsigned char *cursor = WriteHeader(data, width, height, fileSize);
		for(int fileRow = 0; fileRow < height; ++fileRow)
		{
			SwapRedAndBlue(rgb + static_cast<size_t>(rowOf(fileRow)) * rowBytes, cursor, rowBytes);
			std::memset(cursor + rowBytes, 0, paddedRowBytes - rowBytes);
			cursor += paddedRowBytes;
		}
		*output = data;
		return fileSize;
	}
}

size_t bitmap_encode_rgb(const unsigned char *rgb, int width, int height, unsigned char **output)
{
	return Encode(rgb, width, height, output, [height](int fileRow) { return height - 1 - fileRow; });
}

size_t bitmap_encode_rgb_bottom_up(const unsigned char *rgb, int width, int height, unsigned char **output)
{
	return Encode(rgb, width, height, output, [](int fileRow) { return fileRow; });
}
