// The bare reference loop the intro's frame loop is measured against: the
// same full-screen window, 3.3 core-profile debug context (with the same
// synchronous debug report), quad and shader, and per frame only what drawing
// needs: clear, set the time, draw, swap.
//
//   bare_loop VERTEX_SHADER FRAGMENT_SHADER FRAMES [--capture-floor DIR]
//
// Prints "FPS: " every 101 frames, computed as the intro computes it, and
// ends after FRAMES frames. With --capture-floor it also reads every frame
// back as the intro's capture does and writes the same number of bytes as
// the intro's BMP file to DIR/frame<N>.bmp, without encoding them: the floor
// for the capture's throughput.
#include <glload/gl_3_3.hpp>
#include <glload/gll.hpp>

#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/framework.h"
#include "glutil/Shader.h"

namespace
{
	const float kQuad[] = {
	    1.0f, 1.0f, 0.0f, 1.0f, 1.0f,  -1.0f, 0.0f, 1.0f, -1.0f, -1.0f, 0.0f, 1.0f,
	    1.0f, 1.0f, 0.0f, 1.0f, -1.0f, 1.0f,  0.0f, 1.0f, -1.0f, -1.0f, 0.0f, 1.0f,
	};

	GLuint program = 0;
	GLint timeUniform = -1;
	GLint widthUniform = -1;
	GLint heightUniform = -1;
	GLuint buffer = 0;
	int width = 0;
	int height = 0;
	int frame = 0;
	int frameLimit = 0;
	std::string floorDirectory;
	std::vector<unsigned char> pixels;
	std::vector<unsigned char> padding;
	std::vector<double> frameTimes;
	const auto start = std::chrono::steady_clock::now();

	double Seconds()
	{
		return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	}

	std::string ReadText(const char *path)
	{
		std::ifstream file(path, std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
	}

	void WriteUnencoded()
	{
		const std::string path = floorDirectory + "/frame" + std::to_string(frame) + ".bmp";
		std::FILE *file = std::fopen(path.c_str(), "wb");
		if(!file)
			return;
		const size_t rowBytes = static_cast<size_t>(width) * 3;
		const size_t paddedRowBytes = (rowBytes + 3) / 4 * 4;
		std::fwrite(pixels.data(), 1, pixels.size(), file);
		std::fwrite(padding.data(), 1, 54 + (paddedRowBytes - rowBytes) * static_cast<size_t>(height), file);
		std::fclose(file);
	}

	void Display()
	{
		gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
		gl::Clear(gl::GL_COLOR_BUFFER_BIT);
		gl::UseProgram(program);
		gl::Uniform1f(timeUniform, static_cast<float>(Seconds()));
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
		gl::EnableVertexAttribArray(0);
		gl::VertexAttribPointer(0, 4, gl::GL_FLOAT, gl::GL_FALSE, 0, nullptr);
		gl::DrawArrays(gl::GL_TRIANGLES, 0, 6);
		gl::DisableVertexAttribArray(0);
		gl::UseProgram(0);
		if(!floorDirectory.empty())
		{
			gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
			gl::ReadPixels(0, 0, width, height, gl::GL_RGB, gl::GL_UNSIGNED_BYTE, pixels.data());
		}
		glutSwapBuffers();
		glutPostRedisplay();
		frameTimes.push_back(Seconds());
		if(frameTimes.size() == 101)
		{
			std::cout << "FPS: " << 100.0 / (frameTimes.back() - frameTimes.front()) << std::endl;
			frameTimes.clear();
		}
		if(!floorDirectory.empty())
			WriteUnencoded();
		if(++frame == frameLimit)
			glutLeaveMainLoop();
	}

	void Reshape(int w, int h)
	{
		width = w;
		height = h;
		gl::Viewport(0, 0, w, h);
		gl::UseProgram(program);
		gl::Uniform1f(widthUniform, static_cast<float>(w));
		gl::Uniform1f(heightUniform, static_cast<float>(h));
		gl::UseProgram(0);
		pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
		padding.assign(54 + static_cast<size_t>(h) * 3, 0);
	}
}

int main(int argc, char **argv)
{
	glutInit(&argc, argv);
	if(argc != 4 && !(argc == 6 && std::string(argv[4]) == "--capture-floor"))
	{
		std::fprintf(stderr, "usage: bare_loop VERTEX_SHADER FRAGMENT_SHADER FRAMES [--capture-floor DIR]\n");
		return 2;
	}
	frameLimit = std::atoi(argv[3]);
	if(argc == 6)
		floorDirectory = argv[5];

	glutInitDisplayMode(GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH | GLUT_STENCIL);
	glutInitContextVersion(3, 3);
	glutInitContextProfile(GLUT_CORE_PROFILE);
	glutInitContextFlags(GLUT_DEBUG);
	glutInitWindowSize(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
	glutCreateWindow(argv[0]);
	glutFullScreen();
	glload::LoadFunctions();
	glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
	if(glext_ARB_debug_output)
	{
		gl::Enable(gl::GL_DEBUG_OUTPUT_SYNCHRONOUS_ARB);
		gl::DebugMessageCallbackARB(DebugFunc, nullptr);
	}

	program = glutil::LinkProgram(ReadText(argv[1]), ReadText(argv[2]));
	timeUniform = gl::GetUniformLocation(program, "iGlobalTime");
	widthUniform = gl::GetUniformLocation(program, "width");
	heightUniform = gl::GetUniformLocation(program, "height");
	gl::GenBuffers(1, &buffer);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
	gl::BufferData(gl::GL_ARRAY_BUFFER, sizeof kQuad, kQuad, gl::GL_STREAM_DRAW);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, 0);
	GLuint vao = 0;
	gl::GenVertexArrays(1, &vao);
	gl::BindVertexArray(vao);

	glutDisplayFunc(Display);
	glutReshapeFunc(Reshape);
	glutMainLoop();
	return 0;
}
