/* The basic GL types, as the published OpenGL headers define them.
 *
 * Every glload header includes this one first. It also marks the system's
 * GL/gl.h, GL/glext.h and GL/glcorearb.h as already included, so that a
 * window toolkit's header that pulls them in after the loader's headers adds
 * nothing: their function declarations would clash with the loader's
 * entry-point variables, and their types are the ones defined here. */
#ifndef GLLOAD_INT_GL_TYPE_H
#define GLLOAD_INT_GL_TYPE_H

#if defined(__gl_h_) || defined(__GL_H__) || defined(__gl_glext_h_) || defined(__glext_h_)
#error "Include the glload headers before GL/gl.h, GL/glext.h or any header that includes them."
#endif

#define __gl_h_
#define __GL_H__
#define __gl_glext_h_
#define __glext_h_
#define __gl_glcorearb_h_
#define __glcorearb_h_
#define __gl3_h_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int GLenum;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef signed char GLbyte;
typedef short GLshort;
typedef int GLint;
typedef int GLsizei;
typedef unsigned char GLubyte;
typedef unsigned short GLushort;
typedef unsigned int GLuint;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;
typedef void GLvoid;

typedef char GLchar;
typedef char GLcharARB;
typedef unsigned int GLhandleARB;
typedef unsigned short GLhalfNV;
typedef ptrdiff_t GLintptr;
typedef ptrdiff_t GLsizeiptr;
typedef ptrdiff_t GLintptrARB;
typedef ptrdiff_t GLsizeiptrARB;
typedef int64_t GLint64;
typedef uint64_t GLuint64;
typedef int64_t GLint64EXT;
typedef uint64_t GLuint64EXT;
typedef struct __GLsync *GLsync;
typedef GLintptr GLvdpauSurfaceNV;

/* Incomplete types compatible with OpenCL's cl_context and cl_event. */
struct _cl_context;
struct _cl_event;

typedef void (*GLDEBUGPROCARB)(GLenum source, GLenum type, GLuint id, GLenum severity,
                               GLsizei length, const GLchar *message, GLvoid *userParam);
typedef void (*GLDEBUGPROCAMD)(GLuint id, GLenum category, GLenum severity, GLsizei length,
                               const GLchar *message, GLvoid *userParam);

#ifdef __cplusplus
}
#endif

#endif
