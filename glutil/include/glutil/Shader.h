// The shader toolkit: compiles GL shading-language text into shader objects
// and links shader objects into programs. Every failed compile or link throws
// a CompileLinkException whose what() is the driver's info log, verbatim, and
// the failed object has already been deleted when the exception arrives.
// Shaders handed in by the caller are never deleted by the toolkit; programs
// it returns belong to the caller. GL is reached through the loader only, on
// the thread whose context is current.
#ifndef GLUTIL_SHADER_H
#define GLUTIL_SHADER_H

#include <glload/gl_3_3.hpp>

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

namespace glutil
{
	// Base of the toolkit's exceptions; never thrown by itself.
	class ShaderException : public std::exception
	{
	public:
		~ShaderException() noexcept override;
		// The message, valid while the exception lives.
		const char *what() const noexcept override;

	protected:
		ShaderException();
		explicit ShaderException(const char *msg);

		std::string message;
	};

	// A failed compile or link. Construction reads the object's info log into
	// the message, then deletes the object.
	class CompileLinkException : public ShaderException
	{
	public:
		// Shader form: the shader's log; the shader is deleted.
		explicit CompileLinkException(GLuint shader);
		// Program form (the flag only tells the forms apart): the program's
		// log; the program is deleted.
		CompileLinkException(GLuint program, bool);
		~CompileLinkException() noexcept override;
	};

	// A separable program was asked for where the context cannot make one.
	class SeparateShaderNotSupported : public ShaderException
	{
	public:
		SeparateShaderNotSupported();
	};

	// Compile one shader of type shaderType (GL_VERTEX_SHADER, ...) and return
	// the new shader object; throws CompileLinkException when compiling fails.
	// The character-string forms end each text at its NUL; the string-object
	// forms pass each text's whole length, embedded NULs included.
	GLuint CompileShader(GLenum shaderType, const char *shaderText);
	GLuint CompileShader(GLenum shaderType, const std::string &shaderText);
	GLuint CompileShader(GLenum shaderType, const char **shaderList, size_t numStrings);
	GLuint CompileShader(GLenum shaderType, const std::vector<std::string> &shaderList);

	// Link two shaders into a new program, or into the caller's program, which
	// is returned. The shaders are detached again afterwards. A failed link
	// throws and deletes the program (also the caller's).
	GLuint LinkProgram(GLuint shaderOne, GLuint shaderTwo);
	GLuint LinkProgram(GLuint program, GLuint shaderOne, GLuint shaderTwo);

	// Compile a vertex and a fragment text, link them into a new program or
	// the caller's, and delete both shaders. On any failure no shader is left
	// behind, and after a failed link no program either.
	GLuint LinkProgram(const char *vertexShader, const char *fragmentShader);
	GLuint LinkProgram(const std::string &vertexShader, const std::string &fragmentShader);
	GLuint LinkProgram(GLuint program, const char *vertexShader, const char *fragmentShader);
	GLuint LinkProgram(GLuint program, const std::string &vertexShader, const std::string &fragmentShader);

	// Link one shader or a list of shaders into a new program, marked
	// separable when isSeparable is true (which throws SeparateShaderNotSupported,
	// before any object exists, where the context has no separable programs).
	// The third form links the list into the caller's program. The shaders are
	// detached after a successful link and left attached after a failed one.
	GLuint LinkProgram(GLuint shader, bool isSeparable);
	GLuint LinkProgram(const std::vector<GLuint> &shaders, bool isSeparable);
	GLuint LinkProgram(GLuint program, const std::vector<GLuint> &shaders);

	// Build a separable single-stage program straight from text. Every form
	// ends each text at its NUL. Throws SeparateShaderNotSupported where the
	// context cannot, and CompileLinkException with the program's log when
	// building fails.
	GLuint MakeSeparableProgram(GLenum shaderType, const char *shaderText);
	GLuint MakeSeparableProgram(GLenum shaderType, const std::string &shaderText);
	GLuint MakeSeparableProgram(GLenum shaderType, const char **shaderList, size_t numStrings);
	GLuint MakeSeparableProgram(GLenum shaderType, const std::vector<std::string> &shaderList);
}

#endif
