// The main of the tests that need a real GL driver: opens a window with the
// intro's 3.3 core-profile debug context (under the private Xvfb server the
// test runs in), loads the entry points, then runs the tests.
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <GL/freeglut.h>

#include <gtest/gtest.h>

#include "gl_test_main.h"

int loadResult = -1;

int main(int argc, char **argv)
{
	::testing::InitGoogleTest(&argc, argv);
	glutInit(&argc, argv);
	glutInitDisplayMode(GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH | GLUT_STENCIL);
	glutInitContextVersion(3, 3);
	glutInitContextProfile(GLUT_CORE_PROFILE);
	glutInitContextFlags(GLUT_DEBUG);
	glutCreateWindow("gl tests");
	loadResult = glload::LoadFunctions();
	return RUN_ALL_TESTS();
}
