// Fuzzes the loader's driver (LoadFunctions, LoadGLXFunctions and the version
// queries) through the scripted platform, with no GL library.
//
// Input layout; every part may be missing and then counts as empty or zero:
//   byte 0      switches: 0x01 glGetString(GL_VERSION) is NULL, 0x02 the
//               profile mask is not answered, 0x04 glXQueryExtensionsString
//               is NULL, 0x08/0x10/0x20 the entry points glGetString /
//               glGetStringi / glGetIntegerv come back NULL
//   bytes 1-4   the profile mask, little-endian
//   then up to five sections, each ended by 0xFF:
//     the version string, the GL_EXTENSIONS string (for contexts below 3.0),
//     the indexed extension list (entries ended by 0xFE; an entry holding
//     0xFD is a NULL name), the GLX extension string, and the entry points to
//     null: each two bytes (little-endian) pick one name from the fetches of
//     a first run that nulls nothing.
//   In the text sections 0xFC HI LO inserts the name of GL extension map row
//   (HI * 256 + LO) modulo its size, 0xFB HI LO the same for the GLX map,
//   0xFA N inserts 200 + N 'x' characters and 0xF9 B the byte B itself.
//
// Each input is loaded twice: as scripted but with every entry point present,
// then with the chosen entry points nulled; the second load may only fail or
// lose entry points, never change what the first found.
#include <glload/gll.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fake_platform.h"
#include "gll_gl_ext.h"
#include "glxl_ext.h"

namespace
{
	enum : uint8_t
	{
		kVersionNull = 0x01,
		kProfileUnanswered = 0x02,
		kGlxNull = 0x04,
		kNullGetString = 0x08,
		kNullGetStringi = 0x10,
		kNullGetIntegerv = 0x20
	};

	struct Script
	{
		uint8_t switches = 0;
		int32_t profileMask = 0;
		std::string version;
		std::string extensionString;
		std::vector<std::string> indexed;
		std::vector<bool> indexedIsNull;
		std::string glxExtensions;
		std::vector<uint16_t> nullPicks;
	};

	class Reader
	{
	public:
		Reader(const uint8_t *data, size_t size) : data(data), size(size)
		{
		}

		bool AtEnd() const
		{
			return at >= size;
		}
		uint8_t Byte()
		{
			return at < size ? data[at++] : 0;
		}

		// The bytes up to the next 0xFF (consumed, not returned) or the end.
		std::vector<uint8_t> Section()
		{
			std::vector<uint8_t> bytes;
			while(at < size && data[at] != 0xFF)
				bytes.push_back(data[at++]);
			if(at < size)
				++at;
			return bytes;
		}

	private:
		const uint8_t *data;
		size_t size;
		size_t at = 0;
	};

	// Expands the escapes of a text section.
	std::string Text(const std::vector<uint8_t> &bytes)
	{
		std::string text;
		for(size_t i = 0; i < bytes.size(); ++i)
		{
			const uint8_t b = bytes[i];
			if((b == 0xFC || b == 0xFB) && i + 2 < bytes.size())
			{
				const int row = bytes[i + 1] << 8 | bytes[i + 2];
				text += b == 0xFC ? gleIntExtensionMap[row % gleIntExtensionMapSize].strExtensionName
				                  : glXeIntExtensionMap[row % glXeIntExtensionMapSize].strExtensionName;
				i += 2;
			}
			else if(b == 0xFA && i + 1 < bytes.size())
				text.append(200 + bytes[++i], 'x');
			else if(b == 0xF9 && i + 1 < bytes.size())
				text += static_cast<char>(bytes[++i]);
			else if(b < 0xF9 || b > 0xFC)
				text += static_cast<char>(b);
		}
		return text;
	}

