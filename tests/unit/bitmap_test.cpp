// The BMP encoder, read back by an independent parser of the file layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bitmap.h"

namespace
{
	uint32_t Read32(const std::vector<unsigned char> &file, size_t offset)
	{
		return static_cast<uint32_t>(file[offset]) | static_cast<uint32_t>(file[offset + 1]) << 8 |
		       static_cast<uint32_t>(file[offset + 2]) << 16 | static_cast<uint32_t>(file[offset + 3]) << 24;
	}

	uint16_t Read16(const std::vector<unsigned char> &file, size_t offset)
	{
		return static_cast<uint16_t>(file[offset] | file[offset + 1] << 8);
	}

	struct Rgb
	{
		unsigned char r, g, b;
		bool operator==(const Rgb &o) const
		{
			return r == o.r && g == o.g && b == o.b;
		}
	};

	// What a viewer shows: pixel (x, y) with y = 0 the top row.
	struct Picture
	{
		int width = 0;
		int height = 0;
		std::vector<Rgb> pixels;
		Rgb At(int x, int y) const
		{
			return pixels[static_cast<size_t>(y) * width + x];
		}
	};

	// Parses a 24-bit BMP: checks every header field and the row padding.
	Picture Parse(const std::vector<unsigned char> &file)
	{
		Picture picture;
		EXPECT_EQ(file.at(0), 'B');
		EXPECT_EQ(file.at(1), 'M');
		EXPECT_EQ(Read32(file, 2), file.size());
		EXPECT_EQ(Read32(file, 6), 0u);
		const uint32_t offset = Read32(file, 10);
		EXPECT_EQ(offset, 54u);
		EXPECT_EQ(Read32(file, 14), 40u);
		picture.width = static_cast<int>(Read32(file, 18));
		picture.height = static_cast<int>(Read32(file, 22));
		EXPECT_EQ(Read16(file, 26), 1);
		EXPECT_EQ(Read16(file, 28), 24);
		EXPECT_EQ(Read32(file, 30), 0u);
		EXPECT_EQ(Read32(file, 34), file.size() - 54);
		EXPECT_EQ(Read32(file, 38), 2835u);
		EXPECT_EQ(Read32(file, 42), 2835u);
		EXPECT_EQ(Read32(file, 46), 0u);
		EXPECT_EQ(Read32(file, 50), 0u);

		const size_t stride = (static_cast<size_t>(picture.width) * 3 + 3) / 4 * 4;
		EXPECT_EQ(file.size(), 54 + stride * picture.height);
		picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
		for(int fileRow = 0; fileRow < picture.height; ++fileRow)
		{
			const size_t start = offset + fileRow * stride;
			const int y = picture.height - 1 - fileRow;
			for(int x = 0; x < picture.width; ++x)
			{
				const size_t p = start + x * 3;
				picture.pixels[static_cast<size_t>(y) * picture.width + x] = {file[p + 2], file[p + 1], file[p]};
			}
			for(size_t pad = start + picture.width * 3; pad < start + stride; ++pad)
				EXPECT_EQ(file[pad], 0) << "padding of file row " << fileRow;
		}
		return picture;
	}

	std::vector<unsigned char> Encode(const std::vector<unsigned char> &rgb, int width, int height,
	                                  bool bottomUp = false)
	{
		unsigned char *output = nullptr;
		const size_t size = bottomUp ? bitmap_encode_rgb_bottom_up(rgb.data(), width, height, &output)
		                             : bitmap_encode_rgb(rgb.data(), width, height, &output);
		std::unique_ptr<unsigned char[]> owned(output);
		return std::vector<unsigned char>(output, output + size);
	}

	// A picture in which every pixel differs: red from x, green from y.
	std::vector<unsigned char> Gradient(int width, int height)
	{
		std::vector<unsigned char> rgb;
		for(int y = 0; y < height; ++y)
			for(int x = 0; x < width; ++x)
				rgb.insert(rgb.end(), {static_cast<unsigned char>(x * 7), static_cast<unsigned char>(y * 11),
				                       static_cast<unsigned char>(x + y)});
		return rgb;
	}
}

TEST(Bitmap, OneRedPixelIs58Bytes)
{
	const std::vector<unsigned char> file = Encode({255, 0, 0}, 1, 1);
	ASSERT_EQ(file.size(), 58u);
	EXPECT_EQ(Read32(file, 2), 58u);
	EXPECT_EQ(Read32(file, 34), 4u);
	EXPECT_EQ(std::vector<unsigned char>(file.begin() + 54, file.end()), (std::vector<unsigned char>{0, 0, 255, 0}));
	Parse(file);
}

TEST(Bitmap, RowsArePaddedToFourBytes)
{
	EXPECT_EQ(Encode(Gradient(2, 2), 2, 2).size(), 70u) << "rows of 6 pixel bytes and 2 zeros";
	EXPECT_EQ(Encode(Gradient(4, 3), 4, 3).size(), 54u + 12 * 3) << "width 4 needs no padding";
	EXPECT_EQ(Encode(Gradient(5, 1), 5, 1).size(), 54u + 16);
	EXPECT_EQ(Encode({}, 0, 0).size(), 54u);
	const std::vector<unsigned char> empty = Encode({}, 7, 0);
	EXPECT_EQ(empty.size(), 54u);
	EXPECT_EQ(Read32(empty, 34), 0u);
}

TEST(Bitmap, TheFirstInputRowIsTheTopOfThePicture)
{
	// Every width up to 40 takes each mix of whole four-pixel steps and
	// leftover pixels the encoder's row loop can meet.
	std::vector<int> widths = {333, 1920};
	for(int width = 1; width <= 40; ++width)
		widths.push_back(width);
	for(int width : widths)
	{
		const int height = 7;
		const std::vector<unsigned char> rgb = Gradient(width, height);
		const Picture picture = Parse(Encode(rgb, width, height));
		ASSERT_EQ(picture.width, width);
		ASSERT_EQ(picture.height, height);
		for(int y = 0; y < height; ++y)
			for(int x = 0; x < width; ++x)
			{
				const size_t p = (static_cast<size_t>(y) * width + x) * 3;
				ASSERT_EQ(picture.At(x, y), (Rgb{rgb[p], rgb[p + 1], rgb[p + 2]})) << x << "," << y;
			}
	}
}

TEST(Bitmap, BottomUpInputGivesTheSamePictureFromReversedRows)
{
	const int width = 333;
	const int height = 250;
	const std::vector<unsigned char> topDown = Gradient(width, height);
	std::vector<unsigned char> bottomUp;
	for(int y = height - 1; y >= 0; --y)
		bottomUp.insert(bottomUp.end(), topDown.begin() + y * width * 3, topDown.begin() + (y + 1) * width * 3);
	EXPECT_EQ(Encode(bottomUp, width, height, true), Encode(topDown, width, height));
}
