// iMouse in the studio, as shaders written around mainImage expect it: while
// the left button is held on the picture, xy is the pointer and zw where the
// press began, both in the picture's pixels from its bottom-left corner (the
// rows of gl_FragCoord); after the release xy stays where the pointer last
// was and zw turns negative.
// Before any press all four are 0, which is also what a still, the render
// mode and the intro pass, since their frames are the piece's.
#ifndef STUDIO_SHADER_MOUSE_H
#define STUDIO_SHADER_MOUSE_H

#include <array>

struct ShaderMouse
{
	float x = 0.0f;  // the pointer, while held, else where it was released
	float y = 0.0f;
	float pressX = 0.0f;  // where the press began
	float pressY = 0.0f;
	bool held = false;
};

// A press at window pixel (x, y), counted from the window's top-left
// corner, in a picture height pixels high.
void PressShaderMouse(ShaderMouse &mouse, int x, int y, int height);

// The pointer moved to (x, y) with the button held; nothing without a press.
void DragShaderMouse(ShaderMouse &mouse, int x, int y, int height);

// The button was released.
void ReleaseShaderMouse(ShaderMouse &mouse);

// The value of iMouse: x, y, then the press's x and y, negative once released.
std::array<float, 4> ShaderMouseValue(const ShaderMouse &mouse);

#endif
