// The studio's keys that the window toolkit cannot deliver. A shader build
// runs in the driver on the window's thread, and a long one (minutes, for a
// shader the compiler unrolls) holds every key until it ends; and the toolkit
// drops Shift+Tab, which X reports as a key of its own without a character.
// The watch reads the window's key presses on an X connection and a thread
// of its own: q or Escape pressed while a build is under way ends the studio
// at once, and Shift+Tab presses are counted for the studio to take.
#ifndef STUDIO_BUILD_WATCH_H
#define STUDIO_BUILD_WATCH_H

#include <cstddef>
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

// Marks a build of what ("intro.frag") as under way, with stillsWaiting
// stills not yet saved, or, with an empty what, as over. While one is under
// way, q or Escape prints "studio: quit while building WHAT" on standard error
// and ends the process with status 0; with stills waiting, it adds "; N
// stills asked for were not saved" and the status is 1, as when the studio
// ends before its stills. A null watch is allowed and does nothing.
void SetBuildUnderWay(BuildWatch *watch, const std::string &what, size_t stillsWaiting = 0);

// The Shift+Tab presses since the last call. 0 for a null watch.
int TakeShiftTabs(BuildWatch *watch);

#endif
