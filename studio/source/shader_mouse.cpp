// iMouse in the studio: see shader_mouse.h.
#include "studio/shader_mouse.h"

namespace
{
	// A window row, counted down from the top, as the picture's row,
	// counted up from the bottom: gl_FragCoord.y's row.
	float PictureY(int y, int height)
	{
		return static_cast<float>(height - 1 - y);
	}
}

void PressShaderMouse(ShaderMouse &mouse, int x, int y, int height)
{
	mouse.x = mouse.pressX = static_cast<float>(x);
	mouse.y = mouse.pressY = PictureY(y, height);
	mouse.held = true;
}

void DragShaderMouse(ShaderMouse &mouse, int x, int y, int height)
{
	if(!mouse.held)
		return;
	mouse.x = static_cast<float>(x);
	mouse.y = PictureY(y, height);
}

void ReleaseShaderMouse(ShaderMouse &mouse)
{
	mouse.held = false;
}

std::array<float, 4> ShaderMouseValue(const ShaderMouse &mouse)
{
	const float sign = mouse.held ? 1.0f : -1.0f;
	return {mouse.x, mouse.y, sign * mouse.pressX, sign * mouse.pressY};
}
