// The failure overlay's cost in the frame loop: frames of the trivial shader's
// quad drawn with the same window, 3.3 core-profile debug context (with the
// same synchronous debug report) and per-frame work as bare_loop, in three
// states that take turns block by block, the order rotating every round:
//
//   none    no overlay call at all;
//   hidden  OverlayDraw after the quad, with nothing on show;
//   shown   OverlayDraw after the quad, with a 20-line compile log on show.
//
// A frame's time is the interval between the ends of consecutive frames,
// each ending with the swap and a glFinish, so that the driver's work for
// the frame is inside it; the first frames of every block are left out. Also
// times OverlayShow (layout and upload, with a glFinish) for a new log each
// time, and OverlayInit (font, atlas, program and upload, with a glFinish).
//
//   overlay_bench VERTEX_SHADER FRAGMENT_SHADER [ROUNDS [FRAMES]]
//
// Run it under an X server of the size to measure (the window is full
// screen). Prints "name value" lines; times are in milliseconds. It measures
// only; no figure makes it fail.
#include <glload/gl_3_3.hpp>
#include <glload/gll.hpp>

#include <GL/freeglut.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/framework.h"
#include "glutil/Shader.h"
#include "overlay/overlay.h"

namespace
{
	const float kQuad[] = {
	    1.0f, 1.0f, 0.0f, 1.0f, 1.0f,  -1.0f, 0.0f, 1.0f, -1.0f, -1.0f, 0.0f, 1.0f,
	    1.0f, 1.0f, 0.0f, 1.0f, -1.0f, 1.0f,  0.0f, 1.0f, -1.0f, -1.0f, 0.0f, 1.0f,
	};

	// What the driver says about a broken fragment shader: 20 lines, as long
	// as such lines usually are.
	const char *const kHeader = "data/intro.frag";
	const char *const kLog =
	    "0:14(12): warning: `spectrumLevel' used uninitialized\n"
	    "0:27(18): error: `rayDirection' undeclared\n"
	    "0:27(18): error: operands to arithmetic operators must be numeric\n"
	    "0:31(9): error: no matching function for call to `sdBox(vec3, float)'; candidates are:\n"
	    "0:31(9): error:    float sdBox(vec3, vec3)\n"
	    "0:35(22): error: could not implicitly convert operands to arithmetic operator\n"
	    "0:35(22): error: operands to arithmetic operators must be numeric\n"
	    "0:41(5): error: `marchDistance' undeclared\n"
	    "0:41(5): error: value of type float cannot be assigned to variable of type vec3\n"
	    "0:48(16): error: syntax error, unexpected ')', expecting ',' or ';'\n"
	    "0:52(3): warning: unused variable `glowStrength'\n"
	    "0:57(11): error: too few components to construct `vec4'\n"
	    "0:63(20): error: `iChannel1' undeclared\n"
	    "0:63(9): error: no matching function for call to `texture(error, vec2)'; candidates are:\n"
	    "0:63(9): error:    vec4 texture(sampler2D, vec2)\n"
	    "0:63(9): error:    vec4 texture(sampler2D, vec2, float)\n"
	    "0:70(14): error: swizzle `xyzw' not valid for type vec3\n"
	    "0:77(2): error: function `shade' has no return statement\n"
	    "0:84(7): error: `outputColor' redeclared\n"
	    "0:90(1): error: syntax error, unexpected end of file\n";

	enum State
	{
		kNone,
		kHidden,
		kShown,
		kStateCount
	};
	const char *const kStateNames[kStateCount] = {"none", "hidden", "shown"};

	// Frames at the start of every block that are not counted: the one that
	// spans the change of state, and a few for the driver to settle.
	const int kSettleFrames = 10;

	GLuint program = 0;
	GLint timeUniform = -1;
	GLuint buffer = 0;
	GLuint vertexArray = 0;
	int width = 0;
	int height = 0;
	const auto start = std::chrono::steady_clock::now();

	double Seconds()
	{
		return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	}

