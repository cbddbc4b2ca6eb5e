// The intro's hooks. Until the intro itself arrives they leave the window
// empty; the run ends when the window is closed.
#include "framework/framework.h"

unsigned int defaults(unsigned int displayMode, int &, int &)
{
	return displayMode;
}

void init(int, char **)
{
}

void display()
{
}

void reshape(int, int)
{
}

void keyDown(unsigned char, int, int)
{
}

void keyUp(unsigned char, int, int)
{
}

void mouse(int, int, int, int)
{
}
