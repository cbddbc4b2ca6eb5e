// The loader's namespaced face: one-to-one forwarding to the flat face.
#include "glload/gll.hpp"

namespace glload
{
	int LoadFunctions()
	{
		return ::LoadFunctions();
	}

	int GetMajorVersion()
	{
		return ::GetMajorVersion();
	}

	int GetMinorVersion()
	{
		return ::GetMinorVersion();
	}

	bool IsVersionGEQ(int iMajorVersion, int iMinorVersion)
	{
		return ::IsVersionGEQ(iMajorVersion, iMinorVersion) != 0;
	}

	int LoadGLXFunctions(void *display, int screen)
	{
		return ::LoadGLXFunctions(display, screen);
	}
}
