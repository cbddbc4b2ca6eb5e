// The project's loader: glload::LoadFunctions(), then the intro's entry points.
#include <glload/gl_3_3.hpp>
#include <glload/gll.hpp>

#include "loader_bench.h"

namespace
{
	// One call of each entry point the intro makes, with harmless arguments.
	void UseIntroEntryPoints()
	{
		GLuint shader = gl::CreateShader(gl::GL_FRAGMENT_SHADER);
		const GLchar *text = "";
		gl::ShaderSource(shader, 1, &text, nullptr);
		GLint status = 0;
		gl::GetShaderiv(shader, gl::GL_COMPILE_STATUS, &status);
		gl::GetShaderInfoLog(shader, 0, nullptr, nullptr);
		GLuint program = gl::CreateProgram();
		gl::AttachShader(program, shader);
		gl::DetachShader(program, shader);
		gl::GetProgramiv(program, gl::GL_LINK_STATUS, &status);
		gl::GetProgramInfoLog(program, 0, nullptr, nullptr);
		gl::GetUniformLocation(program, "iGlobalTime");
		gl::UseProgram(0);
		gl::Uniform1f(-1, 0.0f);
		gl::Uniform1i(-1, 0);
		gl::DeleteShader(shader);
		gl::DeleteProgram(program);
		GLuint texture = 0;
		gl::GenTextures(1, &texture);
		gl::ActiveTexture(gl::GL_TEXTURE0);
		gl::BindTexture(gl::GL_TEXTURE_2D, texture);
		gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_RGBA, 0, 0, 0, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE, nullptr);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_LINEAR);
		gl::DeleteTextures(1, &texture);
		GLuint buffer = 0;
		gl::GenBuffers(1, &buffer);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
		gl::BufferData(gl::GL_ARRAY_BUFFER, 16, nullptr, gl::GL_STREAM_DRAW);
		GLuint vao = 0;
		gl::GenVertexArrays(1, &vao);
		gl::BindVertexArray(vao);
		gl::EnableVertexAttribArray(0);
		gl::VertexAttribPointer(0, 4, gl::GL_FLOAT, gl::GL_FALSE, 0, nullptr);
		gl::DisableVertexAttribArray(0);
		gl::Viewport(0, 0, 1, 1);
		gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
		gl::Clear(gl::GL_COLOR_BUFFER_BIT);
		gl::DrawArrays(gl::GL_TRIANGLES, 0, 0);
		unsigned char pixel[4];
		gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
		gl::ReadPixels(0, 0, 1, 1, gl::GL_RGB, gl::GL_UNSIGNED_BYTE, pixel);
		gl::Enable(gl::GL_DEBUG_OUTPUT_SYNCHRONOUS_ARB);
		gl::DebugMessageCallbackARB(nullptr, nullptr);
		gl::BindVertexArray(0);
		gl::DeleteBuffers(1, &buffer);
	}
}

int main(int argc, char **argv)
{
	return RunLoaderBenchmark(
	    &argc, argv, [] { glload::LoadFunctions(); }, UseIntroEntryPoints);
}
