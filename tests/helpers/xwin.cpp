// A small X11 client for the end-to-end tests: finds the intro's window and
// sends it what a user or a window manager would.
//
//   xwin wait TITLE [TIMEOUT_MS]   waits for a mapped top-level window named
//                                  TITLE; prints "ID WIDTH HEIGHT X Y"
//   xwin geometry ID               prints "WIDTH HEIGHT X Y"
//   xwin close ID                  sends WM_DELETE_WINDOW, as a window manager does
//   xwin key ID KEYSYM [press|release|both]   sends key events (default both)
//   xwin click ID BUTTON           sends a button press and release
//   xwin resize ID WIDTH HEIGHT    resizes the window
//   xwin unmap ID                  unmaps (hides) the window
//   xwin map ID                    maps it again
//   xwin pixel ID X Y              prints the window's pixel at (X, Y), counted
//                                  from its top-left corner, as "R G B" (0-255)
//
// Exit status 0 on success, 1 when the window is not found in time, 2 on
// bad arguments or no display.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace
{
	bool HasTitle(Display *display, Window window, const char *title)
	{
		char *name = nullptr;
		if(!XFetchName(display, window, &name) || !name)
			return false;
		bool same = std::strcmp(name, title) == 0;
		XFree(name);
		return same;
	}

	Window FindMappedWindow(Display *display, const char *title)
	{
		Window root = DefaultRootWindow(display);
		Window parent = 0;
		Window *children = nullptr;
		unsigned int count = 0;
		Window found = 0;
		if(!XQueryTree(display, root, &root, &parent, &children, &count))
			return 0;
		for(unsigned int i = 0; i < count && !found; ++i)
		{
			XWindowAttributes attributes;
			if(XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
			   HasTitle(display, children[i], title))
				found = children[i];
		}
		if(children)
			XFree(children);
		return found;
	}

	void PrintGeometry(Display *display, Window window)
	{
		XWindowAttributes attributes;
		XGetWindowAttributes(display, window, &attributes);
		std::printf("%d %d %d %d\n", attributes.width, attributes.height, attributes.x, attributes.y);
	}

	int Wait(Display *display, const char *title, int timeoutMs)
	{
		auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
		while(std::chrono::steady_clock::now() < deadline)
		{
			if(Window window = FindMappedWindow(display, title))
			{
				std::printf("%lu ", window);
				PrintGeometry(display, window);
				return 0;
			}
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
		}
		std::fprintf(stderr, "xwin: no window named '%s' within %d ms\n", title, timeoutMs);
		return 1;
	}

	void SendClose(Display *display, Window window)
	{
		XEvent event{};
		event.xclient.type = ClientMessage;
		event.xclient.window = window;
		event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
		event.xclient.format = 32;
		event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
		event.xclient.data.l[1] = CurrentTime;
		XSendEvent(display, window, False, NoEventMask, &event);
	}

	void SendKey(Display *display, Window window, const char *keysymName, const std::string &which)
	{
		XEvent event{};
		event.xkey.display = display;
		event.xkey.window = window;
		event.xkey.root = DefaultRootWindow(display);
		event.xkey.time = CurrentTime;
		event.xkey.x = event.xkey.y = 1;
		event.xkey.same_screen = True;
		event.xkey.keycode = XKeysymToKeycode(display, XStringToKeysym(keysymName));
		if(which != "release")
		{
			event.type = KeyPress;
			XSendEvent(display, window, True, KeyPressMask, &event);
		}
		if(which != "press")
		{
			event.type = KeyRelease;
			XSendEvent(display, window, True, KeyReleaseMask, &event);
		}
	}

	void SendClick(Display *display, Window window, unsigned int button)
	{
		XEvent event{};
		event.xbutton.display = display;
		event.xbutton.window = window;
		event.xbutton.root = DefaultRootWindow(display);
		event.xbutton.time = CurrentTime;
		event.xbutton.x = event.xbutton.y = 10;
		event.xbutton.same_screen = True;
		event.xbutton.button = button;
		event.type = ButtonPress;
		XSendEvent(display, window, True, ButtonPressMask, &event);
		event.type = ButtonRelease;
		event.xbutton.state = Button1Mask << (button - 1);
		XSendEvent(display, window, True, ButtonReleaseMask, &event);
	}

	// The number of bits a channel mask is shifted left by, and its width.
	void MaskShape(unsigned long mask, int &shift, int &bits)
	{
		shift = 0;
		bits = 0;
		while(mask != 0 && (mask & 1) == 0)
		{
			mask >>= 1;
			++shift;
		}
		while(mask & 1)
		{
			mask >>= 1;
			++bits;
		}
	}

	// One channel of a pixel value, scaled to 0-255.
	unsigned int Channel(unsigned long pixel, unsigned long mask)
	{
		int shift = 0;
		int bits = 0;
		MaskShape(mask, shift, bits);
		if(bits == 0)
			return 0;
		const unsigned long value = (pixel & mask) >> shift;
		const unsigned long top = (1ul << bits) - 1;
		return static_cast<unsigned int>((value * 255 + top / 2) / top);
	}

	int PrintPixel(Display *display, Window window, int x, int y)
	{
		XImage *image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
		if(!image)
		{
			std::fprintf(stderr, "xwin: cannot read pixel %d,%d\n", x, y);
			return 1;
		}
		const unsigned long pixel = XGetPixel(image, 0, 0);
		std::printf("%u %u %u\n", Channel(pixel, image->red_mask), Channel(pixel, image->green_mask),
		            Channel(pixel, image->blue_mask));
		XDestroyImage(image);
		return 0;
	}

	int Usage()
	{
		std::fprintf(stderr, "usage: xwin wait TITLE [TIMEOUT_MS] | geometry ID | close ID | "
		                     "key ID KEYSYM [press|release|both] | click ID BUTTON | resize ID W H | "
		                     "unmap ID | map ID | pixel ID X Y\n");
		return 2;
	}
}

int main(int argc, char **argv)
{
	if(argc < 3)
		return Usage();
	Display *display = XOpenDisplay(nullptr);
	if(!display)
	{
		std::fprintf(stderr, "xwin: cannot open display '%s'\n", XDisplayName(nullptr));
		return 2;
	}
	const std::string command = argv[1];
	int status = 0;
	if(command == "wait")
		status = Wait(display, argv[2], argc > 3 ? std::atoi(argv[3]) : 10000);
	else
	{
		Window window = std::strtoul(argv[2], nullptr, 10);
		if(command == "geometry")
			PrintGeometry(display, window);
		else if(command == "close")
			SendClose(display, window);
		else if(command == "key" && argc >= 4)
			SendKey(display, window, argv[3], argc > 4 ? argv[4] : "both");
		else if(command == "click" && argc >= 4)
			SendClick(display, window, static_cast<unsigned int>(std::atoi(argv[3])));
		else if(command == "resize" && argc >= 5)
			XResizeWindow(display, window, static_cast<unsigned int>(std::atoi(argv[3])),
			              static_cast<unsigned int>(std::atoi(argv[4])));
		else if(command == "unmap")
			XUnmapWindow(display, window);
		else if(command == "map")
			XMapWindow(display, window);
		else if(command == "pixel" && argc >= 5)
			status = PrintPixel(display, window, std::atoi(argv[3]), std::atoi(argv[4]));
		else
			status = Usage();
	}
	XSync(display, False);
	XCloseDisplay(display);
	return status;
}
