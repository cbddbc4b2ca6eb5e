/* The loader's driver and flat face: reads the context's version, picks the
 * core version set to fetch, and walks the advertised extensions through the
 * extension maps. It allocates nothing and prints nothing. */
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "glload/gll.h"
#include "gll_gl_ext.h"
#include "glxl_ext.h"

/* The few enums the driver passes to GL. */
enum
{
	DRIVER_GL_VERSION = 0x1F02,
	DRIVER_GL_EXTENSIONS = 0x1F03,
	DRIVER_GL_NUM_EXTENSIONS = 0x821D,
	DRIVER_GL_CONTEXT_PROFILE_MASK = 0x9126,
	DRIVER_GL_CONTEXT_COMPATIBILITY_PROFILE_BIT = 0x2
};

/* Longest version field and extension name the scratch buffers hold. */
enum
{
	VERSION_FIELD_MAX = 9,
	EXTENSION_NAME_MAX = 255
};

static int iMajorVersion = 0;
static int iMinorVersion = 0;

gleIntProc gleIntGetProcAddress(const char *name)
{
	return glXGetProcAddressARB((const GLubyte *)name);
}

/* Converts the characters [begin, end) as atoi does, through a bounded copy:
   a field longer than VERSION_FIELD_MAX characters is cut to its first ones. */
static int ParseVersionField(const char *begin, const char *end)
{
	char buffer[VERSION_FIELD_MAX + 1];
	size_t length = (size_t)(end - begin);
	if(length > VERSION_FIELD_MAX)
		length = VERSION_FIELD_MAX;
	memcpy(buffer, begin, length);
	buffer[length] = '\0';
	return atoi(buffer);
}

/* Reads "major.minor[ vendor text]". Returns 0 when there is no version string
   at all; a string without "." leaves 0.0 and still counts as read. */
static int GetGLVersion(int *pOutMajor, int *pOutMinor)
{
	const char *strVersion;
	const char *strDot;
	const char *strMinorEnd;

	*pOutMajor = 0;
	*pOutMinor = 0;
	strVersion = (const char *)__gleGetString(DRIVER_GL_VERSION);
	if(strVersion == NULL)
		return 0;
	strDot = strchr(strVersion, '.');
	if(strDot == NULL)
		return 1;
	strMinorEnd = strchr(strDot + 1, ' ');
	if(strMinorEnd == NULL)
		strMinorEnd = strDot + 1 + strlen(strDot + 1);
	*pOutMajor = ParseVersionField(strVersion, strDot);
	*pOutMinor = ParseVersionField(strDot + 1, strMinorEnd);
	return 1;
}

static const StrToExtMap *GetExtEntry(const char *strName, const StrToExtMap *table, int tableSize)
{
	int row;
	for(row = 0; row < tableSize; ++row)
	{
		if(strcasecmp(strName, table[row].strExtensionName) == 0)
			return &table[row];
	}
	return NULL;
}

/* Marks a known extension as present and loads it, once per load. */
static void ProcExt(const StrToExtMap *entry)
{
	if(entry == NULL || *entry->pExtensionVariable)
		return;
	if(entry->LoadExtension)
		entry->LoadExtension();
	*entry->pExtensionVariable = 1;
}

/* Walks a space-separated extension list. A name longer than the scratch
   buffer ends the walk; empty names from doubled blanks match nothing. */
static void ProcExtFromExtString(const char *strExtList, const StrToExtMap *table, int tableSize)
{
	const char *strCurrPos = strExtList;
	const char *strEnd = strExtList + strlen(strExtList);

	while(*strCurrPos != '\0')
	{
		char strWorkBuff[EXTENSION_NAME_MAX + 1];
		const char *strBlank = strchr(strCurrPos, ' ');
		const char *strTokenEnd = strBlank ? strBlank : strEnd;
		size_t length = (size_t)(strTokenEnd - strCurrPos);

		if(length > EXTENSION_NAME_MAX)
			return;
		memcpy(strWorkBuff, strCurrPos, length);
		strWorkBuff[length] = '\0';
		ProcExt(GetExtEntry(strWorkBuff, table, tableSize));
		if(strBlank == NULL)
			return;
		strCurrPos = strBlank + 1;
	}
}

/* Walks the indexed extension list of a 3.0 or later context; a null name is
   passed over. */
