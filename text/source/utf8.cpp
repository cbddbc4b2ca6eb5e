// UTF-8 decoding: see utf8.h.
#include "text/utf8.h"

namespace
{
	bool IsContinuationByte(unsigned char byte)
	{
		return (byte & 0xC0) == 0x80;
	}

	// The code point of the well-formed sequence at bytes[start], and its
	// length in bytes; a length of 0 means the sequence is malformed.
	char32_t DecodeSequence(const std::string &bytes, size_t start, size_t &length)
	{
		const unsigned char lead = static_cast<unsigned char>(bytes[start]);
		char32_t codePoint = 0;
		char32_t smallest = 0;
		length = 0;
		if(lead < 0x80)
		{
			length = 1;
			return lead;
		}
		size_t needed = 0;
		if((lead & 0xE0) == 0xC0)
		{
			needed = 2;
			codePoint = lead & 0x1F;
			smallest = 0x80;
		}
		else if((lead & 0xF0) == 0xE0)
		{
			needed = 3;
			codePoint = lead & 0x0F;
			smallest = 0x800;
		}
		else if((lead & 0xF8) == 0xF0)
		{
			needed = 4;
			codePoint = lead & 0x07;
			smallest = 0x10000;
		}
		else
			return 0;

		if(start + needed > bytes.size())
			return 0;
		for(size_t i = 1; i < needed; ++i)
		{
			const unsigned char byte = static_cast<unsigned char>(bytes[start + i]);
			if(!IsContinuationByte(byte))
				return 0;
			codePoint = (codePoint << 6) | (byte & 0x3F);
		}
		if(codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
			return 0;
		length = needed;
		return codePoint;
	}
}

std::u32string DecodeUtf8(const std::string &bytes, char32_t replacement)
{
	std::u32string text;
	text.reserve(bytes.size());
	size_t position = 0;
	while(position < bytes.size())
	{
		size_t length = 0;
		const char32_t codePoint = DecodeSequence(bytes, position, length);
		if(length == 0)
		{
			text.push_back(replacement);
			++position;
			continue;
		}
		text.push_back(codePoint);
		position += length;
	}
	return text;
}
