// The conversion of read-back RGBA frames to yuv420p.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "frames/yuv420.h"

namespace
{
	double Luma(const double *rgb)
	{
		return 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
	}

	// The exact conversion, rounded, of a frame of rgba given bottom row first.
	std::vector<int> Expected(const std::vector<unsigned char> &rgba, int width, int height)
	{
		const auto pixel = [&](int x, int y, int channel) {
			const int row = height - 1 - std::min(y, height - 1);
			return rgba[(static_cast<size_t>(row) * width + std::min(x, width - 1)) * 4 + channel] / 255.0;
		};
		std::vector<int> planes;
		for(int y = 0; y < height; ++y)
			for(int x = 0; x < width; ++x)
			{
				const double rgb[3] = {pixel(x, y, 0), pixel(x, y, 1), pixel(x, y, 2)};
				planes.push_back(static_cast<int>(std::lround(16 + 219 * Luma(rgb))));
			}
		std::vector<int> cr;
		for(int y = 0; y < height; y += 2)
			for(int x = 0; x < width; x += 2)
			{
				double rgb[3];
				for(int c = 0; c < 3; ++c)
					rgb[c] = (pixel(x, y, c) + pixel(x + 1, y, c) + pixel(x, y + 1, c) + pixel(x + 1, y + 1, c)) / 4;
				planes.push_back(static_cast<int>(std::lround(128 + 224 * (rgb[2] - Luma(rgb)) / 1.772)));
				cr.push_back(static_cast<int>(std::lround(128 + 224 * (rgb[0] - Luma(rgb)) / 1.402)));
			}
		planes.insert(planes.end(), cr.begin(), cr.end());
		return planes;
	}
}

TEST(Yuv420, PrimariesHaveTheirLimitedRangeValues)
{
	// Black, white, red, green, blue, each a whole 2 x 2 frame: Y, Cb, Cr.
	const unsigned char colours[5][3] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
	const int expected[5][3] = {{16, 128, 128}, {235, 128, 128}, {81, 90, 240}, {145, 54, 34}, {41, 240, 110}};
	for(int i = 0; i < 5; ++i)
	{
		std::vector<unsigned char> rgba;
		for(int pixel = 0; pixel < 4; ++pixel)
			rgba.insert(rgba.end(), {colours[i][0], colours[i][1], colours[i][2], 0});
		std::vector<unsigned char> yuv(Yuv420Bytes(2, 2));
		ASSERT_EQ(yuv.size(), 6u);
		RgbaToYuv420(rgba.data(), 2, 2, yuv.data());
		EXPECT_EQ(std::vector<int>(yuv.begin(), yuv.end()),
		          std::vector<int>(
		              {expected[i][0], expected[i][0], expected[i][0], expected[i][0], expected[i][1], expected[i][2]}))
		    << "colour " << i;
	}
}

TEST(Yuv420, EveryPlaneIsTopRowFirstAndAnOddEdgeAveragesItsOwnPixels)
{
	for(const int size : {0x0806, 0x0705, 0x0104, 0x0301})  // width << 8 | height
	{
		const int width = size >> 8, height = size & 0xff;
		std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4);
		unsigned seed = 12345;
		for(unsigned char &byte : rgba)
			byte = static_cast<unsigned char>((seed = seed * 1103515245 + 12345) >> 16);
		std::vector<unsigned char> yuv(Yuv420Bytes(width, height));
		RgbaToYuv420(rgba.data(), width, height, yuv.data());
		const std::vector<int> expected = Expected(rgba, width, height);
		ASSERT_EQ(yuv.size(), expected.size()) << width << "x" << height;
		for(size_t i = 0; i < yuv.size(); ++i)
			EXPECT_LE(std::abs(yuv[i] - expected[i]), 1) << width << "x" << height << ", byte " << i;
	}
}
