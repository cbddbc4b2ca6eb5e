// The frame of every loader benchmark: see loader_bench.h.
#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>

#include "loader_bench.h"

namespace
{
	double TimeMilliseconds(void (*step)())
	{
		const auto start = std::chrono::steady_clock::now();
		step();
		return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
	}
}

int RunLoaderBenchmark(int *argc, char **argv, void (*initialiseLoader)(), void (*useIntroEntryPoints)())
{
	glutInit(argc, argv);
	glutInitDisplayMode(GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH | GLUT_STENCIL);
	glutInitContextVersion(3, 3);
	glutInitContextProfile(GLUT_CORE_PROFILE);
	glutInitContextFlags(GLUT_DEBUG);
	glutCreateWindow("loader benchmark");

	const double init = TimeMilliseconds(initialiseLoader);
	const double first = TimeMilliseconds(useIntroEntryPoints);
	const double second = TimeMilliseconds(useIntroEntryPoints);
	std::printf("%.4f %.4f %.4f\n", init, first, second);
	return 0;
}
