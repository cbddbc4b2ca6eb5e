#include "wav.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace
{

	void append_u16(std::vector<char> &bytes, std::uint32_t value)
	{
		bytes.push_back(static_cast<char>(value & 0xFF));
		bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
	}

	void append_u32(std::vector<char> &bytes, std::uint32_t value)
	{
		append_u16(bytes, value & 0xFFFF);
		append_u16(bytes, value >> 16);
	}

	void append_tag(std::vector<char> &bytes, const char (&tag)[5])
	{
		bytes.insert(bytes.end(), tag, tag + 4);
	}

	// The whole file in memory, little-endian whatever the machine.
	std::vector<char> wav_bytes(const std::vector<std::int16_t> &samples, int channels, int sample_rate)
	{
		const std::uint32_t bytes_per_sample = 2;
		const std::uint32_t block_align = static_cast<std::uint32_t>(channels) * bytes_per_sample;
		const std::uint32_t data_size = static_cast<std::uint32_t>(samples.size()) * bytes_per_sample;
		std::vector<char> bytes;
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

	[[noreturn]] void fail_to_write(const std::string &path, int error)
	{
		throw std::runtime_error("cannot write '" + path + "': " + std::strerror(error));
	}

}  // namespace

WavOutput open_wav_output(const std::string &path)
{
	WavOutput output{path, path + ".tmp", {}};
	output.stream.open(output.temporary_path, std::ios::binary | std::ios::trunc);
	if(!output.stream)
	{
		fail_to_write(path, errno);
	}
	return output;
}

void finish_wav_output(WavOutput &output, const std::vector<std::int16_t> &samples, int channels, int sample_rate)
{
	const std::vector<char> bytes = wav_bytes(samples, channels, sample_rate);
	output.stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
	output.stream.close();
	if(!output.stream)
	{
		const int error = errno;
		abandon_wav_output(output);
		fail_to_write(output.path, error);
	}
	if(std::rename(output.temporary_path.c_str(), output.path.c_str()) != 0)
	{
		const int error = errno;
		abandon_wav_output(output);
		fail_to_write(output.path, error);
	}
}

void abandon_wav_output(WavOutput &output)
{
	if(output.stream.is_open())
	{
		output.stream.close();
	}
	std::remove(output.temporary_path.c_str());
}