	double Milliseconds(double seconds)
	{
		return 1000.0 * seconds;
	}

	std::string ReadText(const char *path)
	{
		std::ifstream file(path, std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
	}

	double Median(std::vector<double> values)
	{
		if(values.empty())
			return 0.0;
		const size_t middle = values.size() / 2;
		std::nth_element(values.begin(), values.begin() + middle, values.end());
		const double upper = values[middle];
		if(values.size() % 2 == 1)
			return upper;
		return (upper + *std::max_element(values.begin(), values.begin() + middle)) / 2.0;
	}

	// Draws one frame as bare_loop does, with the overlay's draw for the
	// states that call it, then swaps and waits for the driver to finish.
	void DrawFrame(State state)
	{
		gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
		gl::Clear(gl::GL_COLOR_BUFFER_BIT);
		gl::UseProgram(program);
		gl::Uniform1f(timeUniform, static_cast<float>(Seconds()));
		gl::BindVertexArray(vertexArray);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
		gl::EnableVertexAttribArray(0);
		gl::VertexAttribPointer(0, 4, gl::GL_FLOAT, gl::GL_FALSE, 0, nullptr);
		gl::DrawArrays(gl::GL_TRIANGLES, 0, 6);
		gl::DisableVertexAttribArray(0);
		gl::UseProgram(0);
		if(state != kNone)
			OverlayDraw();
		glutSwapBuffers();
		gl::Finish();
	}

	void Display()
	{
	}

	void Reshape(int w, int h)
	{
		width = w;
		height = h;
		gl::Viewport(0, 0, w, h);
		gl::UseProgram(program);
		gl::Uniform1f(gl::GetUniformLocation(program, "width"), static_cast<float>(w));
		gl::Uniform1f(gl::GetUniformLocation(program, "height"), static_cast<float>(h));
		gl::UseProgram(0);
		OverlayResize(w, h);
	}

	// Milliseconds per frame of one block of frames in a state; the window's
	// events are handled between frames, as the toolkit's main loop would.
	void RunBlock(State state, int frames, std::vector<double> &times)
	{
		if(state == kShown)
			OverlayShow(OverlayKind::Error, kHeader, kLog);
		else
			OverlayHide(OverlayKind::Error);
		double previous = 0.0;
		for(int frame = 0; frame < kSettleFrames + frames; ++frame)
		{
			glutMainLoopEvent();
			DrawFrame(state);
			const double now = Seconds();
			if(frame >= kSettleFrames)
				times.push_back(Milliseconds(now - previous));
			previous = now;
		}
	}

	// Milliseconds for OverlayShow with a log it has not shown before, each
	// one's upload finished; the overlay is left showing the last.
	std::vector<double> TimeShows(int count)
	{
		std::vector<double> times;
		for(int i = 0; i < count; ++i)
		{
			const std::string body = std::string(kLog) + "0:91(1): note: attempt " + std::to_string(i) + "\n";
			gl::Finish();
			const double before = Seconds();
			OverlayShow(OverlayKind::Error, kHeader, body);
			gl::Finish();
			times.push_back(Milliseconds(Seconds() - before));
		}
		return times;
	}

	// Milliseconds for OverlayInit, each one's uploads finished. The first is
	// returned apart, since it alone may read the font file from disk.
	bool TimeInits(int count, double &first, std::vector<double> &rest)
	{
		for(int i = 0; i < count; ++i)
		{
			gl::Finish();
			const double before = Seconds();
			const Error error = OverlayInit(kOverlayFontFile);
			gl::Finish();
			const double elapsed = Milliseconds(Seconds() - before);
			if(error)
			{
				std::fprintf(stderr, "overlay_bench: %s\n", error.message.c_str());
				return false;
			}
			if(i == 0)
				first = elapsed;
			else
				rest.push_back(elapsed);
		}
		OverlayResize(width, height);
		return true;
	}
}

int main(int argc, char **argv)
{
	glutInit(&argc, argv);
	if(argc < 3 || argc > 5)
	{
		std::fprintf(stderr, "usage: overlay_bench VERTEX_SHADER FRAGMENT_SHADER [ROUNDS [FRAMES]]\n");
		return 2;
	}
	const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
	const int frames = argc > 4 ? std::max(1, std::atoi(argv[4])) : 200;

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
	gl::GenBuffers(1, &buffer);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
	gl::BufferData(gl::GL_ARRAY_BUFFER, sizeof kQuad, kQuad, gl::GL_STREAM_DRAW);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, 0);
	gl::GenVertexArrays(1, &vertexArray);

