// The application shell's GL debug report and its data-file and shader helpers.
#include "framework/framework.h"

#include <glutil/Shader.h>

#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>

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

void DebugFunc(GLenum source, GLenum type, GLuint, GLenum severity, GLsizei, const GLchar *message, GLvoid *)
{
	std::printf("%s from %s,\t%s priority\nMessage: %s\n", TypeWord(type), SourceWord(source), SeverityWord(severity),
	            message);
	std::fflush(stdout);
}

namespace
{
	// The last exception that LoadShader or CreateProgram printed.
	std::exception_ptr lastReported;

	// Prints the exception being handled on standard error and remembers it as printed.
	void ReportCurrent(const std::exception &e)
	{
		std::cerr << e.what() << std::endl;
		lastReported = std::current_exception();
	}

	// Compiles shader text into a new shader object: a compile failure (or
	// any other std::exception while compiling) is printed and rethrown.
	GLuint CompileShaderText(GLenum shaderType, const std::string &text)
	{
		try
		{
			return glutil::CompileShader(shaderType, text);
		}
		catch(const std::exception &e)
		{
			ReportCurrent(e);
			throw;
		}
	}

	void DeleteShaders(const std::vector<GLuint> &shaderList)
	{
		for(GLuint shader : shaderList)
			gl::DeleteShader(shader);
	}
}

Framework::UnreadableDataFile::UnreadableDataFile(const std::string &path, const std::string &reason)
    : std::runtime_error("Could not read " + path + ": " + reason), path(path), reason(reason)
{
}

Framework::DataFile Framework::OpenDataFileOrThrow(const std::string &basename)
{
	// The file system would see a name with a NUL byte cut short, and so
	// open a different file than the one asked for.
	if(basename.find('\0') == std::string::npos)
		for(const char *folder : {"data/", "../data/"})
		{
			DataFile found = {folder + basename, InputFile(folder + basename)};
			if(found.file.IsRegular())
				return found;
			// A file that is there but does not open is not passed over as
			// missing: its reason is what the user needs.
			struct stat status;
			if(!found.file.IsOpen() && stat(found.path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
				throw UnreadableDataFile(found.path, found.file.OpenError().message);
		}
	throw std::runtime_error("Could not find the file " + basename);
}

std::string Framework::FindFileOrThrow(const std::string &basename)
{
	return OpenDataFileOrThrow(basename).path;
}

GLuint Framework::LoadShader(GLenum shaderType, const std::string &basename)
{
	DataFile found = OpenDataFileOrThrow(basename);
	std::string text;
	const Error error = found.file.Stream([&](const char *block, size_t size) {
		text.append(block, size);
		return true;
	});
	if(error)
		throw std::runtime_error("Could not read " + found.path + ": " + error.message);
	return CompileShaderText(shaderType, text);
}

GLuint Framework::CreateProgram(const std::vector<GLuint> &shaderList)
{
	try
	{
		GLuint program = glutil::LinkProgram(shaderList, false);
		DeleteShaders(shaderList);
		return program;
	}
	catch(const std::exception &e)
	{
		DeleteShaders(shaderList);
		ReportCurrent(e);
		throw;
	}
}

bool Framework::IsReported(const std::exception_ptr &exception)
{
	return exception && exception == lastReported;
}
