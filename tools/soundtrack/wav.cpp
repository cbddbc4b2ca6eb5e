#include "wav.h"

namespace
{

	void append_u16(std::vector<unsigned char> &bytes, std::uint32_t value)
	{
		bytes.push_back(static_cast<unsigned char>(value & 0xFF));
		bytes.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
	}

	void append_u32(std::vector<unsigned char> &bytes, std::uint32_t value)
	{
		append_u16(bytes, value & 0xFFFF);
		append_u16(bytes, value >> 16);
	}

	void append_tag(std::vector<unsigned char> &bytes, const char (&tag)[5])
	{
		bytes.insert(bytes.end(), tag, tag + 4);
	}

}  // namespace

std::vector<unsigned char> wav_bytes(const std::vector<std::int16_t> &samples, int channels, int sample_rate)
{
	const std::uint32_t bytes_per_sample = 2;
	const std::uint32_t block_align = static_cast<std::uint32_t>(channels) * bytes_per_sample;
	const std::uint32_t data_size = static_cast<std::uint32_t>(samples.size()) * bytes_per_sample;
	std::vector<unsigned char> bytes;
	bytes.reserve(44 + data_size);
	append_tag(bytes, "RIFF");
	append_u32(bytes, 36 + data_size);
	append_tag(bytes, "WAVE");
	append_tag(bytes, "fmt ");
	append_u32(bytes, 16);  // size of the PCM format chunk
	append_u16(bytes, 1);   // PCM
	append_u16(bytes, static_cast<std::uint32_t>(channels));
	append_u32(bytes, static_cast<std::uint32_t>(sample_rate));
	append_u32(bytes, static_cast<std::uint32_t>(sample_rate) * block_align);
	append_u16(bytes, block_align);
	append_u16(bytes, bytes_per_sample * 8);
	append_tag(bytes, "data");
	append_u32(bytes, data_size);
	for(std::int16_t sample : samples)
	{
		append_u16(bytes, static_cast<std::uint16_t>(sample));
	}
	return bytes;
}
