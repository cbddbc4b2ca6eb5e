// A pass's channel lines and compiled text: see channels.h.
#include "scene/channels.h"

#include <cctype>
#include <sstream>

const char *const kTemplateMarker = "// ---- mainImage goes below this line ----";

bool ChannelSpec::operator==(const ChannelSpec &other) const
{
	return source == other.source && buffer == other.buffer && image == other.image && filter == other.filter &&
	       wrap == other.wrap && line == other.line;
}

std::string BufferName(int buffer)
{
	return std::string("buffer") + static_cast<char>('A' + buffer);
}

namespace
{
	const char *const kChannelPrefix = "#iChannel";

	struct NamedSource
	{
		const char *name;
		ChannelSource source;
	};

	const NamedSource kNamedSources[] = {
	    {"self", ChannelSource::Self},         {"sound", ChannelSource::Sound}, {"message", ChannelSource::Message},
	    {"keyboard", ChannelSource::Keyboard}, {"none", ChannelSource::None},
	};

	const char *const kImageFolder = "images/";

	// The values of a channel's settings, by the names its lines give them.
	template <typename Value>
	struct NamedValue
	{
		const char *name;
		Value value;
	};
	const NamedValue<ChannelFilter> kFilters[] = {
	    {"nearest", ChannelFilter::Nearest}, {"linear", ChannelFilter::Linear}, {"mipmap", ChannelFilter::Mipmap}};
	const NamedValue<ChannelWrap> kWraps[] = {{"clamp", ChannelWrap::Clamp}, {"repeat", ChannelWrap::Repeat}};

	// Sets *setting (not yet given: Value::Default) to the value named in
	// values; fails with what is wrong.
	template <typename Value, size_t count>
	Error ReadSetting(const NamedValue<Value> (&values)[count], const std::string &given, const std::string &channel,
	                  const char *what, const char *known, Value &setting)
	{
		if(setting != Value::Default)
			return Error{channel + " is given a " + what + " twice"};
		for(const NamedValue<Value> &named : values)
			if(given == named.name)
			{
				setting = named.value;
				return {};
			}
		return Error{std::string("unknown ") + what + " \"" + given + "\" for " + channel + ": " + known};
	}

	std::string Trimmed(const std::string &text)
	{
		size_t first = 0;
		size_t last = text.size();
		while(first < last && std::isspace(static_cast<unsigned char>(text[first])))
			++first;
		while(last > first && std::isspace(static_cast<unsigned char>(text[last - 1])))
			--last;
		return text.substr(first, last - first);
	}

	// Whether path names a file under images/ without leaving it.
	bool InsideImages(const std::string &path)
	{
		if(path.compare(0, std::string(kImageFolder).size(), kImageFolder) != 0 ||
		   path.size() == std::string(kImageFolder).size())
			return false;
		std::istringstream parts(path);
		std::string part;
		while(std::getline(parts, part, '/'))
			if(part == "..")
				return false;
		return path.back() != '/';
	}

	// The channel line that a trimmed line of text is, with any blanks
	// between '#' and "iChannel" taken out; "" when it is none.
	std::string ChannelLineText(const std::string &line)
	{
		if(line.empty() || line[0] != '#')
			return "";
		size_t word = 1;
		while(word < line.size() && (line[word] == ' ' || line[word] == '\t'))
			++word;
		const std::string rest = line.substr(word);
		return rest.compare(0, std::string(kChannelPrefix + 1).size(), kChannelPrefix + 1) == 0 ? "#" + rest : "";
	}

	// Reads one channel line (trimmed, starting with "#iChannel") into
	// channels; fails with what is wrong.
	Error ReadChannelLine(const std::string &line, int number, std::array<ChannelSpec, kChannelCount> &channels)
	{
		const size_t prefix = std::string(kChannelPrefix).size();
		if(line.size() <= prefix || line[prefix] < '0' || line[prefix] > '3' ||
		   (line.size() > prefix + 1 && std::isdigit(static_cast<unsigned char>(line[prefix + 1]))))
			return Error{"there are channels iChannel0 to iChannel3 only"};
		const int index = line[prefix] - '0';
		size_t at = prefix + 1;
		std::string setting;
		if(line.compare(at, 2, "::") == 0)
		{
			const size_t end = line.find_first_of(" \t\"", at + 2);
			setting = line.substr(at + 2, end == std::string::npos ? std::string::npos : end - at - 2);
			at = end == std::string::npos ? line.size() : end;
		}
		std::string rest = Trimmed(line.substr(at));
		const size_t comment = rest.find("//");
		if(rest.size() >= 2 && rest[0] == '"' && comment != std::string::npos && comment > rest.find('"', 1))
			rest = Trimmed(rest.substr(0, comment));
		const size_t closing = rest.size() >= 2 && rest.front() == '"' ? rest.find('"', 1) : std::string::npos;
		if(closing == std::string::npos)
			return Error{"the value of iChannel" + std::to_string(index) + " must stand in double quotes"};
		if(closing != rest.size() - 1)
			return Error{"only a // comment may follow the value of iChannel" + std::to_string(index)};
		const std::string value = rest.substr(1, rest.size() - 2);
		ChannelSpec &channel = channels[static_cast<size_t>(index)];
		const std::string name = "iChannel" + std::to_string(index);

		if(setting.empty())
		{
			if(channel.source != ChannelSource::Default)
				return Error{name + " is given a source twice"};
			channel.line = number;
			for(int buffer = 0; buffer < kBufferCount; ++buffer)
				if(value == BufferName(buffer))
				{
					channel.source = ChannelSource::Buffer;
					channel.buffer = buffer;
					return {};
				}
			for(const NamedSource &named : kNamedSources)
				if(value == named.name)
				{
					channel.source = named.source;
					return {};
				}
			if(InsideImages(value))
			{
				channel.source = ChannelSource::Image;
				channel.image = value;
				return {};
			}
			if(value.find('/') != std::string::npos || value.find('.') != std::string::npos)
				return Error{"the image \"" + value + "\" of " + name +
				             " is not under images/: an image path starts with images/ and has no .. in it"};
			return Error{"unknown source \"" + value + "\" for " + name +
			             ": bufferA to bufferD, self, sound, message, keyboard, none, or an image under images/"};
		}
		if(setting == "filter")
			return ReadSetting(kFilters, value, name, "filter", "nearest, linear or mipmap", channel.filter);
		if(setting == "wrap")
			return ReadSetting(kWraps, value, name, "wrap", "clamp or repeat", channel.wrap);
		return Error{"unknown setting \"" + setting + "\" for " + name + ": filter or wrap"};
	}
}

