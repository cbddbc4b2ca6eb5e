// The intro's start-up, step by step, with the project's own functions: the
// window and context, the loader, the program build, the image's decode and
// upload, and the music's set-up. Run in a working directory laid out as the
// intro's; prints "toolkit loader program image audio" in milliseconds. The
// program build includes the image step (it decodes and uploads the image
// too) and the driver's shader compiler.
#include <glload/gl_3_3.hpp>
#include <glload/gll.hpp>

#include <GL/freeglut.h>
#include <stb/stb_image.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "Audio.h"
#include "main.h"
#include "scene/scene.h"

namespace
{
	double MillisecondsSince(std::chrono::steady_clock::time_point start)
	{
		return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
	}

	// What the intro does with the image: read, decode to RGBA bottom row
	// first, upload to a texture.
	void LoadImage()
	{
		std::ifstream file("images/long.png", std::ios::binary);
		const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
		stbi_set_flip_vertically_on_load(1);
		int width = 0;
		int height = 0;
		int channels = 0;
		unsigned char *pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc *>(bytes.data()),
		                                              static_cast<int>(bytes.size()), &width, &height, &channels, 4);
		GLuint texture = 0;
		gl::GenTextures(1, &texture);
		gl::BindTexture(gl::GL_TEXTURE_2D, texture);
		gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_RGBA, width, height, 0, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE, pixels);
		gl::Finish();
		stbi_image_free(pixels);
		gl::DeleteTextures(1, &texture);
	}
}

int main(int argc, char **argv)
{
	auto start = std::chrono::steady_clock::now();
	glutInit(&argc, argv);
	glutInitDisplayMode(GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH | GLUT_STENCIL);
	glutInitContextVersion(3, 3);
	glutInitContextProfile(GLUT_CORE_PROFILE);
	glutInitContextFlags(GLUT_DEBUG);
	glutInitWindowSize(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
	glutCreateWindow(argv[0]);
	glutFullScreen();
	const double toolkit = MillisecondsSince(start);

	start = std::chrono::steady_clock::now();
	glload::LoadFunctions();
	const double loader = MillisecondsSince(start);

	start = std::chrono::steady_clock::now();
	LoadImage();
	const double image = MillisecondsSince(start);

	start = std::chrono::steady_clock::now();
	InitializeProgram();
	gl::Finish();
	const double program = MillisecondsSince(start);

	start = std::chrono::steady_clock::now();
	load_music();
	const double audio = MillisecondsSince(start);

	std::fprintf(stderr, "%.3f %.3f %.3f %.3f %.3f\n", toolkit, loader, program, image, audio);
	return 0;
}
