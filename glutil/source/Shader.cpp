// The shader toolkit: see glutil/Shader.h.
#include "glutil/Shader.h"

#include <glload/gll.hpp>

#include <cstring>

namespace glutil
{
	namespace
	{
		// Status and log length start at 0, so that an object name GL rejects
		// (it then writes nothing) reads as a failure with an empty log.
		void ThrowIfShaderCompileFailed(GLuint shader)
		{
			GLint status = 0;
			gl::GetShaderiv(shader, gl::GL_COMPILE_STATUS, &status);
			if(status == gl::GL_FALSE)
				throw CompileLinkException(shader);
		}

		void ThrowIfProgramLinkFailed(GLuint program)
		{
			GLint status = 0;
			gl::GetProgramiv(program, gl::GL_LINK_STATUS, &status);
			if(status == gl::GL_FALSE)
				throw CompileLinkException(program, true);
		}

		// Separable programs need GL 4.1 or GL_ARB_separate_shader_objects, and
		// the entry point the caller is about to use: the loader fetches those
		// only through extensions, so a context can pass the first test and
		// still lack them.
		void ThrowIfNotSeparable(const void *entryPoint)
		{
			if(!glload::IsVersionGEQ(4, 1) && !glext_ARB_separate_shader_objects)
				throw SeparateShaderNotSupported();
			if(entryPoint == nullptr)
				throw SeparateShaderNotSupported();
		}

		// Takes the log that GL writes into a buffer of infoLogLength + 1
		// characters: the characters up to GL's NUL, at most infoLogLength.
		template <typename WriteLog>
		std::string CaptureLog(GLint infoLogLength, WriteLog writeLog)
		{
			if(infoLogLength < 0)
				infoLogLength = 0;
			std::vector<GLchar> strInfoLog(static_cast<size_t>(infoLogLength) + 1, '\0');
			writeLog(infoLogLength, strInfoLog.data());
			return std::string(strInfoLog.data(), strnlen(strInfoLog.data(), static_cast<size_t>(infoLogLength)));
		}

		void AttachAll(GLuint program, const std::vector<GLuint> &shaders)
		{
			for(GLuint shader : shaders)
				gl::AttachShader(program, shader);
		}

		void DetachAll(GLuint program, const std::vector<GLuint> &shaders)
		{
			for(GLuint shader : shaders)
				gl::DetachShader(program, shader);
		}

		// Compiles both texts, links them with linkShaders(vertex, fragment) and
		// deletes both shaders, also when the fragment compile or the link throws.
		template <typename Text, typename LinkShaders>
		GLuint LinkTexts(const Text &vertexShader, const Text &fragmentShader, LinkShaders linkShaders)
		{
			GLuint vertShader = CompileShader(gl::GL_VERTEX_SHADER, vertexShader);
			GLuint fragShader = 0;
			try
			{
				fragShader = CompileShader(gl::GL_FRAGMENT_SHADER, fragmentShader);
			}
			catch(...)
			{
				gl::DeleteShader(vertShader);
				throw;
			}
			GLuint program = 0;
			try
			{
				program = linkShaders(vertShader, fragShader);
			}
			catch(...)
			{
				gl::DeleteShader(vertShader);
				gl::DeleteShader(fragShader);
				throw;
			}
			gl::DeleteShader(vertShader);
			gl::DeleteShader(fragShader);
			return program;
		}
	}

	ShaderException::ShaderException() = default;

	ShaderException::ShaderException(const char *msg) : message(msg)
	{
	}

	ShaderException::~ShaderException() noexcept = default;

	const char *ShaderException::what() const noexcept
	{
		return message.c_str();
	}

	CompileLinkException::CompileLinkException(GLuint shader)
	{
		GLint infoLogLength = 0;
		gl::GetShaderiv(shader, gl::GL_INFO_LOG_LENGTH, &infoLogLength);
		message = CaptureLog(infoLogLength, [shader](GLint size, GLchar *buffer) {
			gl::GetShaderInfoLog(shader, size, nullptr, buffer);
		});
		gl::DeleteShader(shader);
	}

	CompileLinkException::CompileLinkException(GLuint program, bool)
	{
		GLint infoLogLength = 0;
		gl::GetProgramiv(program, gl::GL_INFO_LOG_LENGTH, &infoLogLength);
		message = CaptureLog(infoLogLength, [program](GLint size, GLchar *buffer) {
			gl::GetProgramInfoLog(program, size, nullptr, buffer);
		});
		gl::DeleteProgram(program);
	}

	CompileLinkException::~CompileLinkException() noexcept = default;

	SeparateShaderNotSupported::SeparateShaderNotSupported()
	    : ShaderException("Implementation does not support shader object separation.")
	{
	}

	GLuint CompileShader(GLenum shaderType, const char *shaderText)
	{
		GLuint shader = gl::CreateShader(shaderType);
		gl::ShaderSource(shader, 1, &shaderText, nullptr);
		gl::CompileShader(shader);
		ThrowIfShaderCompileFailed(shader);
		return shader;
	}

	GLuint CompileShader(GLenum shaderType, const std::string &shaderText)
	{
		GLuint shader = gl::CreateShader(shaderType);
		GLint textLength = static_cast<GLint>(shaderText.size());
		const GLchar *pText = shaderText.c_str();
		gl::ShaderSource(shader, 1, &pText, &textLength);
		gl::CompileShader(shader);
		ThrowIfShaderCompileFailed(shader);
		return shader;
	}