	Script Decode(const uint8_t *data, size_t size)
	{
		Reader in(data, size);
		Script script;
		script.switches = in.Byte();
		uint32_t mask = 0;
		for(int shift = 0; shift < 32; shift += 8)
			mask |= static_cast<uint32_t>(in.Byte()) << shift;
		script.profileMask = static_cast<int32_t>(mask);
		script.version = Text(in.Section());
		script.extensionString = Text(in.Section());

		const std::vector<uint8_t> list = in.Section();
		if(!list.empty())
		{
			std::vector<uint8_t> entry;
			for(size_t i = 0; i <= list.size(); ++i)
			{
				if(i < list.size() && list[i] != 0xFE)
				{
					entry.push_back(list[i]);
					continue;
				}
				bool isNull = false;
				for(uint8_t b : entry)
					isNull = isNull || b == 0xFD;
				script.indexed.push_back(isNull ? std::string() : Text(entry));
				script.indexedIsNull.push_back(isNull);
				entry.clear();
			}
		}

		script.glxExtensions = Text(in.Section());
		const std::vector<uint8_t> picks = in.Section();
		for(size_t i = 0; i + 1 < picks.size(); i += 2)
			script.nullPicks.push_back(static_cast<uint16_t>(picks[i] | picks[i + 1] << 8));
		return script;
	}

	// Sets the fake platform up from the script. The indexed names point into
	// script, which outlives the load.
	void Apply(const Script &script, const std::set<std::string> &nullNames)
	{
		ResetFakePlatform();
		fakePlatform.version = script.version;
		fakePlatform.versionIsNull = script.switches & kVersionNull;
		fakePlatform.answersProfileMask = !(script.switches & kProfileUnanswered);
		fakePlatform.profileMask = script.profileMask;
		fakePlatform.extensionString = script.extensionString;
		for(size_t i = 0; i < script.indexed.size(); ++i)
			fakePlatform.indexedExtensions.push_back(script.indexedIsNull[i] ? nullptr : script.indexed[i].c_str());
		fakePlatform.glxExtensions = script.glxExtensions;
		fakePlatform.glxIsNull = script.switches & kGlxNull;
		fakePlatform.nullNames = nullNames;
	}

	[[noreturn]] void Fail(const char *what, const Script &script)
	{
		std::fprintf(stderr, "fuzz_loader: %s\n  version \"%s\" (null %d), profile mask %d (answered %d)\n", what,
		             script.version.c_str(), script.switches & kVersionNull, script.profileMask,
		             !(script.switches & kProfileUnanswered));
		std::abort();
	}

	// ASCII case-insensitive equality, as the C locale compares names.
	bool SameName(const char *a, const char *b)
	{
		for(;; ++a, ++b)
		{
			const int ca = (*a >= 'A' && *a <= 'Z') ? *a + 32 : static_cast<unsigned char>(*a);
			const int cb = (*b >= 'A' && *b <= 'Z') ? *b + 32 : static_cast<unsigned char>(*b);
			if(ca != cb)
				return false;
			if(ca == 0)
				return true;
		}
	}

	// The names a blank-separated list advertises, in the order a reader
	// walks them: the text ends at its first NUL, and the walk gives up at
	// the first name longer than 255 characters.
	std::vector<std::string> WalkedNames(const std::string &list)
	{
		const std::string text(list.c_str());
		std::vector<std::string> names;
		size_t start = 0;
		while(start < text.size())
		{
			size_t blank = text.find(' ', start);
			const size_t end = blank == std::string::npos ? text.size() : blank;
			if(end - start > 255)
				break;
			names.push_back(text.substr(start, end - start));
			if(blank == std::string::npos)
				break;
			start = blank + 1;
		}
		return names;
	}

	// The flags a map should hold after a walk over these names.
	std::vector<int> ExpectedFlags(const StrToExtMap *map, int size, const std::vector<std::string> &names)
	{
		std::vector<int> flags(static_cast<size_t>(size), 0);
		for(int row = 0; row < size; ++row)
			for(const std::string &name : names)
				if(SameName(name.c_str(), map[row].strExtensionName))
					flags[static_cast<size_t>(row)] = 1;
		return flags;
	}

	std::vector<int> Flags(const StrToExtMap *map, int size)
	{
		std::vector<int> flags;
		for(int row = 0; row < size; ++row)
			flags.push_back(*map[row].pExtensionVariable);
		return flags;
	}

	void CheckFlagsAreBooleans(const std::vector<int> &flags, const Script &script)
	{
		for(int flag : flags)
			if(flag != 0 && flag != 1)
				Fail("an extension flag is neither 0 nor 1", script);
	}

