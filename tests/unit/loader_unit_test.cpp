// The loader's driver and tables against the scripted platform: version
// parsing, the choice of core version set, the extension walks, the flags and
// the maps. No GL library is linked.
#include <glload/gl_all.h>
#include <glload/gll.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "fake_platform.h"
#include "gll_gl_ext.h"
#include "glxl_ext.h"

namespace
{
	// Entry points fetched besides the three base ones.
	int VersionSetFetches()
	{
		return static_cast<int>(fakePlatform.fetched.size()) - 3;
	}

	bool Fetched(const std::string &name)
	{
		return fakePlatform.FetchCount(name) > 0;
	}

	int CountFlagsSet()
	{
		int set = 0;
		for(int row = 0; row < gleIntExtensionMapSize; ++row)
			set += *gleIntExtensionMap[row].pExtensionVariable != 0;
		return set;
	}

	const StrToExtMap *FindRow(const StrToExtMap *map, int size, const char *name)
	{
		for(int row = 0; row < size; ++row)
			if(std::strcmp(map[row].strExtensionName, name) == 0)
				return &map[row];
		return nullptr;
	}

	class LoaderTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ResetFakePlatform();
		}

		int LoadWithVersion(const std::string &version)
		{
			fakePlatform.version = version;
			return LoadFunctions();
		}
	};
}

TEST_F(LoaderTest, VersionStringsParseAsAtoiDoesOnEachField)
{
	struct Case
	{
		const char *text;
		int major;
		int minor;
	};
	const Case cases[] = {
	    {"3.3.0 build 7", 3, 3},
	    {"4.5 (Core Profile) Mesa 18.0.5", 4, 5},
	    {"2.1", 2, 1},
	    {"10.2", 10, 2},
	    {"3.30", 3, 30},
	    {"abc", 0, 0},
	    {"", 0, 0},
	    {" 3.x", 3, 0},
	    // Fields longer than nine characters are cut to their first nine.
	    {"12345678901.2", 123456789, 2},
	    {"4.12345678901 vendor", 4, 123456789},
	};
	for(const Case &c : cases)
	{
		LoadWithVersion(c.text);
		EXPECT_EQ(GetMajorVersion(), c.major) << c.text;
		EXPECT_EQ(GetMinorVersion(), c.minor) << c.text;
	}
}

TEST_F(LoaderTest, IsVersionGEQComparesMajorFirst)
{
	LoadWithVersion("3.3.0 build 7");
	EXPECT_TRUE(IsVersionGEQ(3, 3));
	EXPECT_TRUE(IsVersionGEQ(2, 9));
	EXPECT_TRUE(IsVersionGEQ(3, 0));
	EXPECT_FALSE(IsVersionGEQ(3, 4));
	EXPECT_FALSE(IsVersionGEQ(4, 0));

	LoadWithVersion("abc");
	EXPECT_TRUE(IsVersionGEQ(0, 0));
	EXPECT_FALSE(IsVersionGEQ(1, 0));
}

