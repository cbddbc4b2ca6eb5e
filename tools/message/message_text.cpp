// Decoding and white-space folding for the message text.
#include "message_text.h"

#include "text/utf8.h"

namespace
{
	const char32_t kByteOrderMark = 0xFEFF;

	bool IsWhiteSpace(char32_t codePoint)
	{
		return codePoint == ' ' || codePoint == '\t' || codePoint == '\n' || codePoint == '\v' || codePoint == '\f' ||
		       codePoint == '\r';
	}
}

std::vector<char32_t> DecodeMessageText(const std::string &bytes)
{
	const std::u32string text = DecodeUtf8(bytes, U'?');
	const bool marked = !text.empty() && text.front() == kByteOrderMark;
	return std::vector<char32_t>(text.begin() + (marked ? 1 : 0), text.end());
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
