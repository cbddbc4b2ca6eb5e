// The GL function loader, namespaced face: each function calls the flat
// function of the same name (gll.h) and returns its result. None throws.
#ifndef GLLOAD_GLL_HPP
#define GLLOAD_GLL_HPP

#include "gll.h"

namespace glload
{
	// Loads the current context's entry points and extension flags; a LoadSucceeded value.
	int LoadFunctions();

	// The version found by the last LoadFunctions (0.0 before it or when unreadable).
	int GetMajorVersion();
	int GetMinorVersion();

	// True when the context version is at least iMajorVersion.iMinorVersion.
	bool IsVersionGEQ(int iMajorVersion, int iMinorVersion);

	// Sets the glXext_ flags from a Display's GLX extension list; always LS_LOAD_FUNCTIONS_ALL.
	int LoadGLXFunctions(void *display, int screen);
}

#endif
