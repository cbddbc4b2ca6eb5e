// Decoding the message image: see message_image.h.
#include "scene/message_image.h"

#include <stb/stb_image.h>

namespace
{
	std::string Size(int width, int height)
	{
		return std::to_string(width) + " x " + std::to_string(height);
	}

	// Why the decoder failed last; it leaves the reason unset on some paths.
	std::string DecoderReason()
	{
		const char *reason = stbi_failure_reason();
		return reason ? reason : "could not be decoded";
	}
}

void ImagePixelsFree::operator()(unsigned char *pixels) const
{
	stbi_image_free(pixels);
}

DecodedImage DecodeMessageImage(const std::string &bytes, int maxTextureSide)
{
	DecodedImage image;
	const stbi_uc *data = reinterpret_cast<const stbi_uc *>(bytes.data());
	const int size = static_cast<int>(bytes.size());
	int width = 0;
	int height = 0;
	int channels = 0;
	if(!stbi_info_from_memory(data, size, &width, &height, &channels))
	{
		// The probe ends every failure in "unknown image type"; a load stops
		// at the same header, before any pixel memory, and says why.
		stbi_image_free(stbi_load_from_memory(data, size, &width, &height, &channels, 4));
		image.error = Error{DecoderReason()};
	}
	else if(static_cast<int64_t>(width) * height > kMaxImageTexels)
		image.error =
		    Error{Size(width, height) + " is larger than the " + Size(kMaxImageSide, kMaxImageSide) + " texel limit"};
	else if(width > maxTextureSide || height > maxTextureSide)
		image.error = Error{Size(width, height) + " is wider or taller than the driver's largest texture, " +
		                    Size(maxTextureSide, maxTextureSide)};
	if(image.error)
		return image;

	stbi_set_flip_vertically_on_load(1);
	image.pixels.reset(stbi_load_from_memory(data, size, &width, &height, &channels, 4));
	if(!image.pixels)
	{
		image.error = Error{DecoderReason()};
		return image;
	}
	image.width = width;
	image.height = height;
	image.channelsInFile = channels;
	return image;
}
