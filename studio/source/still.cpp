// The studio's stills: see still.h.
#include "studio/still.h"

#include <stb/stb_image_write.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "files/write_whole.h"

namespace
{
	void AppendBytes(void *context, void *data, int size)
	{
		std::vector<unsigned char> &png = *static_cast<std::vector<unsigned char> *>(context);
		const unsigned char *bytes = static_cast<const unsigned char *>(data);
		png.insert(png.end(), bytes, bytes + size);
	}
}

std::string StillPath(int frame)
{
	return "stills/frame" + std::to_string(frame) + ".png";
}

std::string FreeStillPath(int frame, const std::function<bool(const std::string &)> &taken)
{
	std::string path = StillPath(frame);
	for(int copy = 2; taken(path); ++copy)
		path = "stills/frame" + std::to_string(frame) + "-" + std::to_string(copy) + ".png";
	return path;
}

Error WriteStill(const std::string &path, const std::vector<unsigned char> &rgb, int width, int height)
{
	const size_t slash = path.rfind('/');
	if(slash != std::string::npos)
	{
		const std::string folder = path.substr(0, slash);
		if(mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
			return Error{"Could not write " + path + ": cannot make " + folder + ": " + std::strerror(errno)};
	}
	// GL's rows come bottom first; the file's top row is the picture's top.
	stbi_flip_vertically_on_write(1);
	std::vector<unsigned char> png;
	if(width <= 0 || height <= 0 || !stbi_write_png_to_func(AppendBytes, &png, width, height, 3, rgb.data(), width * 3))
		return Error{"Could not write " + path + ": the PNG encoder refused a " + std::to_string(width) + " x " +
		             std::to_string(height) + " picture"};
	const WriteFailure failure = WriteFileWhole(path, png.data(), png.size());
	if(!failure.reason.empty())
		return Error{"Could not write " + failure.path + ": " + failure.reason};
	return {};
}