	glutDisplayFunc(Display);
	glutReshapeFunc(Reshape);
	// The window is mapped and given its full-screen size before anything
	// is timed.
	for(int i = 0; i < 20 || width == 0; ++i)
	{
		glutMainLoopEvent();
		if(i > 2000)
		{
			std::fprintf(stderr, "overlay_bench: the window got no size\n");
			return 1;
		}
	}

	double firstInit = 0.0;
	std::vector<double> laterInits;
	if(!TimeInits(6, firstInit, laterInits))
		return 1;
	const std::vector<double> shows = TimeShows(40);
	if(!OverlayVisible())
	{
		std::fprintf(stderr, "overlay_bench: the overlay does not show at %dx%d\n", width, height);
		return 1;
	}
	const int panelHeight = OverlayPanelHeight();

	// A block of every state first, uncounted, so that no state pays for the
	// driver's first use of anything.
	std::array<std::vector<double>, kStateCount> times;
	for(int state = 0; state < kStateCount; ++state)
	{
		std::vector<double> ignored;
		RunBlock(static_cast<State>(state), frames / 4 + 1, ignored);
	}
	std::array<std::vector<double>, kStateCount> roundMedians;
	for(int round = 0; round < rounds; ++round)
		for(int turn = 0; turn < kStateCount; ++turn)
		{
			const int state = (round + turn) % kStateCount;
			std::vector<double> block;
			RunBlock(static_cast<State>(state), frames, block);
			roundMedians[state].push_back(Median(block));
			times[state].insert(times[state].end(), block.begin(), block.end());
		}

	std::array<double, kStateCount> medians;
	for(int state = 0; state < kStateCount; ++state)
		medians[state] = Median(times[state]);
	std::vector<double> hiddenRatios, shownRatios;
	for(int round = 0; round < rounds; ++round)
	{
		hiddenRatios.push_back(roundMedians[kHidden][round] / roundMedians[kNone][round]);
		shownRatios.push_back(roundMedians[kShown][round] / roundMedians[kNone][round]);
	}

	std::printf("size %dx%d\n", width, height);
	std::printf("rounds %d\n", rounds);
	std::printf("frames_per_block %d\n", frames);
	std::printf("panel_height %d\n", panelHeight);
	for(int state = 0; state < kStateCount; ++state)
		std::printf("frame_%s_ms %.4f\n", kStateNames[state], medians[state]);
	std::printf("hidden_over_none %.4f\n", medians[kHidden] / medians[kNone]);
	std::printf("shown_over_none %.4f\n", medians[kShown] / medians[kNone]);
	std::printf("shown_minus_none_ms %.4f\n", medians[kShown] - medians[kNone]);
	std::printf("hidden_over_none_round_min %.4f\n", *std::min_element(hiddenRatios.begin(), hiddenRatios.end()));
	std::printf("hidden_over_none_round_max %.4f\n", *std::max_element(hiddenRatios.begin(), hiddenRatios.end()));
	std::printf("shown_over_none_round_min %.4f\n", *std::min_element(shownRatios.begin(), shownRatios.end()));
	std::printf("shown_over_none_round_max %.4f\n", *std::max_element(shownRatios.begin(), shownRatios.end()));
	std::printf("show_ms %.4f\n", Median(shows));
	std::printf("init_first_ms %.4f\n", firstInit);
	std::printf("init_ms %.4f\n", Median(laterInits));
	OverlayShutdown();
	return 0;
}
