// The keys the toolkit cannot deliver: see build_watch.h.
#include "studio/build_watch.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

struct BuildWatch
{
	Display *display = nullptr;  // the watch's own connection, used by its thread alone
	int stopPipe[2] = {-1, -1};  // its write end closed ends the thread
	std::thread thread;
	std::mutex mutex;
	std::string building;  // what is being built; empty between builds
	size_t stillsWaiting = 0;
	std::atomic<int> shiftTabs{0};
};

namespace
{
	// Whether the event is a press of q or Escape.
	bool IsQuitKey(XEvent &event)
	{
		if(event.type != KeyPress)
			return false;
		const KeySym key = XLookupKeysym(&event.xkey, 0);
		return key == XK_q || key == XK_Escape;
	}

	// Whether the event is a press of Tab with Shift held.
	bool IsShiftTab(XEvent &event)
	{
		return event.type == KeyPress && (event.xkey.state & ShiftMask) != 0 &&
		       XLookupKeysym(&event.xkey, 0) == XK_Tab;
	}

	void Watch(BuildWatch *watch)
	{
		pollfd waits[2] = {{ConnectionNumber(watch->display), POLLIN, 0}, {watch->stopPipe[0], POLLIN, 0}};
		for(;;)
		{
			while(XPending(watch->display) > 0)
			{
				XEvent event;
				XNextEvent(watch->display, &event);
				if(IsShiftTab(event))
					++watch->shiftTabs;
				if(!IsQuitKey(event))
					continue;
				std::lock_guard<std::mutex> lock(watch->mutex);
				if(watch->building.empty())
					continue;
				if(watch->stillsWaiting == 0)
					std::fprintf(stderr, "studio: quit while building %s\n", watch->building.c_str());
				else
					std::fprintf(stderr, "studio: quit while building %s; %zu stills asked for were not saved\n",
					             watch->building.c_str(), watch->stillsWaiting);
				std::fflush(stderr);
				_exit(watch->stillsWaiting == 0 ? 0 : 1);
			}
			if(poll(waits, 2, -1) < 0 || waits[1].revents != 0 || (waits[0].revents & (POLLERR | POLLHUP)) != 0)
				return;
		}
	}
}

void BuildWatchEnd::operator()(BuildWatch *watch) const
{
	// Closing the pipe's write end wakes the thread's poll.
	if(watch->stopPipe[1] >= 0)
		close(watch->stopPipe[1]);
	if(watch->thread.joinable())
		watch->thread.join();
	if(watch->stopPipe[0] >= 0)
		close(watch->stopPipe[0]);
	if(watch->display)
		XCloseDisplay(watch->display);
	delete watch;
}

BuildWatchStart StartBuildWatch()
{
	BuildWatchStart start;
	BuildWatchHandle watch(new BuildWatch);
	Display *windowDisplay = glXGetCurrentDisplay();
	const Window window = glXGetCurrentDrawable();
	watch->display = windowDisplay ? XOpenDisplay(DisplayString(windowDisplay)) : nullptr;
	if(!watch->display || window == 0 || pipe(watch->stopPipe) != 0)
	{
		start.error = Error{"studio: q and Escape wait for a shader build to end: no second connection to the display"};
		return start;
	}
	XSelectInput(watch->display, window, KeyPressMask);
	XFlush(watch->display);
	watch->thread = std::thread(Watch, watch.get());
	start.watch = std::move(watch);
	return start;
}

void SetBuildUnderWay(BuildWatch *watch, const std::string &what, size_t stillsWaiting)
{
	if(!watch)
		return;
	std::lock_guard<std::mutex> lock(watch->mutex);
	watch->building = what;
	watch->stillsWaiting = stillsWaiting;
}

int TakeShiftTabs(BuildWatch *watch)
{
	return watch ? watch->shiftTabs.exchange(0) : 0;
}
