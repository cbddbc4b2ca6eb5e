/* Key presses for the studio benchmarks, timed where they are sent.
 *
 *   key_sender [TIMEOUT_MS]
 *
 * Waits (up to TIMEOUT_MS, default 20000) for a mapped top-level window on
 * $DISPLAY (the largest, where there are several) and prints "window ID".
 * Then, for each line read from standard input naming a keysym ("Up",
 * "Down", "space"), optionally after "Shift+" ("Shift+Right", sent with
 * the shift modifier held), sends that window a key press and release as
 * one event each and prints "sent NANOSECONDS": the CLOCK_MONOTONIC time
 * taken just before the press was sent, after the server had answered the
 * round trip that ends the previous line's work, so that the time is not
 * the process's start-up nor the connection's. A name that is no keysym
 * prints "unknown NAME". The program ends at the end of its input; status 1
 * when no window came, 2 without a display. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int64_t Now(void)
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

static Window LargestMappedWindow(Display *display)
{
	Window root = DefaultRootWindow(display);
	Window parent = 0;
	Window *children = NULL;
	unsigned int count = 0;
	Window found = 0;
	long largest = 0;
	if(!XQueryTree(display, root, &root, &parent, &children, &count))
		return 0;
	for(unsigned int i = 0; i < count; ++i)
	{
		XWindowAttributes attributes;
		if(!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable ||
		   attributes.class != InputOutput)
			continue;
		const long area = (long)attributes.width * attributes.height;
		if(area > largest)
		{
			largest = area;
			found = children[i];
		}
	}
	if(children != NULL)
		XFree(children);
	return found;
}

static void SendKey(Display *display, Window window, KeyCode keycode, unsigned int state)
{
	XEvent event;
	memset(&event, 0, sizeof(event));
	event.xkey.display = display;
	event.xkey.window = window;
	event.xkey.root = DefaultRootWindow(display);
	event.xkey.subwindow = None;
	event.xkey.time = CurrentTime;
	event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 1;
	event.xkey.same_screen = True;
	event.xkey.keycode = keycode;
	event.xkey.state = state;
	event.type = KeyPress;
	XSendEvent(display, window, True, KeyPressMask, &event);
	event.type = KeyRelease;
	XSendEvent(display, window, True, KeyReleaseMask, &event);
}

int main(int argc, char **argv)
{
	const long timeoutMs = argc > 1 ? atol(argv[1]) : 20000;
	Display *display = XOpenDisplay(NULL);
	if(display == NULL)
	{
		fprintf(stderr, "key_sender: cannot open the display\n");
		return 2;
	}
	const int64_t deadline = Now() + (int64_t)timeoutMs * 1000000;
	Window window = 0;
	while((window = LargestMappedWindow(display)) == 0 && Now() < deadline)
	{
		const struct timespec pause = {0, 20000000};
		nanosleep(&pause, NULL);
	}
	if(window == 0)
	{
		fprintf(stderr, "key_sender: no mapped window within %ld ms\n", timeoutMs);
		return 1;
	}
	printf("window %lu\n", (unsigned long)window);
	fflush(stdout);
	char line[256];
	while(fgets(line, sizeof(line), stdin) != NULL)
	{
		line[strcspn(line, "\r\n")] = '\0';
		static const char kShift[] = "Shift+";
		const int shifted = strncmp(line, kShift, sizeof(kShift) - 1) == 0;
		const KeySym keysym = XStringToKeysym(shifted ? line + sizeof(kShift) - 1 : line);
		const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
		if(keycode == 0)
		{
			printf("unknown %s\n", line);
			fflush(stdout);
			continue;
		}
		const int64_t sent = Now();
		SendKey(display, window, keycode, shifted ? ShiftMask : 0);
		XSync(display, False);
		printf("sent %lld\n", (long long)sent);
		fflush(stdout);
	}
	XCloseDisplay(display);
	return 0;
}
