// Shared by the tests that run on the real GL driver (see gl_test_main.cpp).
#ifndef TESTS_GL_TEST_MAIN_H
#define TESTS_GL_TEST_MAIN_H

// What glload::LoadFunctions() returned for the test context.
extern int loadResult;

#endif
