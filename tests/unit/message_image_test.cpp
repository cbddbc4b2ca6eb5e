// Decoding the message image, without GL: PNG files made here, from a few
// texels to headers that claim more than the intro takes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "scene/message_image.h"

namespace
{
	void Put32(std::string &out, uint32_t value)
	{
		for(int shift = 24; shift >= 0; shift -= 8)
			out += static_cast<char>((value >> shift) & 0xFF);
	}

	uint32_t Crc32(const std::string &bytes)
	{
		uint32_t crc = 0xFFFFFFFFu;
		for(unsigned char byte : bytes)
		{
			crc ^= byte;
			for(int bit = 0; bit < 8; ++bit)
				crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
		}
		return ~crc;
	}

	void Chunk(std::string &png, const std::string &kind, const std::string &body)
	{
		Put32(png, static_cast<uint32_t>(body.size()));
		png += kind + body;
		Put32(png, Crc32(kind + body));
	}

	// A PNG whose header says width x height at depth bits in colourType,
	// its image data the filtered rows given (stored uncompressed, so that
	// rows of any size up to 65535 bytes need no compressor).
	std::string Png(uint32_t width, uint32_t height, int depth, int colourType, const std::string &rows)
	{
		std::string header;
		Put32(header, width);
		Put32(header, height);
		header += {static_cast<char>(depth), static_cast<char>(colourType), 0, 0, 0};
		uint32_t a = 1;
		uint32_t b = 0;
		for(unsigned char byte : rows)
		{
			a = (a + byte) % 65521;
			b = (b + a) % 65521;
		}
		// A zlib header, then one final stored block: its length and the
		// length's complement, little-endian.
		const uint32_t length = static_cast<uint32_t>(rows.size()) | (~static_cast<uint32_t>(rows.size()) << 16);
		std::string data = "\x78\x01\x01";
		for(int shift = 0; shift < 32; shift += 8)
			data += static_cast<char>((length >> shift) & 0xFF);
		data += rows;
		Put32(data, (b << 16) | a);
		std::string png = "\x89PNG\r\n\x1a\n";
		Chunk(png, "IHDR", header);
		Chunk(png, "IDAT", data);
		Chunk(png, "IEND", "");
		return png;
	}

	const int kLargeTexture = 16384;
	const int kRgb = 2;
	const int kRgba = 6;
}

TEST(MessageImage, APngIsDecodedToRgbaBottomRowFirst)
{
	// Two rows of 3 RGB texels, filter byte 0 before each: red on top, blue below.
	const std::string top = std::string(1, '\0') + std::string("\xff\0\0\xff\0\0\xff\0\0", 9);
	const std::string bottom = std::string(1, '\0') + std::string("\0\0\xff\0\0\xff\0\0\xff", 9);
	const DecodedImage image = DecodeMessageImage(Png(3, 2, 8, kRgb, top + bottom), kLargeTexture);
	ASSERT_EQ(image.error.message, "");
	ASSERT_TRUE(image.pixels);
	EXPECT_EQ(image.width, 3);
	EXPECT_EQ(image.height, 2);
	EXPECT_EQ(image.channelsInFile, 3);
	const unsigned char *texel = image.pixels.get();
	EXPECT_EQ(std::string(texel, texel + 4), std::string("\0\0\xff\xff", 4)) << "row 0 is the bottom row";
	EXPECT_EQ(std::string(texel + 12, texel + 16), std::string("\xff\0\0\xff", 4));
}

// A 16-bit RGBA PNG of 16384 x 16384 is 2.1 MB on disk; the decoder gave up
// on it with no reason at all. At 8 bits it took seconds and gigabytes, at
// 16-bit RGB it ran out of memory. The header alone says enough.
TEST(MessageImage, AnImageOverTheTexelLimitIsRefusedFromItsHeader)
{
	const std::string zeros(16, '\0');
	for(const auto &[depth, colourType] : {std::pair(16, kRgba), std::pair(8, kRgba), std::pair(16, kRgb)})
	{
		const DecodedImage image = DecodeMessageImage(Png(16384, 16384, depth, colourType, zeros), kLargeTexture);
		EXPECT_EQ(image.error.message, "16384 x 16384 is larger than the 8192 x 8192 texel limit") << depth << " bits";
		EXPECT_FALSE(image.pixels);
		EXPECT_EQ(image.width, 0);
		EXPECT_EQ(image.channelsInFile, 0);
	}
	const DecodedImage strip = DecodeMessageImage(Png(13193, 128, 8, kRgba, zeros), kLargeTexture);
	EXPECT_NE(strip.error.message.rfind("13193 x 128 is", 0), 0u)
	    << "the bundled strip's size passes: " << strip.error.message;
	EXPECT_NE(strip.error.message, "") << "its pixels are not there to decode";
}

TEST(MessageImage, AnImageLargerThanTheDriversTexturesIsRefused)
{
	const DecodedImage image = DecodeMessageImage(Png(300, 2, 8, kRgba, std::string(16, '\0')), 256);
	EXPECT_EQ(image.error.message, "300 x 2 is wider or taller than the driver's largest texture, 256 x 256");
	EXPECT_FALSE(image.pixels);
}

TEST(MessageImage, BytesTheDecoderRefusesGiveItsReason)
{
	EXPECT_EQ(DecodeMessageImage("", kLargeTexture).error.message, "unknown image type");
	EXPECT_EQ(DecodeMessageImage("not a picture", kLargeTexture).error.message, "unknown image type");
	EXPECT_EQ(DecodeMessageImage(Png(100000, 100000, 8, kRgba, std::string(16, '\0')), kLargeTexture).error.message,
	          "too large")
	    << "past the decoder's own limit, before the intro's";
}
