// Prints the info log the GL driver gives for shader files, without the
// project's shader toolkit, so that the end-to-end tests can compare the
// intro's error output with the driver's own words.
//
//   shader_log vertex|fragment FILE       the compile log of one shader
//   shader_log link VERTEX_FILE FRAGMENT_FILE   the link log of the two
//   shader_log uniform1f VERTEX_FILE FRAGMENT_FILE NAME   the debug messages
//       the driver sends when glUniform1f sets the linked program's uniform
//       NAME, each followed by a newline
//
// The log is printed exactly, without an added newline. Run it on the same
// kind of context as the intro (under the same X server).
#include <glload/gl_3_3.hpp>
#include <glload/gll.hpp>

#include <GL/freeglut.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
	GLuint Compile(GLenum type, const std::string &path)
	{
		std::ifstream file(path, std::ios::binary);
		const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
		const GLchar *source = text.c_str();
		const GLint length = static_cast<GLint>(text.size());
		GLuint shader = gl::CreateShader(type);
		gl::ShaderSource(shader, 1, &source, &length);
		gl::CompileShader(shader);
		return shader;
	}

	std::string ShaderLog(GLuint shader)
	{
		GLint length = 0;
		gl::GetShaderiv(shader, gl::GL_INFO_LOG_LENGTH, &length);
		std::string log(static_cast<size_t>(length) + 1, '\0');
		gl::GetShaderInfoLog(shader, length, nullptr, &log[0]);
		return log.c_str();
	}

	std::string ProgramLog(GLuint program)
	{
		GLint length = 0;
		gl::GetProgramiv(program, gl::GL_INFO_LOG_LENGTH, &length);
		std::string log(static_cast<size_t>(length) + 1, '\0');
		gl::GetProgramInfoLog(program, length, nullptr, &log[0]);
		return log.c_str();
	}

	std::string debugMessages;

	void CollectMessage(GLenum, GLenum, GLuint, GLenum, GLsizei, const GLchar *message, GLvoid *)
	{
		debugMessages += message;
		debugMessages += '\n';
	}

	GLuint Link(const char *vertexFile, const char *fragmentFile)
	{
		GLuint program = gl::CreateProgram();
		gl::AttachShader(program, Compile(gl::GL_VERTEX_SHADER, vertexFile));
		gl::AttachShader(program, Compile(gl::GL_FRAGMENT_SHADER, fragmentFile));
		gl::LinkProgram(program);
		return program;
	}
}

int main(int argc, char **argv)
{
	glutInit(&argc, argv);
	const std::string mode = argc > 1 ? argv[1] : "";
	if(!((mode == "vertex" || mode == "fragment") && argc == 3) && !(mode == "link" && argc == 4) &&
	   !(mode == "uniform1f" && argc == 5))
	{
		std::fprintf(stderr, "usage: shader_log vertex|fragment FILE | link VERTEX_FILE FRAGMENT_FILE | "
		                     "uniform1f VERTEX_FILE FRAGMENT_FILE NAME\n");
		return 2;
	}
	glutInitDisplayMode(GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH | GLUT_STENCIL);
	glutInitContextVersion(3, 3);
	glutInitContextProfile(GLUT_CORE_PROFILE);
	glutInitContextFlags(GLUT_DEBUG);
	glutCreateWindow("shader_log");
	glload::LoadFunctions();

	std::string log;
	if(mode == "link")
		log = ProgramLog(Link(argv[2], argv[3]));
	else if(mode == "uniform1f")
	{
		GLuint program = Link(argv[2], argv[3]);
		gl::UseProgram(program);
		gl::Enable(gl::GL_DEBUG_OUTPUT_SYNCHRONOUS_ARB);
		gl::DebugMessageCallbackARB(CollectMessage, nullptr);
		gl::Uniform1f(gl::GetUniformLocation(program, argv[4]), 0.0f);
		log = debugMessages;
	}
	else
		log = ShaderLog(Compile(mode == "vertex" ? gl::GL_VERTEX_SHADER : gl::GL_FRAGMENT_SHADER, argv[2]));
	std::fwrite(log.data(), 1, log.size(), stdout);
	return 0;
}
