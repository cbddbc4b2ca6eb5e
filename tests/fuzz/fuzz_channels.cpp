// Fuzzes a pass's channel lines and its compiled text: ParseChannelLines on
// any bytes, then ComposePassText and PassHead with the rest as common code.
// Invariants: the blanked text keeps every line (as many newlines as the
// input), a good line's image path stays under images/ with no ".."
// component, and the
// composed text holds the pass's text after its head.
//
// Input layout: the pass's text up to the first 0xFF byte, the common code
// after it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scene/channels.h"

namespace
{
	void Check(bool holds)
	{
		if(!holds)
			std::abort();
	}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const std::string input(reinterpret_cast<const char *>(data), size);
	const size_t split = input.find('\xff');
	const std::string pass = input.substr(0, split);
	const std::string common = split == std::string::npos ? "" : input.substr(split + 1);

	const ChannelLines parsed = ParseChannelLines(pass);
	Check(std::count(parsed.text.begin(), parsed.text.end(), '\n') == std::count(pass.begin(), pass.end(), '\n'));
	for(const ChannelSpec &channel : parsed.channels)
		if(channel.source == ChannelSource::Image)
			Check(channel.image.rfind("images/", 0) == 0 &&
			      ("/" + channel.image + "/").find("/../") == std::string::npos);

	const std::string head = PassHead(parsed.text);
	Check(parsed.text.compare(0, head.size(), head) == 0);
	const std::string composed = ComposePassText(parsed.text, common);
	Check(composed.size() >= parsed.text.size());
	Check(composed.compare(composed.size() - (parsed.text.size() - head.size()), std::string::npos, parsed.text,
	                       head.size(), std::string::npos) == 0);
	return 0;
}