	// The numbers of a version string of the form "<digits>.<digits>", ending
	// there or at a blank; a field longer than nine digits reads as its first
	// nine. False for any other form.
	bool PlainVersion(const std::string &version, int &major, int &minor)
	{
		const char *text = version.c_str();
		const size_t majorDigits = std::strspn(text, "0123456789");
		if(majorDigits == 0 || text[majorDigits] != '.')
			return false;
		const char *minorText = text + majorDigits + 1;
		const size_t minorDigits = std::strspn(minorText, "0123456789");
		if(minorDigits == 0 || (minorText[minorDigits] != '\0' && minorText[minorDigits] != ' '))
			return false;
		major = std::stoi(std::string(text, majorDigits < 9 ? majorDigits : 9));
		minor = std::stoi(std::string(minorText, minorDigits < 9 ? minorDigits : 9));
		return true;
	}

	struct Outcome
	{
		int result;
		int major;
		int minor;
		std::vector<int> glFlags;
		std::vector<int> glxFlags;
		std::vector<std::string> fetched;
	};

	Outcome Load(const Script &script)
	{
		Outcome outcome;
		outcome.result = LoadFunctions();
		if(outcome.result != LS_LOAD_FUNCTIONS_ALL && outcome.result != LS_LOAD_FUNCTIONS_SOME &&
		   outcome.result != LS_LOAD_FAILED)
			Fail("LoadFunctions returned an unknown result", script);
		outcome.major = GetMajorVersion();
		outcome.minor = GetMinorVersion();
		const int major = outcome.major;
		const int minor = outcome.minor;
		if(!IsVersionGEQ(major, minor) || !IsVersionGEQ(major, minor - 1) || !IsVersionGEQ(major - 1, 999999999) ||
		   IsVersionGEQ(major, minor + 1) || IsVersionGEQ(major + 1, -999999999))
			Fail("IsVersionGEQ disagrees with GetMajorVersion and GetMinorVersion", script);
		outcome.glFlags = Flags(gleIntExtensionMap, gleIntExtensionMapSize);
		CheckFlagsAreBooleans(outcome.glFlags, script);
		outcome.fetched = std::move(fakePlatform.fetched);
		fakePlatform.fetched.clear();

		// The fake platform ignores the display; any non-null one will do.
		int display = 0;
		if(LoadGLXFunctions(&display, 0) != LS_LOAD_FUNCTIONS_ALL)
			Fail("LoadGLXFunctions did not return LS_LOAD_FUNCTIONS_ALL", script);
		if(!fakePlatform.fetched.empty())
			Fail("LoadGLXFunctions fetched entry points", script);
		if(Flags(gleIntExtensionMap, gleIntExtensionMapSize) != outcome.glFlags)
			Fail("LoadGLXFunctions changed a GL extension flag", script);
		outcome.glxFlags = Flags(glXeIntExtensionMap, glXeIntExtensionMapSize);
		CheckFlagsAreBooleans(outcome.glxFlags, script);
		const std::vector<int> expectedGlx =
		    (script.switches & kGlxNull)
		        ? std::vector<int>(static_cast<size_t>(glXeIntExtensionMapSize), 0)
		        : ExpectedFlags(glXeIntExtensionMap, glXeIntExtensionMapSize, WalkedNames(script.glxExtensions));
		if(outcome.glxFlags != expectedGlx)
			Fail("the GLX flags differ from the advertised GLX extensions", script);
		return outcome;
	}

	// The first load: every entry point is there, so the load either fails
	// for want of a version string or gets everything.
	void CheckFirstLoad(const Script &script, const Outcome &outcome)
	{
		if(script.switches & kVersionNull)
		{
			if(outcome.result != LS_LOAD_FAILED || outcome.major != 0 || outcome.minor != 0)
				Fail("a NULL version string did not fail the load with version 0.0", script);
		}
		else if(outcome.result != LS_LOAD_FUNCTIONS_ALL)
			Fail("a load with every entry point present did not return LS_LOAD_FUNCTIONS_ALL", script);

		if(!(script.switches & kVersionNull))
		{
			int major = outcome.major;
			int minor = outcome.minor;
			if(std::strchr(script.version.c_str(), '.') == nullptr)
				major = minor = 0;
			else
				PlainVersion(script.version, major, minor);
			if(outcome.major != major || outcome.minor != minor)
				Fail("the version read differs from the version string", script);
		}

		std::vector<int> expected(static_cast<size_t>(gleIntExtensionMapSize), 0);
		if(outcome.result != LS_LOAD_FAILED)
		{
			std::vector<std::string> names;
			if(outcome.major >= 3)
			{
				for(size_t i = 0; i < script.indexed.size(); ++i)
					if(!script.indexedIsNull[i])
						names.emplace_back(script.indexed[i].c_str());
			}
			else
				names = WalkedNames(script.extensionString);
			expected = ExpectedFlags(gleIntExtensionMap, gleIntExtensionMapSize, names);
		}
		if(outcome.glFlags != expected)
			Fail("the GL flags differ from the advertised extensions", script);
	}

