// UTF-8 decoding and white-space folding for the message text.
#include "message_text.h"

namespace
{
	const char32_t kByteOrderMark = 0xFEFF;

	bool IsContinuationByte(unsigned char byte)
	{
		return (byte & 0xC0) == 0x80;
	}

	// The code point of the well-formed sequence at bytes[start], and its
	// length in bytes; a length of 0 means the sequence is malformed.
	char32_t DecodeSequence(const std::string &bytes, size_t start, size_t &length)
	{
		const unsigned char lead = static_cast<unsigned char>(bytes[start]);
		char32_t codePoint;
		char32_t smallest;
		if(lead < 0x80)
		{
			length = 1;
			return lead;
		}
		else if((lead & 0xE0) == 0xC0)
		{
			length = 2;
			codePoint = lead & 0x1F;
			smallest = 0x80;
		}
		else if((lead & 0xF0) == 0xE0)
		{
			length = 3;
			codePoint = lead & 0x0F;
			smallest = 0x800;
		}
		else if((lead & 0xF8) == 0xF0)
		{
			length = 4;
			codePoint = lead & 0x07;
			smallest = 0x10000;
		}
		else
		{
			length = 0;
			return 0;
		}

		if(start + length > bytes.size())
		{
			length = 0;
			return 0;
		}
		for(size_t i = 1; i < length; ++i)
		{
			const unsigned char byte = static_cast<unsigned char>(bytes[start + i]);
			if(!IsContinuationByte(byte))
			{
				length = 0;
				return 0;
			}
			codePoint = (codePoint << 6) | (byte & 0x3F);
		}

		const bool isSurrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
		if(codePoint < smallest || codePoint > 0x10FFFF || isSurrogate)
		{
			length = 0;
			return 0;
		}
		return codePoint;
	}

	bool IsWhiteSpace(char32_t codePoint)
	{
		return codePoint == ' ' || codePoint == '\t' || codePoint == '\n' || codePoint == '\v' || codePoint == '\f' ||
		       codePoint == '\r';
	}
}

std::vector<char32_t> DecodeUtf8(const std::string &bytes)
{
	std::vector<char32_t> text;
	size_t position = 0;
	while(position < bytes.size())
	{
		size_t length;
		const char32_t codePoint = DecodeSequence(bytes, position, length);
		if(length == 0)
		{
			text.push_back('?');
			position += 1;
			continue;
		}
		if(!(position == 0 && codePoint == kByteOrderMark))
			text.push_back(codePoint);
		position += length;
	}
	return text;
}

std::vector<char32_t> CollapseWhiteSpace(const std::vector<char32_t> &text)
{
	std::vector<char32_t> line;
	bool spacePending = false;
	for(char32_t codePoint : text)
	{
		if(IsWhiteSpace(codePoint))
		{
			spacePending = !line.empty();
			continue;
		}
		if(spacePending)
			line.push_back(' ');
		spacePending = false;
		line.push_back(codePoint);
	}
	return line;
}
