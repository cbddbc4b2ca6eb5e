/* An LD_PRELOAD shim around libGL's glXGetProcAddressARB that makes the
 * driver look older or poorer than it is, for end-to-end tests of the intro:
 *
 *   GLX_SHIM_VERSION=TEXT   glGetString(GL_VERSION) returns TEXT
 *   GLX_SHIM_HIDE=NAME      the extension NAME is left out of the indexed
 *                           list and of glGetString(GL_EXTENSIONS)
 *   GLX_SHIM_FLOAT_UNIFORMS=1  glGetActiveUniform reports every uniform as a
 *                           float, so a program's own type check passes what
 *                           the driver then refuses
 *   GLX_SHIM_UPLOAD_LOG=FILE  each glTexSubImage2D call appends a line to
 *                           FILE, so a test can count the texture uploads
 *   GLX_SHIM_DELAY_MS=N     the first call waits N milliseconds: the
 *                           program's start-up is held after its window
 *                           toolkit has started
 *
 * Every other entry point passes through unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

typedef void (*Proc)(void);
typedef unsigned char GLubyte;
typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;
typedef char GLchar;

enum
{
	SHIM_GL_VERSION = 0x1F02,
	SHIM_GL_EXTENSIONS = 0x1F03,
	SHIM_GL_NUM_EXTENSIONS = 0x821D,
	SHIM_GL_FLOAT = 0x1406
};

static const GLubyte *(*realGetString)(GLenum);
static const GLubyte *(*realGetStringi)(GLenum, GLuint);
static void (*realGetIntegerv)(GLenum, GLint *);
static void (*realGetActiveUniform)(GLuint, GLuint, GLsizei, GLsizei *, GLint *, GLenum *, GLchar *);
static void (*realTexSubImage2D)(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const void *);
static char filteredExtensions[65536];

static int IsHidden(const char *name)
{
	const char *hidden = getenv("GLX_SHIM_HIDE");
	return hidden != NULL && name != NULL && strcmp(name, hidden) == 0;
}

static GLint RealExtensionCount(void)
{
	GLint count = 0;
	realGetIntegerv(SHIM_GL_NUM_EXTENSIONS, &count);
	return count;
}

static const GLubyte *ShimGetString(GLenum name)
{
	const char *version = getenv("GLX_SHIM_VERSION");
	if(name == SHIM_GL_VERSION && version != NULL)
		return (const GLubyte *)version;
	if(name == SHIM_GL_EXTENSIONS && getenv("GLX_SHIM_HIDE") != NULL)
	{
		const char *all = (const char *)realGetString(name);
		const char *cursor = all;
		filteredExtensions[0] = '\0';
		while(cursor != NULL && *cursor != '\0')
		{
			const char *blank = strchr(cursor, ' ');
			size_t length = blank ? (size_t)(blank - cursor) : strlen(cursor);
			char word[512];
			if(length < sizeof word)
			{
				memcpy(word, cursor, length);
				word[length] = '\0';
				if(!IsHidden(word) && strlen(filteredExtensions) + length + 2 < sizeof filteredExtensions)
				{
					strcat(filteredExtensions, word);
					strcat(filteredExtensions, " ");
				}
			}
			cursor = blank ? blank + 1 : NULL;
		}
		return (const GLubyte *)filteredExtensions;
	}
	return realGetString(name);
}

static const GLubyte *ShimGetStringi(GLenum name, GLuint index)
{
	GLint count;
	GLint real;
	GLuint visible = 0;
	if(name != SHIM_GL_EXTENSIONS)
		return realGetStringi(name, index);
	count = RealExtensionCount();
	for(real = 0; real < count; ++real)
	{
		const GLubyte *extension = realGetStringi(name, (GLuint)real);
		if(IsHidden((const char *)extension))
			continue;
		if(visible == index)
			return extension;
		++visible;
	}
	return NULL;
}

static void ShimGetIntegerv(GLenum name, GLint *value)
{
	realGetIntegerv(name, value);
	if(name == SHIM_GL_NUM_EXTENSIONS && realGetStringi != NULL)
	{
		GLint count = *value;
		GLint real;
		for(real = 0; real < count; ++real)
			if(IsHidden((const char *)realGetStringi(SHIM_GL_EXTENSIONS, (GLuint)real)))
				--*value;
	}
}

static void ShimGetActiveUniform(GLuint program, GLuint index, GLsizei bufSize, GLsizei *length, GLint *size,
                                 GLenum *type, GLchar *name)
{
	realGetActiveUniform(program, index, bufSize, length, size, type, name);
	*type = SHIM_GL_FLOAT;
}

static void ShimTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                              GLenum format, GLenum type, const void *pixels)
{
	FILE *log = fopen(getenv("GLX_SHIM_UPLOAD_LOG"), "a");
	if(log != NULL)
	{
		fputs("glTexSubImage2D\n", log);
		fclose(log);
	}
	realTexSubImage2D(target, level, x, y, width, height, format, type, pixels);
}

Proc glXGetProcAddressARB(const GLubyte *procName)
{
	static Proc (*realGetProcAddress)(const GLubyte *);
	Proc address;
	if(realGetProcAddress == NULL)
	{
		const char *delay = getenv("GLX_SHIM_DELAY_MS");
		if(delay != NULL)
		{
			long milliseconds = atol(delay);
			struct timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
			while(nanosleep(&wait, &wait) != 0)
			{
			}
		}
		/* dlsym returns an object pointer; the union turns it into the function. */
		union
		{
			void *object;
			Proc (*function)(const GLubyte *);
		} symbol;
		symbol.object = dlsym(RTLD_NEXT, "glXGetProcAddressARB");
		realGetProcAddress = symbol.function;
	}
	address = realGetProcAddress(procName);
	if(address == NULL)
		return NULL;
	if(strcmp((const char *)procName, "glGetString") == 0)
	{
		realGetString = (const GLubyte *(*)(GLenum))address;
		return (Proc)ShimGetString;
	}
	if(strcmp((const char *)procName, "glGetStringi") == 0)
	{
		realGetStringi = (const GLubyte *(*)(GLenum, GLuint))address;
		return (Proc)ShimGetStringi;
	}
	if(strcmp((const char *)procName, "glGetIntegerv") == 0)
	{
		realGetIntegerv = (void (*)(GLenum, GLint *))address;
		return (Proc)ShimGetIntegerv;
	}
	if(strcmp((const char *)procName, "glTexSubImage2D") == 0 && getenv("GLX_SHIM_UPLOAD_LOG") != NULL)
	{
		realTexSubImage2D =
		    (void (*)(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const void *))address;
		return (Proc)ShimTexSubImage2D;
	}
	if(strcmp((const char *)procName, "glGetActiveUniform") == 0 && getenv("GLX_SHIM_FLOAT_UNIFORMS") != NULL)
	{
		realGetActiveUniform = (void (*)(GLuint, GLuint, GLsizei, GLsizei *, GLint *, GLenum *, GLchar *))address;
		return (Proc)ShimGetActiveUniform;
	}
	return address;
}
