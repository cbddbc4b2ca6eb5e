// A scripted GL platform for the loader's unit tests and fuzzers. It defines
// glXGetProcAddressARB and glXQueryExtensionsString in place of libGL's: every
// fetch is logged, names listed in nullNames come back null, glGetString,
// glGetStringi and glGetIntegerv answer from the script, and every other name
// gets the address of a do-nothing function.
#ifndef TESTS_FAKE_PLATFORM_H
#define TESTS_FAKE_PLATFORM_H

#include <glload/_int_gl_type.h>

#include <set>
#include <string>
#include <vector>

struct FakePlatform
{
	// glGetString(GL_VERSION); versionIsNull makes it return NULL.
	std::string version = "3.3.0 build 7";
	bool versionIsNull = false;
	// glGetString(GL_EXTENSIONS), for contexts below 3.0.
	std::string extensionString;
	// glGetStringi(GL_EXTENSIONS, i); a null entry is a NULL name.
	std::vector<const char *> indexedExtensions;
	// glGetIntegerv(GL_CONTEXT_PROFILE_MASK); unanswered leaves the value alone.
	GLint profileMask = 0x1;
	bool answersProfileMask = true;
	// glXQueryExtensionsString; glxIsNull makes it return NULL.
	std::string glxExtensions;
	bool glxIsNull = false;

	std::set<std::string> nullNames;

	// What the loader asked for, in order.
	std::vector<std::string> fetched;
	int profileMaskQueries = 0;
	int numExtensionQueries = 0;
	int indexedNameQueries = 0;

	// How many fetches named this entry point.
	int FetchCount(const std::string &name) const;
};

// The script the fake functions answer from; tests reset it before each case.
extern FakePlatform fakePlatform;

// Sets fakePlatform back to a 3.3 core-profile context with no extensions.
void ResetFakePlatform();

#endif
