/* An LD_PRELOAD library for the loader benchmarks: counts the GL entry-point
 * addresses a process looks up (names starting "gl" but not "glX"), whether
 * through glXGetProcAddressARB, glXGetProcAddress or dlsym, and prints
 * "lookups N" on standard error when the process ends. A dlsym for one of the
 * glXGetProcAddress functions returns the counting one, so that a loader
 * that finds them itself is counted too. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

typedef void (*Proc)(void);
typedef Proc (*GetProcAddress)(const unsigned char *);

static long lookups;

static int IsGLName(const char *name)
{
	return name != NULL && strncmp(name, "gl", 2) == 0 && strncmp(name, "glX", 3) != 0;
}

/* dlvsym of the real dlsym: glibc's own, not this file's. */
static void *RealDlsym(void *handle, const char *name)
{
	static void *(*real)(void *, const char *);
	if(real == NULL)
	{
		union
		{
			void *object;
			void *(*function)(void *, const char *);
		} symbol;
		symbol.object = dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
		if(symbol.object == NULL)
			symbol.object = dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5");
		real = symbol.function;
	}
	return real(handle, name);
}

static GetProcAddress RealGetProcAddress(const char *which)
{
	union
	{
		void *object;
		GetProcAddress function;
	} symbol;
	symbol.object = RealDlsym(RTLD_NEXT, which);
	return symbol.function;
}

Proc glXGetProcAddressARB(const unsigned char *name)
{
	static GetProcAddress real;
	if(real == NULL)
		real = RealGetProcAddress("glXGetProcAddressARB");
	if(IsGLName((const char *)name))
		++lookups;
	return real(name);
}

Proc glXGetProcAddress(const unsigned char *name)
{
	static GetProcAddress real;
	if(real == NULL)
		real = RealGetProcAddress("glXGetProcAddress");
	if(IsGLName((const char *)name))
		++lookups;
	return real(name);
}

void *dlsym(void *handle, const char *name)
{
	union
	{
		GetProcAddress function;
		void *object;
	} counting;
	if(strcmp(name, "glXGetProcAddressARB") == 0)
	{
		counting.function = glXGetProcAddressARB;
		return counting.object;
	}
	if(strcmp(name, "glXGetProcAddress") == 0)
	{
		counting.function = glXGetProcAddress;
		return counting.object;
	}
	if(IsGLName(name))
		++lookups;
	return RealDlsym(handle, name);
}

__attribute__((destructor)) static void Report(void)
{
	fprintf(stderr, "lookups %ld\n", lookups);
}
