/* Internals shared by the loader's driver and its generated tables. */
#ifndef GLLOAD_GLL_INT_H
#define GLLOAD_GLL_INT_H

#include "glload/_int_gl_type.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An extension's loader: fetches its entry points, 1 when none came back null. */
typedef int (*PFN_LOADEXTENSION)(void);

/* One row of an extension map: the extension's name exactly as drivers
   advertise it, its flag, and its loader or NULL when it brings no entry
   points. */
typedef struct StrToExtMap_s
{
	const char *strExtensionName;
	int *pExtensionVariable;
	PFN_LOADEXTENSION LoadExtension;
} StrToExtMap;

typedef void (*gleIntProc)(void);

struct _XDisplay;

/* From libGL, declared here so that the loader does not need GL/glx.h. */
gleIntProc glXGetProcAddressARB(const GLubyte *procName);
const char *glXQueryExtensionsString(struct _XDisplay *dpy, int screen);

/* The address of the entry point with this exact GL name, or NULL. */
gleIntProc gleIntGetProcAddress(const char *name);

#ifdef __cplusplus
}
#endif

#endif
