// The bare reference loop the intro's frame loop is measured against: the
// same full-screen window, 3.3 core-profile debug context (with the same
// synchronous debug report), quad and shader, and per frame only what drawing
// needs: clear, set the time, draw, swap.
//
//   bare_loop VERTEX_SHADER FRAGMENT_SHADER FRAMES [--capture-floor DIR | --buffers N]
//
// Prints "FPS: " every 101 frames, computed as the intro computes it, and
// ends after FRAMES frames. With --capture-floor it also reads every frame
// back as the intro's capture does and writes the same number of bytes as
// the intro's BMP file to DIR/frame<N>.bmp, without encoding them: the floor
// for the capture's throughput.
//
// With --buffers N (1 to 4) it also draws the same shader into N frame-sized
// RGBA 32-bit float framebuffers, two per buffer taken by the tick's parity,
// on the live intro's schedule: ticks of 1/60 s on the clock since the first
// frame, each frame running the ticks due since the last one, every buffer
// once per tick with the tick's time, and, as the intro does to keep up,
// when more are due than fit in 1/30 s at the measured cost of a tick, only
// the latest of them. Then the picture as without buffers. It binds no
// textures and sets no uniform but the time: the floor for the frame loop
// with buffer passes.
#include <glload/gl_3_3.hpp>
#include <glload/gll.hpp>

#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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

	// The buffers: [buffer][tick parity].
	const int kMaxBuffers = 4;
	const double kTicksPerSecond = 60.0;
	const double kTickBudgetSeconds = 1.0 / 30.0;
	int bufferCount = 0;
	GLuint bufferTextures[kMaxBuffers][2] = {};
	GLuint bufferFramebuffers[kMaxBuffers][2] = {};
	int heldTick = -1;
	double secondsPerTick = 0.0;
	double firstFrameSeconds = -1.0;

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

	void DrawQuad(float seconds)
	{
		gl::UseProgram(program);
		gl::Uniform1f(timeUniform, seconds);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
		gl::EnableVertexAttribArray(0);
		gl::VertexAttribPointer(0, 4, gl::GL_FLOAT, gl::GL_FALSE, 0, nullptr);
		gl::DrawArrays(gl::GL_TRIANGLES, 0, 6);
		gl::DisableVertexAttribArray(0);
		gl::UseProgram(0);
	}

	void MakeBuffers(int w, int h)
	{
		for(int index = 0; index < bufferCount; ++index)
			for(int parity = 0; parity < 2; ++parity)
			{
				gl::DeleteTextures(1, &bufferTextures[index][parity]);
				gl::DeleteFramebuffers(1, &bufferFramebuffers[index][parity]);
				gl::GenTextures(1, &bufferTextures[index][parity]);
				gl::BindTexture(gl::GL_TEXTURE_2D, bufferTextures[index][parity]);
				gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_RGBA32F, w, h, 0, gl::GL_RGBA, gl::GL_FLOAT, nullptr);
				gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAX_LEVEL, 0);
				gl::BindTexture(gl::GL_TEXTURE_2D, 0);
				gl::GenFramebuffers(1, &bufferFramebuffers[index][parity]);
				gl::BindFramebuffer(gl::GL_FRAMEBUFFER, bufferFramebuffers[index][parity]);
				gl::FramebufferTexture2D(gl::GL_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_TEXTURE_2D,
				                         bufferTextures[index][parity], 0);
				if(gl::CheckFramebufferStatus(gl::GL_FRAMEBUFFER) != gl::GL_FRAMEBUFFER_COMPLETE)
				{
					std::fprintf(stderr, "bare_loop: no float framebuffer at %d x %d\n", w, h);
					std::exit(1);
				}
				gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
				gl::Clear(gl::GL_COLOR_BUFFER_BIT);
			}
		gl::BindFramebuffer(gl::GL_FRAMEBUFFER, 0);
		heldTick = -1;
	}

	// Runs the ticks due by now into the buffers.
	void RunTicks()
	{
		const double now = Seconds();
		if(firstFrameSeconds < 0.0)
			firstFrameSeconds = now;
		const int target = static_cast<int>(std::lround((now - firstFrameSeconds) * kTicksPerSecond));
		if(target <= heldTick)
			return;
		int first = heldTick + 1;
		if(secondsPerTick > 0.0)
		{
			const int maxTicks = std::max(1, static_cast<int>(kTickBudgetSeconds / secondsPerTick));
			first = std::max(first, target - maxTicks + 1);
		}
		const bool measure = target > first;
		const double began = Seconds();
		for(int tick = first; tick <= target; ++tick)
		{
			for(int index = 0; index < bufferCount; ++index)
			{
				gl::BindFramebuffer(gl::GL_FRAMEBUFFER, bufferFramebuffers[index][tick & 1]);
				DrawQuad(static_cast<float>(tick / kTicksPerSecond));
			}
		}
		gl::BindFramebuffer(gl::GL_FRAMEBUFFER, 0);
		if(measure)
		{
			gl::Finish();
			secondsPerTick = (Seconds() - began) / (target - first + 1);
		}
		heldTick = target;
	}

	void Display()
	{
		if(bufferCount > 0)
			RunTicks();
		gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
		gl::Clear(gl::GL_COLOR_BUFFER_BIT);
		DrawQuad(static_cast<float>(Seconds()));
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
		if(bufferCount > 0)
			MakeBuffers(w, h);
	}
}

int main(int argc, char **argv)
{
	glutInit(&argc, argv);
	const std::string option = argc == 6 ? argv[4] : "";
	if(argc != 4 && option != "--capture-floor" && option != "--buffers")
	{
		std::fprintf(stderr,
		             "usage: bare_loop VERTEX_SHADER FRAGMENT_SHADER FRAMES [--capture-floor DIR | --buffers N]\n");
		return 2;
	}
	frameLimit = std::atoi(argv[3]);
	if(option == "--capture-floor")
		floorDirectory = argv[5];
	if(option == "--buffers")
	{
		bufferCount = std::atoi(argv[5]);
		if(bufferCount < 1 || bufferCount > kMaxBuffers)
		{
			std::fprintf(stderr, "bare_loop: --buffers takes 1 to %d\n", kMaxBuffers);
			return 2;
		}
	}

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