	GLuint CompileShader(GLenum shaderType, const char **shaderList, size_t numStrings)
	{
		GLuint shader = gl::CreateShader(shaderType);
		gl::ShaderSource(shader, static_cast<GLsizei>(numStrings), shaderList, nullptr);
		gl::CompileShader(shader);
		ThrowIfShaderCompileFailed(shader);
		return shader;
	}

	GLuint CompileShader(GLenum shaderType, const std::vector<std::string> &shaderList)
	{
		std::vector<const GLchar *> stringList;
		std::vector<GLint> stringLengths;
		stringList.reserve(shaderList.size());
		stringLengths.reserve(shaderList.size());
		for(const std::string &text : shaderList)
		{
			stringList.push_back(text.c_str());
			stringLengths.push_back(static_cast<GLint>(text.size()));
		}

		GLuint shader = gl::CreateShader(shaderType);
		gl::ShaderSource(shader, static_cast<GLsizei>(shaderList.size()),
		                 shaderList.empty() ? nullptr : stringList.data(),
		                 shaderList.empty() ? nullptr : stringLengths.data());
		gl::CompileShader(shader);
		ThrowIfShaderCompileFailed(shader);
		return shader;
	}

	GLuint LinkProgram(GLuint shaderOne, GLuint shaderTwo)
	{
		return LinkProgram(gl::CreateProgram(), shaderOne, shaderTwo);
	}

	GLuint LinkProgram(GLuint program, GLuint shaderOne, GLuint shaderTwo)
	{
		gl::AttachShader(program, shaderOne);
		gl::AttachShader(program, shaderTwo);
		gl::LinkProgram(program);
		ThrowIfProgramLinkFailed(program);
		gl::DetachShader(program, shaderOne);
		gl::DetachShader(program, shaderTwo);
		return program;
	}

	GLuint LinkProgram(const char *vertexShader, const char *fragmentShader)
	{
		return LinkTexts(vertexShader, fragmentShader,
		                 [](GLuint vert, GLuint frag) { return LinkProgram(vert, frag); });
	}

	GLuint LinkProgram(const std::string &vertexShader, const std::string &fragmentShader)
	{
		return LinkTexts(vertexShader, fragmentShader,
		                 [](GLuint vert, GLuint frag) { return LinkProgram(vert, frag); });
	}

	GLuint LinkProgram(GLuint program, const char *vertexShader, const char *fragmentShader)
	{
		return LinkTexts(vertexShader, fragmentShader,
		                 [program](GLuint vert, GLuint frag) { return LinkProgram(program, vert, frag); });
	}

	GLuint LinkProgram(GLuint program, const std::string &vertexShader, const std::string &fragmentShader)
	{
		return LinkTexts(vertexShader, fragmentShader,
		                 [program](GLuint vert, GLuint frag) { return LinkProgram(program, vert, frag); });
	}

	GLuint LinkProgram(GLuint shader, bool isSeparable)
	{
		if(isSeparable)
			ThrowIfNotSeparable(reinterpret_cast<const void *>(__gleProgramParameteri));
		GLuint program = gl::CreateProgram();
		if(isSeparable)
			gl::ProgramParameteri(program, gl::GL_PROGRAM_SEPARABLE, gl::GL_TRUE);
		gl::AttachShader(program, shader);
		gl::LinkProgram(program);
		ThrowIfProgramLinkFailed(program);
		gl::DetachShader(program, shader);
		return program;
	}

	GLuint LinkProgram(const std::vector<GLuint> &shaders, bool isSeparable)
	{
		if(isSeparable)
			ThrowIfNotSeparable(reinterpret_cast<const void *>(__gleProgramParameteri));
		GLuint program = gl::CreateProgram();
		if(isSeparable)
			gl::ProgramParameteri(program, gl::GL_PROGRAM_SEPARABLE, gl::GL_TRUE);
		return LinkProgram(program, shaders);
	}

	GLuint LinkProgram(GLuint program, const std::vector<GLuint> &shaders)
	{
		AttachAll(program, shaders);
		gl::LinkProgram(program);
		ThrowIfProgramLinkFailed(program);
		DetachAll(program, shaders);
		return program;
	}

	GLuint MakeSeparableProgram(GLenum shaderType, const char *shaderText)
	{
		ThrowIfNotSeparable(reinterpret_cast<const void *>(__gleCreateShaderProgramv));
		GLuint program = gl::CreateShaderProgramv(shaderType, 1, &shaderText);
		ThrowIfProgramLinkFailed(program);
		return program;
	}

	GLuint MakeSeparableProgram(GLenum shaderType, const std::string &shaderText)
	{
		return MakeSeparableProgram(shaderType, shaderText.c_str());
	}

	GLuint MakeSeparableProgram(GLenum shaderType, const char **shaderList, size_t numStrings)
	{
		ThrowIfNotSeparable(reinterpret_cast<const void *>(__gleCreateShaderProgramv));
		GLuint program = gl::CreateShaderProgramv(shaderType, static_cast<GLsizei>(numStrings), shaderList);
		ThrowIfProgramLinkFailed(program);
		return program;
	}

	GLuint MakeSeparableProgram(GLenum shaderType, const std::vector<std::string> &shaderList)
	{
		std::vector<const char *> stringList;
		stringList.reserve(shaderList.size());
		for(const std::string &text : shaderList)
			stringList.push_back(text.c_str());
		return MakeSeparableProgram(shaderType, stringList.data(), stringList.size());
	}
}
