// Sound files as the intro reads them: see sound_file.h.
#include "sound/sound_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

void SoundFileClose::operator()(SNDFILE *file) const
{
	sf_close(file);
}

SoundFile OpenSoundFile(const std::string &path)
{
	SoundFile sound;
	sound.file = InputFile(path);
	if(!sound.file.IsOpen())
		sound.error = Error{"System error : " + sound.file.OpenError().message + "."};
	else if(!sound.file.IsRegular())
		sound.error = Error{"not a regular file"};
	else
	{
		sound.reader.reset(sf_open_fd(sound.file.Descriptor(), SFM_READ, &sound.info, SF_FALSE));
		if(!sound.reader)
			sound.error = Error{sf_strerror(nullptr)};
	}
	return sound;
}

namespace
{
	uint32_t Little(const unsigned char *bytes, int count)
	{
		uint32_t value = 0;
		for(int i = count - 1; i >= 0; --i)
			value = (value << 8) | bytes[i];
		return value;
	}

	// Reads count bytes at offset; false when the file holds fewer there.
	bool ReadAt(const InputFile &file, int64_t offset, unsigned char *bytes, size_t count)
	{
		return pread(file.Descriptor(), bytes, count, offset) == static_cast<ssize_t>(count);
	}

	std::string Seconds(double seconds, int decimals)
	{
		char text[64];
		std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
		return text;
	}
}

std::string SoundFileShortfall(const std::string &path, const InputFile &file)
{
	unsigned char riff[12];
	if(!file.IsRegular() || !ReadAt(file, 0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
	   std::memcmp(riff + 8, "WAVE", 4) != 0)
		return "";
	const int64_t fileBytes = file.StatusAtOpen().st_size;
	uint32_t rate = 0;
	uint32_t blockBytes = 0;
	// Chunks follow one another, each an even number of bytes long.
	for(int64_t offset = sizeof riff; offset + 8 <= fileBytes;)
	{
		unsigned char chunk[8];
		if(!ReadAt(file, offset, chunk, sizeof chunk))
			return "";
		const uint32_t size = Little(chunk + 4, 4);
		if(std::memcmp(chunk, "fmt ", 4) == 0)
		{
			unsigned char format[16];
			if(size < sizeof format || !ReadAt(file, offset + 8, format, sizeof format))
				return "";
			rate = Little(format + 4, 4);
			blockBytes = Little(format + 12, 2);
		}
		else if(std::memcmp(chunk, "data", 4) == 0)
		{
			if(rate == 0 || blockBytes == 0 || size == 0 || size == 0xFFFFFFFFu)
				return "";
			const int64_t heldFrames = std::min<int64_t>(size, fileBytes - (offset + 8)) / blockBytes;
			const int64_t promisedFrames = size / blockBytes;
			if(heldFrames >= promisedFrames)
				return "";
			const double held = static_cast<double>(heldFrames) / rate;
			const double promised = static_cast<double>(promisedFrames) / rate;
			// One decimal, or as many as it takes to tell them apart: six
			// part any two frame counts at rates under a megahertz.
			int decimals = 1;
			for(int more : {3, 6})
				if(Seconds(held, decimals) == Seconds(promised, decimals))
					decimals = more;
			return path + " holds " + Seconds(held, decimals) + " s of the " + Seconds(promised, decimals) +
			       " s its header promises";
		}
		offset += 8 + static_cast<int64_t>(size) + (size & 1);
	}
	return "";
}
