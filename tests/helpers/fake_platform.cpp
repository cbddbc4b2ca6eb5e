// The scripted GL platform: see fake_platform.h.
#include "fake_platform.h"

#include <algorithm>
#include <cstring>

#include "gll_int.h"

FakePlatform fakePlatform;

namespace
{
	const GLenum kVersion = 0x1F02;
	const GLenum kExtensions = 0x1F03;
	const GLenum kNumExtensions = 0x821D;
	const GLenum kContextProfileMask = 0x9126;

	const GLubyte *FakeGetString(GLenum name)
	{
		if(name == kVersion)
			return fakePlatform.versionIsNull ? nullptr
			                                  : reinterpret_cast<const GLubyte *>(fakePlatform.version.c_str());
		if(name == kExtensions)
			return reinterpret_cast<const GLubyte *>(fakePlatform.extensionString.c_str());
		return nullptr;
	}

	const GLubyte *FakeGetStringi(GLenum name, GLuint index)
	{
		++fakePlatform.indexedNameQueries;
		if(name != kExtensions || index >= fakePlatform.indexedExtensions.size())
			return nullptr;
		return reinterpret_cast<const GLubyte *>(fakePlatform.indexedExtensions[index]);
	}

	void FakeGetIntegerv(GLenum name, GLint *value)
	{
		if(name == kNumExtensions)
		{
			++fakePlatform.numExtensionQueries;
			*value = static_cast<GLint>(fakePlatform.indexedExtensions.size());
		}
		else if(name == kContextProfileMask)
		{
			++fakePlatform.profileMaskQueries;
			if(fakePlatform.answersProfileMask)
				*value = fakePlatform.profileMask;
		}
	}

	void FakeEntryPoint()
	{
	}
}

int FakePlatform::FetchCount(const std::string &name) const
{
	return static_cast<int>(std::count(fetched.begin(), fetched.end(), name));
}

void ResetFakePlatform()
{
	fakePlatform = FakePlatform();
}

extern "C" gleIntProc glXGetProcAddressARB(const GLubyte *procName)
{
	const char *name = reinterpret_cast<const char *>(procName);
	fakePlatform.fetched.emplace_back(name);
	if(fakePlatform.nullNames.count(name))
		return nullptr;
	if(std::strcmp(name, "glGetString") == 0)
		return reinterpret_cast<gleIntProc>(FakeGetString);
	if(std::strcmp(name, "glGetStringi") == 0)
		return reinterpret_cast<gleIntProc>(FakeGetStringi);
	if(std::strcmp(name, "glGetIntegerv") == 0)
		return reinterpret_cast<gleIntProc>(FakeGetIntegerv);
	return FakeEntryPoint;
}

extern "C" const char *glXQueryExtensionsString(struct _XDisplay *, int)
{
	return fakePlatform.glxIsNull ? nullptr : fakePlatform.glxExtensions.c_str();
}
