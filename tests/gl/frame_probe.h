// What the drawing GL tests share: a framebuffer of known size to draw into
// and read back, the frame-state rule's state (scene/scene.h) to enter and
// to read, and counts of draws, uploads and reads of GL state made through
// the loader's function pointers.
#ifndef TESTS_FRAME_PROBE_H
#define TESTS_FRAME_PROBE_H

#include <glload/gl_all.hpp>

#include <vector>

// Draws into a width x height renderbuffer, cleared to the colour clear
// (bytes), while it lives; binds framebuffer 0 again at its end.
class Target
{
public:
	Target(int width, int height, const int (&clear)[3]);
	~Target();
	Target(const Target &) = delete;
	Target &operator=(const Target &) = delete;

	// The pixels' red, green and blue, top row first.
	std::vector<std::vector<int>> Read() const;

private:
	int width = 0;
	int height = 0;
	GLuint framebuffer = 0;
	GLuint renderbuffer = 0;
};

// Whether every channel of the pixel is below the limit's.
bool Below(const std::vector<int> &pixel, const int (&limit)[3]);

// What the counting functions have seen while a CallCounter lives: calls of
// glDrawArrays, of glBufferData, and of glGetIntegerv, glGetBooleanv,
// glGetFloatv and glIsEnabled.
extern int drawCalls, uploadCalls, stateReads;

// Sets the counts to 0 and puts the counting functions in the loader's
// pointers; puts the real ones back at its end.
class CallCounter
{
public:
	CallCounter();
	~CallCounter();
	CallCounter(const CallCounter &) = delete;
	CallCounter &operator=(const CallCounter &) = delete;
};

// Puts GL in the frame-state rule's state for a width x height frame.
void EnterFrameState(int width, int height);

// What the frame-state rule fixes: the program, the active unit, the pixel
// alignments, blending, the depth and scissor tests, culling and the
// viewport; then the 2D texture bound on each of the units (GL_TEXTURE0 +
// n), in their order. The active unit is left as it was.
std::vector<GLint> ReadFrameState(const std::vector<GLenum> &units);

#endif