TEST_F(LoaderTest, CoreProfileMaskLoadsThe32CoreSet)
{
	fakePlatform.profileMask = 0x1;
	EXPECT_EQ(LoadWithVersion("3.3.0 build 7"), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(VersionSetFetches(), 283);
	EXPECT_TRUE(Fetched("glDrawArrays"));
	EXPECT_TRUE(Fetched("glGetSynciv"));
	EXPECT_FALSE(Fetched("glBegin"));
	EXPECT_FALSE(Fetched("glVertexAttrib4f"));
	EXPECT_FALSE(Fetched("glVertexAttribDivisor")) << "3.3 entry points come only through extensions";
	EXPECT_EQ(fakePlatform.profileMaskQueries, 1);
}

TEST_F(LoaderTest, CompatibilityProfileMaskWinsOverTheExtensionList)
{
	fakePlatform.profileMask = 0x2;
	EXPECT_EQ(LoadWithVersion("4.5"), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(VersionSetFetches(), 698);
	EXPECT_TRUE(Fetched("glBegin"));
}

TEST_F(LoaderTest, ANonZeroProfileMaskDecidesWhateverTheExtensionListSays)
{
	fakePlatform.profileMask = 0x1;
	fakePlatform.indexedExtensions = {"GL_ARB_depth_clamp", "GL_ARB_compatibility"};
	EXPECT_EQ(LoadWithVersion("3.3.0 build 7"), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glext_ARB_compatibility, 1) << "the listing was read";
	EXPECT_EQ(VersionSetFetches(), 283) << "a core mask loads the core set";
	EXPECT_FALSE(Fetched("glBegin"));

	ResetFakePlatform();
	fakePlatform.profileMask = 0x2;
	fakePlatform.indexedExtensions = {"GL_ARB_depth_clamp"};
	EXPECT_EQ(LoadWithVersion("3.3.0 build 7"), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glext_ARB_compatibility, 0);
	EXPECT_EQ(VersionSetFetches(), 698) << "a compatibility mask needs no listing";
	EXPECT_TRUE(Fetched("glBegin"));
}

TEST_F(LoaderTest, UnansweredProfileMaskFallsBackToTheCompatibilityListing)
{
	fakePlatform.answersProfileMask = false;
	fakePlatform.indexedExtensions = {"GL_ARB_multitexture", "gl_arb_compatibility"};
	LoadWithVersion("3.2");
	EXPECT_TRUE(Fetched("glBegin")) << "a lower-case GL_ARB_compatibility still counts";

	ResetFakePlatform();
	fakePlatform.profileMask = 0;
	fakePlatform.indexedExtensions = {"GL_ARB_depth_clamp"};
	LoadWithVersion("3.2");
	EXPECT_EQ(VersionSetFetches(), 283);
	EXPECT_FALSE(Fetched("glBegin"));
}

TEST_F(LoaderTest, Version31AsksForCompatibilityNotForTheProfile)
{
	fakePlatform.indexedExtensions = {"GL_ARB_compatibility"};
	LoadWithVersion("3.1");
	EXPECT_TRUE(Fetched("glBegin"));
	EXPECT_TRUE(Fetched("glCopyBufferSubData"));
	EXPECT_FALSE(Fetched("glFenceSync"));
	EXPECT_EQ(fakePlatform.profileMaskQueries, 0);

	ResetFakePlatform();
	LoadWithVersion("3.1");
	EXPECT_FALSE(Fetched("glBegin"));
	EXPECT_TRUE(Fetched("glCopyBufferSubData"));
}

TEST_F(LoaderTest, Version30LoadsThe30SetWithoutProfileOrCompatibilityTests)
{
	fakePlatform.indexedExtensions = {"GL_ARB_compatibility"};
	LoadWithVersion("3.0");
	EXPECT_TRUE(Fetched("glBegin"));
	EXPECT_TRUE(Fetched("glBindVertexArray"));
	EXPECT_FALSE(Fetched("glCopyBufferSubData"));
	EXPECT_EQ(fakePlatform.profileMaskQueries, 0);
	EXPECT_EQ(fakePlatform.numExtensionQueries, 1) << "only the extension walk counts the list";
}

TEST_F(LoaderTest, OldVersionsLoadThe21SetAndReportMissingEntryPoints)
{
	fakePlatform.nullNames = {"glBlendEquationSeparate", "glUniformMatrix2x3fv"};
	EXPECT_EQ(LoadWithVersion("2.1"), LS_LOAD_FUNCTIONS_SOME);
	EXPECT_TRUE(Fetched("glUniformMatrix4x3fv")) << "loading goes on after a null";
	EXPECT_EQ(__gleBlendEquationSeparate, nullptr);

	ResetFakePlatform();
	fakePlatform.nullNames = {"glCreateShader"};
	EXPECT_EQ(LoadWithVersion("1.4"), LS_LOAD_FUNCTIONS_SOME);
	EXPECT_TRUE(Fetched("glBegin"));
	EXPECT_FALSE(Fetched("glBindVertexArray"));

	ResetFakePlatform();
	fakePlatform.extensionString = "GL_ARB_multitexture";
	fakePlatform.indexedExtensions = {"GL_ARB_sync"};
	EXPECT_EQ(LoadWithVersion("abc"), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_TRUE(Fetched("glUniformMatrix4x3fv"));
	EXPECT_FALSE(Fetched("glBindVertexArray"));
	EXPECT_EQ(glext_ARB_multitexture, 1) << "an unreadable version reads the extension string";
	EXPECT_EQ(glext_ARB_sync, 0);
}

TEST_F(LoaderTest, VersionSetSizes)
{
	struct Case
	{
		int (*load)(void);
		int fetches;
	};
	const Case cases[] = {
	    {gleIntLoad_Version_2_1, 336 + 38 + 46 + 45 + 19 + 93 + 6},
	    {gleIntLoad_Version_3_0, 583 + 84},
	    {gleIntLoad_Version_3_2, 283},
	    {gleIntLoad_Version_3_2_Comp, 698},
	    {gleIntLoad_Version_3_3, 341},
	    {gleIntLoad_Version_4_2_Comp, 905},
	};
	for(const Case &c : cases)
	{
		ResetFakePlatform();
		EXPECT_EQ(c.load(), 1);
		EXPECT_EQ(static_cast<int>(fakePlatform.fetched.size()), c.fetches);
	}
}

TEST_F(LoaderTest, EveryBlockRunsAfterAFailure)
{
	fakePlatform.nullNames = {"glCullFace"};
	EXPECT_EQ(gleIntLoad_Version_3_2(), 0);
	EXPECT_EQ(static_cast<int>(fakePlatform.fetched.size()), 283);
}

TEST_F(LoaderTest, NullVersionStringOrMissingBaseEntryPointFails)
{
	fakePlatform.versionIsNull = true;
	EXPECT_EQ(LoadFunctions(), LS_LOAD_FAILED);
	EXPECT_EQ(GetMajorVersion(), 0);
	EXPECT_EQ(GetMinorVersion(), 0);
	EXPECT_EQ(CountFlagsSet(), 0);

	ResetFakePlatform();
	fakePlatform.nullNames = {"glGetString"};
	EXPECT_EQ(LoadFunctions(), LS_LOAD_FAILED);

	ResetFakePlatform();
	fakePlatform.nullNames = {"glGetStringi"};
	EXPECT_EQ(LoadWithVersion("3.3"), LS_LOAD_FAILED);
	EXPECT_EQ(VersionSetFetches(), 0);
	EXPECT_EQ(GetMajorVersion(), 0) << "nothing loaded, so no version to run on";
	EXPECT_FALSE(IsVersionGEQ(3, 3));
}

TEST_F(LoaderTest, ExtensionStringWalkHandlesBlanks)
{
	fakePlatform.extensionString = "GL_ARB_imaging  GL_ARB_multitexture ";
	LoadWithVersion("2.1");
	EXPECT_EQ(glext_ARB_imaging, 1);
	EXPECT_EQ(glext_ARB_multitexture, 1);
	EXPECT_EQ(CountFlagsSet(), 2);
	EXPECT_EQ(fakePlatform.FetchCount("glActiveTextureARB"), 1);
}

TEST_F(LoaderTest, ExtensionStringWalkStopsAtAnOverlongName)
{
	const std::string name255(255, 'x');
	fakePlatform.extensionString = "GL_ARB_imaging " + name255 + " GL_ARB_multitexture";
	LoadWithVersion("2.1");
	EXPECT_EQ(glext_ARB_imaging, 1);
	EXPECT_EQ(glext_ARB_multitexture, 1) << "a 255-character name is looked up and passed over";

	const std::string name256(256, 'x');
	fakePlatform.extensionString = "GL_ARB_imaging GL_ARB_multitexture " + name256 + " GL_ARB_sync";
	LoadWithVersion("2.1");
	EXPECT_EQ(glext_ARB_imaging, 1);
	EXPECT_EQ(glext_ARB_multitexture, 1);
	EXPECT_EQ(glext_ARB_sync, 0) << "nothing after a 256-character name is processed";
}

TEST_F(LoaderTest, IndexedListLoadsKnownExtensionsOnceAndSkipsNullNames)
{
	fakePlatform.indexedExtensions = {"GL_ARB_debug_output", nullptr, "GL_VENDOR_unknown", "gl_arb_debug_output",
	                                  "GL_ARB_compatibility"};
	EXPECT_EQ(LoadWithVersion("3.3"), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glext_ARB_debug_output, 1);
	EXPECT_EQ(glext_ARB_compatibility, 1);
	EXPECT_EQ(CountFlagsSet(), 2);
	EXPECT_EQ(fakePlatform.FetchCount("glDebugMessageCallbackARB"), 1) << "loaded once";
	EXPECT_NE(glDebugMessageCallbackARB, nullptr);
}

TEST_F(LoaderTest, ExtensionFailuresDoNotChangeTheResult)
{
	fakePlatform.indexedExtensions = {"GL_ARB_debug_output"};
	fakePlatform.nullNames = {"glDebugMessageCallbackARB"};
	EXPECT_EQ(LoadWithVersion("3.3"), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glext_ARB_debug_output, 1);
	EXPECT_EQ(glDebugMessageCallbackARB, nullptr);
}

TEST_F(LoaderTest, CoreExtensionsRefetchTheCoreVariables)
{
	__gleBindVertexArray = nullptr;
	fakePlatform.extensionString = "GL_ARB_vertex_array_object";
	LoadWithVersion("2.1");
	EXPECT_EQ(glext_ARB_vertex_array_object, 1);
	EXPECT_NE(__gleBindVertexArray, nullptr);

	__gleProgramParameteri = nullptr;
	__gleCreateShaderProgramv = nullptr;
	ResetFakePlatform();
	fakePlatform.indexedExtensions = {"GL_ARB_get_program_binary", "GL_ARB_separate_shader_objects"};
	LoadWithVersion("3.3");
	EXPECT_NE(__gleProgramParameteri, nullptr);
	EXPECT_NE(__gleCreateShaderProgramv, nullptr);
}

TEST_F(LoaderTest, ACoreExtensionThatCannotBeFetchedLeavesTheResultAlone)
{
	fakePlatform.extensionString = "GL_ARB_vertex_array_object";
	fakePlatform.nullNames = {"glBindVertexArray"};
	EXPECT_EQ(LoadWithVersion("2.1"), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glext_ARB_vertex_array_object, 1);
	EXPECT_EQ(__gleBindVertexArray, nullptr);
}

TEST_F(LoaderTest, SecondLoadClearsFlagsButKeepsVariables)
{
	fakePlatform.indexedExtensions = {"GL_ARB_debug_output"};
	LoadWithVersion("3.3");
	ASSERT_EQ(glext_ARB_debug_output, 1);
	PFNGLDEBUGMESSAGECALLBACKARBPROC loaded = glDebugMessageCallbackARB;

	fakePlatform.indexedExtensions.clear();
	LoadWithVersion("3.3");
	EXPECT_EQ(glext_ARB_debug_output, 0);
	EXPECT_EQ(glDebugMessageCallbackARB, loaded);
}

TEST_F(LoaderTest, ClearResetsFlagsOnly)
{
	fakePlatform.indexedExtensions = {"GL_ARB_debug_output", "GL_ARB_sync"};
	LoadWithVersion("3.3");
	PFNGLFENCESYNCPROC fenceSync = __gleFenceSync;
	ASSERT_NE(fenceSync, nullptr);
	gleIntClear();
	EXPECT_EQ(CountFlagsSet(), 0);
	EXPECT_EQ(__gleFenceSync, fenceSync);
	EXPECT_NE(glDebugMessageCallbackARB, nullptr);
}

TEST_F(LoaderTest, IntroEntryPointsAreInThe32CoreSet)
{
	LoadWithVersion("3.3");
	const char *used[] = {"glEnable",
	                      "glClear",
	                      "glClearColor",
	                      "glViewport",
	                      "glGenBuffers",
	                      "glBindBuffer",
	                      "glBufferData",
	                      "glGenVertexArrays",
	                      "glBindVertexArray",
	                      "glVertexAttribPointer",
	                      "glEnableVertexAttribArray",
	                      "glDisableVertexAttribArray",
	                      "glDrawArrays",
	                      "glReadPixels",
	                      "glPixelStorei",
	                      "glGenTextures",
	                      "glBindTexture",
	                      "glActiveTexture",
	                      "glTexImage2D",
	                      "glTexParameteri",
	                      "glUseProgram",
	                      "glGetUniformLocation",
	                      "glUniform1f",
	                      "glUniform1i",
	                      "glCreateShader",
	                      "glShaderSource",
	                      "glCompileShader",
	                      "glGetShaderiv",
	                      "glGetShaderInfoLog",
	                      "glDeleteShader",
	                      "glCreateProgram",
	                      "glAttachShader",
	                      "glLinkProgram",
	                      "glGetProgramiv",
	                      "glGetProgramInfoLog",
	                      "glDetachShader",
	                      "glDeleteProgram",
	                      "glDeleteTextures"};
	for(const char *name : used)
		EXPECT_TRUE(Fetched(name)) << name;
}

TEST(LoaderTables, MapsAreSortedAndNameTheirFlagsAndLoaders)
{
	ASSERT_EQ(gleIntExtensionMapSize, 405);
	ASSERT_EQ(glXeIntExtensionMapSize, 47);
	int withLoader = 0;
	for(int row = 1; row < gleIntExtensionMapSize; ++row)
		EXPECT_LT(std::strcmp(gleIntExtensionMap[row - 1].strExtensionName, gleIntExtensionMap[row].strExtensionName),
		          0);
	for(int row = 0; row < gleIntExtensionMapSize; ++row)
		withLoader += gleIntExtensionMap[row].LoadExtension != nullptr;
	EXPECT_EQ(withLoader, 201);
	EXPECT_STREQ(gleIntExtensionMap[0].strExtensionName, "GL_3DFX_multisample");

	const StrToExtMap *debug = FindRow(gleIntExtensionMap, gleIntExtensionMapSize, "GL_ARB_debug_output");
	ASSERT_NE(debug, nullptr);
	EXPECT_EQ(debug->pExtensionVariable, &glext_ARB_debug_output);
	EXPECT_EQ(debug->LoadExtension, gleIntLoad_ARB_debug_output);
	const StrToExtMap *compatibility = FindRow(gleIntExtensionMap, gleIntExtensionMapSize, "GL_ARB_compatibility");
	ASSERT_NE(compatibility, nullptr);
	EXPECT_EQ(compatibility->LoadExtension, nullptr);

	withLoader = 0;
	for(int row = 1; row < glXeIntExtensionMapSize; ++row)
		EXPECT_LT(std::strcmp(glXeIntExtensionMap[row - 1].strExtensionName, glXeIntExtensionMap[row].strExtensionName),
		          0);
	for(int row = 0; row < glXeIntExtensionMapSize; ++row)
		withLoader += glXeIntExtensionMap[row].LoadExtension != nullptr;
	EXPECT_EQ(withLoader, 25);
}

TEST(LoaderTables, ExtensionLoadersFetchTheirEntryPointsInRegistryOrder)
{
	ResetFakePlatform();
	EXPECT_EQ(gleIntLoad_EXT_direct_state_access(), 1);
	EXPECT_EQ(fakePlatform.fetched.size(), 206u);

	ResetFakePlatform();
	gleIntLoad_ARB_debug_output();
	const std::vector<std::string> debug = {"glDebugMessageControlARB", "glDebugMessageInsertARB",
	                                        "glDebugMessageCallbackARB", "glGetDebugMessageLogARB"};
	EXPECT_EQ(fakePlatform.fetched, debug);

	int fetches = 0;
	int single = 0;
	for(int row = 0; row < gleIntExtensionMapSize; ++row)
	{
		if(!gleIntExtensionMap[row].LoadExtension)
			continue;
		ResetFakePlatform();
		gleIntExtensionMap[row].LoadExtension();
		fetches += static_cast<int>(fakePlatform.fetched.size());
		single += fakePlatform.fetched.size() == 1;
	}
	EXPECT_EQ(fetches, 1638);
	EXPECT_EQ(single, 47);
}

TEST_F(LoaderTest, GLXFunctionsSetOnlyGLXFlags)
{
	fakePlatform.indexedExtensions = {"GL_ARB_debug_output"};
	LoadWithVersion("3.3");
	fakePlatform.fetched.clear();

	int display = 0;
	fakePlatform.glxExtensions = "GLX_ARB_create_context GLX_EXT_visual_info  GLX_unknown ";
	EXPECT_EQ(LoadGLXFunctions(&display, 0), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glXext_ARB_create_context, 1);
	EXPECT_EQ(glXext_EXT_visual_info, 1);
	EXPECT_EQ(glXext_SGI_swap_control, 0);
	EXPECT_EQ(glext_ARB_debug_output, 1);
	EXPECT_TRUE(fakePlatform.fetched.empty());

	fakePlatform.glxExtensions = "GLX_SGI_swap_control";
	LoadGLXFunctions(&display, 0);
	EXPECT_EQ(glXext_ARB_create_context, 0);
	EXPECT_EQ(glXext_SGI_swap_control, 1);

	fakePlatform.glxIsNull = true;
	EXPECT_EQ(LoadGLXFunctions(&display, 0), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glXext_SGI_swap_control, 0);

	fakePlatform.glxIsNull = false;
	LoadGLXFunctions(&display, 0);
	EXPECT_EQ(LoadGLXFunctions(nullptr, 0), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glXext_SGI_swap_control, 0) << "no display, no extensions";
}
