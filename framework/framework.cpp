// The application shell's GL debug report and its data-file and shader helpers.
#include "framework/framework.h"

#include <cstdio>

namespace
{
	const char *SourceWord(GLenum source)
	{
		switch(source)
		{
		case gl::GL_DEBUG_SOURCE_API_ARB: return "API";
		case gl::GL_DEBUG_SOURCE_WINDOW_SYSTEM_ARB: return "Window System";
		case gl::GL_DEBUG_SOURCE_SHADER_COMPILER_ARB: return "Shader Compiler";
		case gl::GL_DEBUG_SOURCE_THIRD_PARTY_ARB: return "Third Party";
		case gl::GL_DEBUG_SOURCE_APPLICATION_ARB: return "Application";
		case gl::GL_DEBUG_SOURCE_OTHER_ARB: return "Other";
		default: return "";
		}
	}

	const char *TypeWord(GLenum type)
	{
		switch(type)
		{
		case gl::GL_DEBUG_TYPE_ERROR_ARB: return "Error";
		case gl::GL_DEBUG_TYPE_DEPRECATED_BEHAVIOR_ARB: return "Deprecated Functionality";
		case gl::GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR_ARB: return "Undefined Behavior";
		case gl::GL_DEBUG_TYPE_PORTABILITY_ARB: return "Portability";
		case gl::GL_DEBUG_TYPE_PERFORMANCE_ARB: return "Performance";
		case gl::GL_DEBUG_TYPE_OTHER_ARB: return "Other";
		default: return "";
		}
	}

	const char *SeverityWord(GLenum severity)
	{
		switch(severity)
		{
		case gl::GL_DEBUG_SEVERITY_HIGH_ARB: return "High";
		case gl::GL_DEBUG_SEVERITY_MEDIUM_ARB: return "Medium";
		case gl::GL_DEBUG_SEVERITY_LOW_ARB: return "Low";
		default: return "";
		}
	}
}

void DebugFunc(GLenum source, GLenum type, GLuint, GLenum severity, GLsizei,
               const GLchar *message, GLvoid *)
{
	std::printf("%s from %s,\t%s priority\nMessage: %s\n", TypeWord(type), SourceWord(source),
	            SeverityWord(severity), message);
	std::fflush(stdout);
}

namespace
{
	// The last exception that LoadShader or CreateProgram printed.
	std::exception_ptr lastReported;
}

bool Framework::IsReported(const std::exception_ptr &exception)
{
	return exception && exception == lastReported;
}
