// Quitting during a shader build. A build runs in the driver on the window's
// thread, and a long one (minutes, for a shader the compiler unrolls) holds
// every key until it ends. The watch reads the window's key presses on an X
// connection and a thread of its own, so that q or Escape pressed while a
// build is under way ends the studio at once.
#ifndef STUDIO_BUILD_WATCH_H
#define STUDIO_BUILD_WATCH_H

#include <memory>
#include <string>

#include "report/error.h"

struct BuildWatch;

// Ends a watch: stops its thread and closes its connection.
struct BuildWatchEnd
{
	void operator()(BuildWatch *watch) const;
};
using BuildWatchHandle = std::unique_ptr<BuildWatch, BuildWatchEnd>;

// A watch as StartBuildWatch left it: null when error is set.
struct BuildWatchStart
{
	BuildWatchHandle watch;
	Error error;
};

// Starts watching the window of the current GL context. Fails with one line
// when its connection to the display does not open; keys then wait for the
// build to end, as they would without it.
BuildWatchStart StartBuildWatch();

// Marks a build of what ("intro.frag") as under way, or, with an empty what,
// as over. While one is under way, q or Escape prints "studio: quit while
// building WHAT" on standard error and ends the process with status 0.
// A null watch is allowed and does nothing.
void SetBuildUnderWay(BuildWatch *watch, const std::string &what);

#endif
