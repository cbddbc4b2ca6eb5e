// Decoding the message image for its texture, apart from GL: the size the
// file claims is checked against the intro's limits before any pixel memory
// is taken.
#ifndef SCENE_MESSAGE_IMAGE_H
#define SCENE_MESSAGE_IMAGE_H

#include <cstdint>
#include <memory>
#include <string>

#include "report/error.h"

// The most texels a message image may have: 8192 x 8192, 256 MiB as 8-bit
// RGBA. The bundled strip, 13193 x 128, is some 1.7 million.
constexpr int kMaxImageSide = 8192;
constexpr int64_t kMaxImageTexels = static_cast<int64_t>(kMaxImageSide) * kMaxImageSide;

// Releases pixels through the decoder's own free.
struct ImagePixelsFree
{
	void operator()(unsigned char *pixels) const;
};

// An image as DecodeMessageImage left it.
struct DecodedImage
{
	int width = 0;           // 0 when not decoded
	int height = 0;          // 0 when not decoded
	int channelsInFile = 0;  // 0 when not decoded
	// width x height 8-bit RGBA texels, bottom row first; empty when the
	// image was not decoded.
	std::unique_ptr<unsigned char, ImagePixelsFree> pixels;
	Error error;  // why it was not decoded; empty when it was
};

// Decodes the bytes of a PNG file into RGBA texels, bottom row first. The
// header is read first: an image of more than kMaxImageTexels texels fails
// with "W x H is larger than the 8192 x 8192 texel limit", one wider or
// taller than maxTextureSide (the driver's GL_MAX_TEXTURE_SIZE) with "W x H
// is wider or taller than the driver's largest texture, N x N", both before
// anything is decoded. Bytes the decoder refuses fail with its reason (such
// as "unknown image type"), or "could not be decoded" where it gives none.
DecodedImage DecodeMessageImage(const std::string &bytes, int maxTextureSide);

#endif
