// The conversion to yuv420p: see yuv420.h.
#include "frames/yuv420.h"

#include <cstdint>

namespace
{
	// The weights of BT.601 scaled to limited range, in 16-bit fixed point:
	// luma 219 / 255 of (0.299, 0.587, 0.114); Cb and Cr 224 / 255 of
	// (-0.168736, -0.331264, 0.5) and (0.5, -0.418688, -0.081312). Each
	// chroma row sums to 0, so greys have chroma 128 exactly.
	constexpr int32_t kLumaR = 16829, kLumaG = 33039, kLumaB = 6416;
	constexpr int32_t kCbR = -9714, kCbG = -19070, kCbB = 28784;
	constexpr int32_t kCrR = 28784, kCrG = -24103, kCrB = -4681;
	constexpr int kShift = 16;

	int ChromaSide(int side)
	{
		return (side + 1) / 2;
	}

	// One row of luma from one row of RGBA pixels.
	void LumaRow(const unsigned char *rgba, int width, unsigned char *luma)
	{
		constexpr int32_t offset = (16 << kShift) + (1 << (kShift - 1));
		for(int x = 0; x < width; ++x)
		{
			const unsigned char *pixel = rgba + 4 * x;
			luma[x] = static_cast<unsigned char>((offset + kLumaR * pixel[0] + kLumaG * pixel[1] + kLumaB * pixel[2]) >>
			                                     kShift);
		}
	}

	// A chroma sample from the sums of red, green and blue over 4 pixels.
	void Chroma(int32_t red, int32_t green, int32_t blue, unsigned char *cb, unsigned char *cr)
	{
		// The sums are of 4 pixels: 2 more bits to shift out.
		constexpr int32_t offset = (128 << (kShift + 2)) + (1 << (kShift + 1));
		*cb = static_cast<unsigned char>((offset + kCbR * red + kCbG * green + kCbB * blue) >> (kShift + 2));
		*cr = static_cast<unsigned char>((offset + kCrR * red + kCrG * green + kCrB * blue) >> (kShift + 2));
	}

	// One row of Cb and Cr from two rows of RGBA pixels (the same row twice
	// at an odd height's end).
	void ChromaRow(const unsigned char *upper, const unsigned char *lower, int width, unsigned char *cb,
	               unsigned char *cr)
	{
		const int pairs = width / 2;
		for(int x = 0; x < pairs; ++x)
		{
			const unsigned char *a = upper + 8 * x;
			const unsigned char *b = lower + 8 * x;
			Chroma(a[0] + a[4] + b[0] + b[4], a[1] + a[5] + b[1] + b[5], a[2] + a[6] + b[2] + b[6], cb + x, cr + x);
		}
		if(width % 2 != 0)
		{
			const unsigned char *a = upper + 8 * pairs;
			const unsigned char *b = lower + 8 * pairs;
			Chroma(2 * (a[0] + b[0]), 2 * (a[1] + b[1]), 2 * (a[2] + b[2]), cb + pairs, cr + pairs);
		}
	}
}

size_t Yuv420Bytes(int width, int height)
{
	const size_t chroma = static_cast<size_t>(ChromaSide(width)) * static_cast<size_t>(ChromaSide(height));
	return static_cast<size_t>(width) * static_cast<size_t>(height) + 2 * chroma;
}

void RgbaToYuv420(const unsigned char *rgba, int width, int height, unsigned char *yuv)
{
	const size_t stride = static_cast<size_t>(width) * 4;
	const int chromaWidth = ChromaSide(width);
	unsigned char *luma = yuv;
	unsigned char *cb = luma + static_cast<size_t>(width) * static_cast<size_t>(height);
	unsigned char *cr = cb + static_cast<size_t>(chromaWidth) * static_cast<size_t>(ChromaSide(height));
	// Row y from the top is row height - 1 - y of the read-back.
	const auto row = [&](int y) { return rgba + static_cast<size_t>(height - 1 - y) * stride; };
	for(int y = 0; y < height; ++y)
		LumaRow(row(y), width, luma + static_cast<size_t>(y) * static_cast<size_t>(width));
	for(int y = 0; y < height; y += 2)
	{
		const size_t offset = static_cast<size_t>(y / 2) * static_cast<size_t>(chromaWidth);
		ChromaRow(row(y), row(y + 1 < height ? y + 1 : y), width, cb + offset, cr + offset);
	}
}
