// iMouse in the studio: the press, the drag and the release, in the
// picture's pixels from its bottom-left corner.
#include <gtest/gtest.h>

#include "studio/shader_mouse.h"

using Value = std::array<float, 4>;

TEST(ShaderMouse, FollowsAPressOnThePictureAndTurnsNegativeOnRelease)
{
	ShaderMouse mouse;
	EXPECT_EQ(ShaderMouseValue(mouse), (Value{0, 0, 0, 0}));
	// Window row 30 of a picture 100 high is row 69 counted from its bottom.
	PressShaderMouse(mouse, 10, 30, 100);
	EXPECT_EQ(ShaderMouseValue(mouse), (Value{10, 69, 10, 69}));
	DragShaderMouse(mouse, 40, 0, 100);
	EXPECT_EQ(ShaderMouseValue(mouse), (Value{40, 99, 10, 69}));
	ReleaseShaderMouse(mouse);
	EXPECT_EQ(ShaderMouseValue(mouse), (Value{40, 99, -10, -69}));
	// Moving without the button changes nothing.
	DragShaderMouse(mouse, 5, 5, 100);
	EXPECT_EQ(ShaderMouseValue(mouse), (Value{40, 99, -10, -69}));
}
