/* The GL function loader, flat face.
 *
 * With a GL context current, LoadFunctions() reads the context's version,
 * fetches every entry point of the matching core version set into the
 * entry-point variables (declared by gl_3_3.h, gl_all.h and the group headers)
 * and sets one glext_ flag per advertised extension that the loader knows,
 * fetching that extension's entry points too. Nothing here prints or throws. */
#ifndef GLLOAD_GLL_H
#define GLLOAD_GLL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Results of LoadFunctions and LoadGLXFunctions, returned as plain ints. */
enum LoadSucceeded
{
	LS_LOAD_FUNCTIONS_ALL = 0,  /* every entry point of the core version set was fetched */
	LS_LOAD_FUNCTIONS_SOME = 1, /* at least one of them came back null */
	LS_LOAD_FAILED = 2          /* the context could not be asked: no glGetString or version string,
	                               or a 3.0+ context without glGetStringi or glGetIntegerv;
	                               nothing is loaded and the version reads 0.0 */
};

/* Loads the entry points and extension flags of the current context. Can run
   again for a new context: flags are found afresh, variables overwritten. */
int LoadFunctions(void);

/* The context version found by the last LoadFunctions; 0.0 before it, or when
   the version string could not be read. */
int GetMajorVersion(void);
int GetMinorVersion(void);

/* 1 when the context version is at least iTestMajorVersion.iTestMinorVersion, else 0. */
int IsVersionGEQ(int iTestMajorVersion, int iTestMinorVersion);

/* Sets the glXext_ flags from the GLX extensions of the given X Display and
   screen (a null display leaves them all 0). GLX entry points are not
   fetched. Always LS_LOAD_FUNCTIONS_ALL. */
int LoadGLXFunctions(void *display, int screen);

#ifdef __cplusplus
}
#endif

#endif