static void ProcExtFromList(void)
{
	GLint iNumExtensions = 0;
	GLint iLoop;

	__gleGetIntegerv(DRIVER_GL_NUM_EXTENSIONS, &iNumExtensions);
	for(iLoop = 0; iLoop < iNumExtensions; ++iLoop)
	{
		const char *strExtensionName = (const char *)__gleGetStringi(DRIVER_GL_EXTENSIONS, (GLuint)iLoop);
		if(strExtensionName != NULL)
			ProcExt(GetExtEntry(strExtensionName, gleIntExtensionMap, gleIntExtensionMapSize));
	}
}

static int CheckCompatibilityExt(void)
{
	GLint iNumExtensions = 0;
	GLint iLoop;

	__gleGetIntegerv(DRIVER_GL_NUM_EXTENSIONS, &iNumExtensions);
	for(iLoop = 0; iLoop < iNumExtensions; ++iLoop)
	{
		const char *strExtensionName = (const char *)__gleGetStringi(DRIVER_GL_EXTENSIONS, (GLuint)iLoop);
		if(strExtensionName != NULL && strcasecmp(strExtensionName, "GL_ARB_compatibility") == 0)
			return 1;
	}
	return 0;
}

/* The core version set for a 3.2 or later context: the profile mask decides,
   or, where the context does not answer it, the GL_ARB_compatibility listing. */
static int LoadVersion_3_2_OrLater(void)
{
	GLint iProfileMask = 0;
	int bIsCompatibility;

	__gleGetIntegerv(DRIVER_GL_CONTEXT_PROFILE_MASK, &iProfileMask);
	if(iProfileMask != 0)
		bIsCompatibility = (iProfileMask & DRIVER_GL_CONTEXT_COMPATIBILITY_PROFILE_BIT) != 0;
	else
		bIsCompatibility = CheckCompatibilityExt();
	return bIsCompatibility ? gleIntLoad_Version_3_2_Comp() : gleIntLoad_Version_3_2();
}

static int LoadVersionSet(void)
{
	if(iMajorVersion <= 2)
		return gleIntLoad_Version_2_1();
	if(iMajorVersion == 3 && iMinorVersion == 0)
		return gleIntLoad_Version_3_0();
	if(iMajorVersion == 3 && iMinorVersion == 1)
		return CheckCompatibilityExt() ? gleIntLoad_Version_3_1_Comp() : gleIntLoad_Version_3_1();
	return LoadVersion_3_2_OrLater();
}

int LoadFunctions(void)
{
	int iResult = LS_LOAD_FUNCTIONS_ALL;

	iMajorVersion = 0;
	iMinorVersion = 0;
	gleIntClear();
	gleIntLoadBaseFuncs();

	if(__gleGetString == NULL || !GetGLVersion(&iMajorVersion, &iMinorVersion))
		return LS_LOAD_FAILED;
	if(iMajorVersion >= 3 && (__gleGetStringi == NULL || __gleGetIntegerv == NULL))
	{
		/* Nothing was loaded, so no version may be claimed either. */
		iMajorVersion = 0;
		iMinorVersion = 0;
		return LS_LOAD_FAILED;
	}

	if(!LoadVersionSet())
		iResult = LS_LOAD_FUNCTIONS_SOME;

	if(iMajorVersion >= 3)
		ProcExtFromList();
	else
	{
		const char *strExtensions = (const char *)__gleGetString(DRIVER_GL_EXTENSIONS);
		if(strExtensions != NULL)
			ProcExtFromExtString(strExtensions, gleIntExtensionMap, gleIntExtensionMapSize);
	}
	return iResult;
}

int GetMajorVersion(void)
{
	return iMajorVersion;
}

int GetMinorVersion(void)
{
	return iMinorVersion;
}

int IsVersionGEQ(int iTestMajorVersion, int iTestMinorVersion)
{
	if(iMajorVersion > iTestMajorVersion)
		return 1;
	if(iMajorVersion < iTestMajorVersion)
		return 0;
	return iMinorVersion >= iTestMinorVersion;
}

int LoadGLXFunctions(void *display, int screen)
{
	const char *strExtensions;

	glXeIntClear();
	if(display == NULL)
		return LS_LOAD_FUNCTIONS_ALL;
	strExtensions = glXQueryExtensionsString((struct _XDisplay *)display, screen);
	if(strExtensions != NULL)
		ProcExtFromExtString(strExtensions, glXeIntExtensionMap, glXeIntExtensionMapSize);
	return LS_LOAD_FUNCTIONS_ALL;
}