ChannelLines ParseChannelLines(const std::string &text)
{
	ChannelLines parsed;
	parsed.text.reserve(text.size());
	size_t start = 0;
	int number = 1;
	while(start < text.size())
	{
		size_t end = text.find('\n', start);
		const bool lastLine = end == std::string::npos;
		if(lastLine)
			end = text.size();
		const std::string line = ChannelLineText(Trimmed(text.substr(start, end - start)));
		if(!line.empty())
		{
			const Error error = ReadChannelLine(line, number, parsed.channels);
			if(error && !parsed.error)
				parsed.error = Error{std::to_string(number) + ": " + error.message};
		}
		else
			parsed.text.append(text, start, end - start);
		if(!lastLine)
			parsed.text += '\n';
		start = end + 1;
		++number;
	}
	return parsed;
}

ChannelSpec ResolveChannel(const ChannelSpec &spec, int index)
{
	ChannelSpec resolved = spec;
	if(resolved.source == ChannelSource::Default)
		resolved.source = index == 0 ? ChannelSource::Sound : index == 1 ? ChannelSource::Message : ChannelSource::None;
	const bool image = resolved.source == ChannelSource::Image;
	if(resolved.filter == ChannelFilter::Default)
		resolved.filter = image ? ChannelFilter::Mipmap : ChannelFilter::Linear;
	if(resolved.wrap == ChannelWrap::Default)
		resolved.wrap = image ? ChannelWrap::Repeat : ChannelWrap::Clamp;
	return resolved;
}

namespace
{
	// The offset of the newline that ends the first line of text beginning
	// (after blanks) with start, with *lineNumber set to its number from 1;
	// npos when no line does.
	size_t EndOfLineStartingWith(const std::string &text, const std::string &start, int *lineNumber)
	{
		size_t at = 0;
		int number = 1;
		while(at < text.size())
		{
			size_t end = text.find('\n', at);
			if(end == std::string::npos)
				end = text.size();
			if(Trimmed(text.substr(at, end - at)).compare(0, start.size(), start) == 0)
			{
				*lineNumber = number;
				return end;
			}
			at = end + 1;
			++number;
		}
		return std::string::npos;
	}

	// The offset just past the line below which the common code goes (the
	// template's marker, else #version), and that line's number; 0 and 0 when
	// the text has neither.
	size_t InsertionPoint(const std::string &passText, int *lineNumber)
	{
		*lineNumber = 0;
		size_t end = EndOfLineStartingWith(passText, kTemplateMarker, lineNumber);
		if(end == std::string::npos)
			end = EndOfLineStartingWith(passText, "#version", lineNumber);
		if(end == std::string::npos)
		{
			*lineNumber = 0;
			return 0;
		}
		return end < passText.size() ? end + 1 : end;
	}
}

std::string ComposePassText(const std::string &passText, const std::string &commonText)
{
	if(commonText.empty())
		return passText;
	int lineNumber = 0;
	const size_t split = InsertionPoint(passText, &lineNumber);
	std::string head = passText.substr(0, split);
	if(!head.empty() && head.back() != '\n')
		head += '\n';
	std::string common = commonText;
	if(common.back() != '\n')
		common += '\n';
	return head + "#line 1 " + std::to_string(kCommonSourceString) + "\n" + common + "#line " +
	       std::to_string(lineNumber + 1) + " " + std::to_string(kPassSourceString) + "\n" + passText.substr(split);
}

std::string WithoutByteOrderMark(const std::string &text)
{
	const std::string mark = "\xEF\xBB\xBF";
	return text.compare(0, mark.size(), mark) == 0 ? text.substr(mark.size()) : text;
}

std::string PassHead(const std::string &passText)
{
	int lineNumber = 0;
	return passText.substr(0, InsertionPoint(passText, &lineNumber));
}
