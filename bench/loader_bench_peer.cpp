// Another loader on the same task as loader_bench_glload.cpp: built once
// against GLEW (LOADER_GLEW: glewInit() fetches everything up front) and once
// against libepoxy (each entry point resolved on its first call).
#ifdef LOADER_GLEW
#include <GL/glew.h>
#else
#include <epoxy/gl.h>
#endif

#include "loader_bench.h"

namespace
{
	// One call of each entry point the intro makes, with harmless arguments.
	void UseIntroEntryPoints()
	{
		GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
		const GLchar *text = "";
		glShaderSource(shader, 1, &text, nullptr);
		GLint status = 0;
		glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
		glGetShaderInfoLog(shader, 0, nullptr, nullptr);
		GLuint program = glCreateProgram();
		glAttachShader(program, shader);
		glDetachShader(program, shader);
		glGetProgramiv(program, GL_LINK_STATUS, &status);
		glGetProgramInfoLog(program, 0, nullptr, nullptr);
		glGetUniformLocation(program, "iGlobalTime");
		glUseProgram(0);
		glUniform1f(-1, 0.0f);
		glUniform1i(-1, 0);
		glDeleteShader(shader);
		glDeleteProgram(program);
		GLuint texture = 0;
		glGenTextures(1, &texture);
		glActiveTexture(GL_TEXTURE0);
		glBindTexture(GL_TEXTURE_2D, texture);
		glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
		glDeleteTextures(1, &texture);
		GLuint buffer = 0;
		glGenBuffers(1, &buffer);
		glBindBuffer(GL_ARRAY_BUFFER, buffer);
		glBufferData(GL_ARRAY_BUFFER, 16, nullptr, GL_STREAM_DRAW);
		GLuint vao = 0;
		glGenVertexArrays(1, &vao);
		glBindVertexArray(vao);
		glEnableVertexAttribArray(0);
		glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
		glDisableVertexAttribArray(0);
		glViewport(0, 0, 1, 1);
		glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
		glClear(GL_COLOR_BUFFER_BIT);
		glDrawArrays(GL_TRIANGLES, 0, 0);
		unsigned char pixel[4];
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
		glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS_ARB);
		glDebugMessageCallbackARB(nullptr, nullptr);
		glBindVertexArray(0);
		glDeleteBuffers(1, &buffer);
	}

	void InitialiseLoader()
	{
#ifdef LOADER_GLEW
		glewExperimental = GL_TRUE;
		glewInit();
#endif
	}
}

int main(int argc, char **argv)
{
	return RunLoaderBenchmark(&argc, argv, InitialiseLoader, UseIntroEntryPoints);
}
