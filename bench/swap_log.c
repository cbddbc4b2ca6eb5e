/* An LD_PRELOAD library for the studio benchmarks: logs every buffer swap of
 * a process, so that programs that print nothing per frame can be timed the
 * same way as those that do.
 *
 *   SWAP_LOG=FILE        where the log goes (nothing is logged without it)
 *   SWAP_LOG_FRAMES=N    the most swaps logged (default 200000); the buffer
 *                        is allocated once, at load
 *   SWAP_LOG_PIXEL=1     also read the pixel at the centre of the viewport
 *                        from the frame about to be shown
 *
 * Each swap's record is a CLOCK_MONOTONIC time in nanoseconds (the clock of
 * Python's time.monotonic), taken just before the swap is passed on and
 * after the pixel's read-back, which waits for the frame to be drawn, and
 * the pixel as R, G, B, A bytes (0 when not read): 16 bytes, little-endian
 * int64, four bytes and four of padding. The log is written when the buffer
 * fills, when the process receives SIGUSR1, or when it exits, whichever
 * comes first, under FILE.tmp renamed to FILE, so that a reader that sees
 * FILE sees it whole. Writing uses nothing but system calls, so that it may
 * happen in the signal handler. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef unsigned long XID;
typedef struct _XDisplay Display;
typedef unsigned int GLenum;
typedef int GLint;
typedef int GLsizei;
typedef void (*SwapBuffers)(Display *, XID);
typedef void (*GetIntegerv)(GLenum, GLint *);
typedef void (*ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void *);

enum
{
	LOG_GL_VIEWPORT = 0x0BA2,
	LOG_GL_RGBA = 0x1908,
	LOG_GL_UNSIGNED_BYTE = 0x1401,
	DEFAULT_FRAMES = 200000
};

struct Record
{
	int64_t nanoseconds;
	unsigned char pixel[4];
	uint32_t padding;
};

static struct Record *records;
static long capacity;
static atomic_long count;
static atomic_int written;
static int readPixel;
static char path[4096];
static char temporary[4110];

static void WriteLog(void)
{
	if(records == NULL || atomic_exchange(&written, 1))
		return;
	const long total = atomic_load(&count);
	const int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0644);
	if(fd < 0)
		return;
	const char *bytes = (const char *)records;
	size_t left = (size_t)total * sizeof(struct Record);
	while(left > 0)
	{
		const ssize_t done = write(fd, bytes, left);
		if(done <= 0)
			break;
		bytes += done;
		left -= (size_t)done;
	}
	close(fd);
	rename(temporary, path);
}

static void OnSignal(int signum)
{
	(void)signum;
	WriteLog();
}

__attribute__((constructor)) static void Start(void)
{
	const char *file = getenv("SWAP_LOG");
	if(file == NULL || *file == '\0' || strlen(file) >= sizeof(path))
		return;
	const char *frames = getenv("SWAP_LOG_FRAMES");
	capacity = frames != NULL ? atol(frames) : DEFAULT_FRAMES;
	if(capacity <= 0)
		capacity = DEFAULT_FRAMES;
	/* Touched now, so that no page is first met during a frame. */
	records = calloc((size_t)capacity, sizeof(struct Record));
	if(records == NULL)
		return;
	memset(records, 0, (size_t)capacity * sizeof(struct Record));
	strcpy(path, file);
	snprintf(temporary, sizeof(temporary), "%s.tmp", path);
	const char *pixel = getenv("SWAP_LOG_PIXEL");
	readPixel = pixel != NULL && strcmp(pixel, "1") == 0;
	struct sigaction action;
	memset(&action, 0, sizeof(action));
	action.sa_handler = OnSignal;
	sigemptyset(&action.sa_mask);
	action.sa_flags = SA_RESTART;
	sigaction(SIGUSR1, &action, NULL);
}

__attribute__((destructor)) static void Finish(void)
{
	WriteLog();
}

static void *Next(const char *name)
{
	return dlsym(RTLD_NEXT, name);
}

void glXSwapBuffers(Display *display, XID drawable)
{
	static SwapBuffers real;
	static GetIntegerv getIntegerv;
	static ReadPixels readPixels;
	if(real == NULL)
	{
		*(void **)&real = Next("glXSwapBuffers");
		*(void **)&getIntegerv = Next("glGetIntegerv");
		*(void **)&readPixels = Next("glReadPixels");
	}
	const long index = atomic_load(&count);
	if(records != NULL && index < capacity && !atomic_load(&written))
	{
		struct Record *record = &records[index];
		if(readPixel && getIntegerv != NULL && readPixels != NULL)
		{
			GLint viewport[4];
			getIntegerv(LOG_GL_VIEWPORT, viewport);
			readPixels(viewport[0] + viewport[2] / 2, viewport[1] + viewport[3] / 2, 1, 1, LOG_GL_RGBA,
			           LOG_GL_UNSIGNED_BYTE, record->pixel);
		}
		struct timespec now;
		clock_gettime(CLOCK_MONOTONIC, &now);
		record->nanoseconds = (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
		atomic_store(&count, index + 1);
		if(index + 1 == capacity)
			WriteLog();
	}
	real(display, drawable);
}