	// Whether the first load's core version set fetched one of these names:
	// a name counts when the load fetched it more often than the three base
	// fetches and the advertised extensions' loaders (each run alone) explain.
	bool CoreSetFetchedAny(const Script &script, const Outcome &first, const std::set<std::string> &names)
	{
		std::map<std::string, int> count;
		for(const std::string &name : first.fetched)
			if(names.count(name))
				++count[name];
		for(const char *base : {"glGetString", "glGetStringi", "glGetIntegerv"})
			if(names.count(base))
				--count[base];
		for(int row = 0; row < gleIntExtensionMapSize; ++row)
		{
			if(!first.glFlags[static_cast<size_t>(row)] || !gleIntExtensionMap[row].LoadExtension)
				continue;
			ResetFakePlatform();
			gleIntExtensionMap[row].LoadExtension();
			for(const std::string &name : fakePlatform.fetched)
				if(names.count(name))
					--count[name];
		}
		bool any = false;
		for(const auto &entry : count)
		{
			if(entry.second < 0)
				Fail("an advertised extension's entry points were not all fetched", script);
			any = any || entry.second > 0;
		}
		return any;
	}

	// The second load, with entry points nulled: only the three base entry
	// points can fail it; any other null turns ALL into SOME exactly when the
	// core version set fetched it, and changes neither the version nor a flag.
	void CheckSecondLoad(const Script &script, const std::set<std::string> &nulled, const Outcome &first,
	                     const Outcome &second)
	{
		const bool noGetString = nulled.count("glGetString");
		const bool noIndexed = nulled.count("glGetStringi") || nulled.count("glGetIntegerv");
		const bool fails = first.result == LS_LOAD_FAILED || noGetString || (first.major >= 3 && noIndexed);
		if(fails)
		{
			if(second.result != LS_LOAD_FAILED)
				Fail("a load without a base entry point did not fail", script);
			for(int flag : second.glFlags)
				if(flag != 0)
					Fail("a failed load left an extension flag set", script);
			if(second.major != 0 || second.minor != 0)
				Fail("a failed load reports a version other than 0.0", script);
			return;
		}
		if(second.result == LS_LOAD_FAILED)
			Fail("a load failed although its base entry points were there", script);
		if(second.major != first.major || second.minor != first.minor)
			Fail("nulling entry points changed the version", script);
		if(second.glFlags != first.glFlags)
			Fail("nulling entry points changed an extension flag", script);
		const bool coreNulled = CoreSetFetchedAny(script, first, nulled);
		if(second.result != (coreNulled ? LS_LOAD_FUNCTIONS_SOME : LS_LOAD_FUNCTIONS_ALL))
			Fail("the result does not say whether a core entry point came back null", script);
	}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const Script script = Decode(data, size);

	Apply(script, {});
	const Outcome first = Load(script);
	CheckFirstLoad(script, first);

	std::set<std::string> nulled;
	if(script.switches & kNullGetString)
		nulled.insert("glGetString");
	if(script.switches & kNullGetStringi)
		nulled.insert("glGetStringi");
	if(script.switches & kNullGetIntegerv)
		nulled.insert("glGetIntegerv");
	for(uint16_t pick : script.nullPicks)
		nulled.insert(first.fetched[pick % first.fetched.size()]);
	if(nulled.empty())
		return 0;

	Apply(script, nulled);
	const Outcome second = Load(script);
	CheckSecondLoad(script, nulled, first, second);
	return 0;
}
