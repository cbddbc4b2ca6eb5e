// The loader on the real driver: Mesa's software renderer under Xvfb.
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

// After gtest: X11's None macro would clash with gtest's own None.
#include <GL/glx.h>

#include <cstring>
#include <string>

#include "framework/framework.h"
#include "gl_test_main.h"
#include "glxl_ext.h"

TEST(LoaderOnMesa, LoadsA33OrLaterCoreContext)
{
	EXPECT_EQ(loadResult, LS_LOAD_FUNCTIONS_ALL);
	EXPECT_TRUE(glload::IsVersionGEQ(3, 3));
	const char *version = reinterpret_cast<const char *>(gl::GetString(gl::GL_VERSION));
	ASSERT_NE(version, nullptr);
	EXPECT_EQ(std::atoi(version), glload::GetMajorVersion());
	GLint profile = 0;
	gl::GetIntegerv(gl::GL_CONTEXT_PROFILE_MASK, &profile);
	EXPECT_EQ(profile, gl::GL_CONTEXT_CORE_PROFILE_BIT);
}

TEST(LoaderOnMesa, FetchesEveryEntryPointTheIntroCalls)
{
	const void *used[] = {reinterpret_cast<void *>(__gleEnable),
	                      reinterpret_cast<void *>(__gleClear),
	                      reinterpret_cast<void *>(__gleClearColor),
	                      reinterpret_cast<void *>(__gleViewport),
	                      reinterpret_cast<void *>(__gleGenBuffers),
	                      reinterpret_cast<void *>(__gleBindBuffer),
	                      reinterpret_cast<void *>(__gleBufferData),
	                      reinterpret_cast<void *>(__gleGenVertexArrays),
	                      reinterpret_cast<void *>(__gleBindVertexArray),
	                      reinterpret_cast<void *>(__gleVertexAttribPointer),
	                      reinterpret_cast<void *>(__gleEnableVertexAttribArray),
	                      reinterpret_cast<void *>(__gleDisableVertexAttribArray),
	                      reinterpret_cast<void *>(__gleDrawArrays),
	                      reinterpret_cast<void *>(__gleReadPixels),
	                      reinterpret_cast<void *>(__glePixelStorei),
	                      reinterpret_cast<void *>(__gleGenTextures),
	                      reinterpret_cast<void *>(__gleBindTexture),
	                      reinterpret_cast<void *>(__gleActiveTexture),
	                      reinterpret_cast<void *>(__gleTexImage2D),
	                      reinterpret_cast<void *>(__gleTexSubImage2D),
	                      reinterpret_cast<void *>(__gleTexParameteri),
	                      reinterpret_cast<void *>(__gleUseProgram),
	                      reinterpret_cast<void *>(__gleGetUniformLocation),
	                      reinterpret_cast<void *>(__gleUniform1f),
	                      reinterpret_cast<void *>(__gleUniform1i),
	                      reinterpret_cast<void *>(__gleCreateShader),
	                      reinterpret_cast<void *>(__gleShaderSource),
	                      reinterpret_cast<void *>(__gleCompileShader),
	                      reinterpret_cast<void *>(__gleGetShaderiv),
	                      reinterpret_cast<void *>(__gleGetShaderInfoLog),
	                      reinterpret_cast<void *>(__gleDeleteShader),
	                      reinterpret_cast<void *>(__gleCreateProgram),
	                      reinterpret_cast<void *>(__gleAttachShader),
	                      reinterpret_cast<void *>(__gleLinkProgram),
	                      reinterpret_cast<void *>(__gleGetProgramiv),
	                      reinterpret_cast<void *>(__gleGetProgramInfoLog),
	                      reinterpret_cast<void *>(__gleDetachShader),
	                      reinterpret_cast<void *>(__gleDeleteProgram),
	                      reinterpret_cast<void *>(__gleDeleteTextures)};
	for(size_t i = 0; i < sizeof used / sizeof used[0]; ++i)
		EXPECT_NE(used[i], nullptr) << "entry point " << i;
}

TEST(LoaderOnMesa, FindsDebugOutputAndLeavesTheFixedFunctionOut)
{
	EXPECT_EQ(glext_ARB_debug_output, 1);
	EXPECT_NE(glDebugMessageCallbackARB, nullptr);
	EXPECT_EQ(__gleBegin, nullptr);
	EXPECT_EQ(__gleVertexAttrib4f, nullptr);
}

TEST(LoaderOnMesa, SetsTheGLXFlagsOfTheDisplay)
{
	EXPECT_EQ(glload::LoadGLXFunctions(glXGetCurrentDisplay(), 0), LS_LOAD_FUNCTIONS_ALL);
	EXPECT_EQ(glXext_ARB_create_context, 1);
	EXPECT_EQ(glXext_ARB_create_context_profile, 1);
}

TEST(DebugReportOnMesa, ADriverErrorArrivesSynchronouslyThroughDebugFunc)
{
	gl::Enable(gl::GL_DEBUG_OUTPUT_SYNCHRONOUS_ARB);
	gl::DebugMessageCallbackARB(DebugFunc, nullptr);
	testing::internal::CaptureStdout();
	gl::Enable(0xFFFF);
	std::string report = testing::internal::GetCapturedStdout();
	gl::DebugMessageCallbackARB(nullptr, nullptr);
	const std::string start = "Error from API,\tHigh priority\nMessage: ";
	ASSERT_GE(report.size(), start.size());
	EXPECT_EQ(report.substr(0, start.size()), start);
	EXPECT_NE(report.find("0xffff"), std::string::npos) << report;
	EXPECT_EQ(report.back(), '\n');
}
