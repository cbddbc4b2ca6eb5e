// The process entry point: starts the window toolkit, opens one window (full
// screen, or as the application asks) with a 3.3 core-profile debug context, loads the GL entry points,
// switches on the driver's debug reports, and hands over to the application's
// hooks until the main loop ends.
#include <glload/gl_3_3.hpp>
#include <glload/gll.hpp>

#include <GL/freeglut.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>

#include "framework/framework.h"

namespace
{
	int exitStatus = 0;

	// Reports an exception that escaped a hook: its message on standard error
	// unless the framework printed it already. The run then ends with status 1.
	void ReportEscapedException()
	{
		std::exception_ptr current = std::current_exception();
		try
		{
			std::rethrow_exception(current);
		}
		catch(const std::exception &e)
		{
			if(!Framework::IsReported(current))
				std::cerr << e.what() << std::endl;
		}
		catch(...)
		{
			std::cerr << "Unknown exception escaped the intro." << std::endl;
		}
		exitStatus = 1;
	}

	// The toolkit's callbacks: each runs its hook, and an exception from the
	// hook is reported and leaves the main loop instead of unwinding through
	// the toolkit's own code.
	template <typename Hook>
	void Guarded(Hook hook)
	{
		try
		{
			hook();
		}
		catch(...)
		{
			ReportEscapedException();
			glutLeaveMainLoop();
		}
	}

	void DisplayCallback()
	{
		Guarded([] { display(); });
	}
	void ReshapeCallback(int w, int h)
	{
		Guarded([=] { reshape(w, h); });
	}
	void KeyboardCallback(unsigned char key, int x, int y)
	{
		Guarded([=] { keyDown(key, x, y); });
	}
	void KeyboardUpCallback(unsigned char key, int x, int y)
	{
		Guarded([=] { keyUp(key, x, y); });
	}
	void SpecialCallback(int key, int x, int y)
	{
		Guarded([=] { specialKeyDown(key, x, y); });
	}
	void MouseCallback(int button, int state, int x, int y)
	{
		Guarded([=] { mouse(button, state, x, y); });
	}
	void MotionCallback(int x, int y)
	{
		Guarded([=] { motion(x, y); });
	}
	void WindowStatusCallback(int state)
	{
		Guarded([=] { visibility(state != GLUT_HIDDEN && state != GLUT_FULLY_COVERED); });
	}

	// Opens /dev/null on each of the standard descriptors that the process
	// was started without, so that no file opened later (the X connection,
	// say) takes the place of standard output or error and receives the
	// lines meant for them.
	void FillClosedStandardDescriptors()
	{
		for(int descriptor = 0; descriptor <= 2; ++descriptor)
		{
			if(fcntl(descriptor, F_GETFD) != -1)
				continue;
			const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
			if(opened >= 0 && opened != descriptor)
			{
				dup2(opened, descriptor);
				close(opened);
			}
		}
	}
}

int main(int argc, char **argv)
{
	FillClosedStandardDescriptors();
	const int earlyStatus = arguments(argc, argv);
	if(earlyStatus >= 0)
		return earlyStatus;
	// A reader that goes away (intro | head) makes writes to that stream
	// fail instead of ending the run; the streams then stay silent.
	std::signal(SIGPIPE, SIG_IGN);
	glutInit(&argc, argv);

	// The proposed size is the application's to change, but the window is
	// made at the screen's size and goes full screen, so it shows nowhere.
	int width = 500;
	int height = 500;
	unsigned int displayMode = GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH | GLUT_STENCIL;
	displayMode = defaults(displayMode, width, height);
	glutInitDisplayMode(displayMode);
	glutInitContextVersion(3, 3);
	glutInitContextProfile(GLUT_CORE_PROFILE);
	glutInitContextFlags(GLUT_DEBUG);

	// A full-screen window starts at the screen's size, so that no frame (a
	// captured one least of all) is drawn at the toolkit's default size
	// before the switch to full screen takes effect.
	// It also starts at the screen's corner: left to the toolkit, it lands one
	// pixel up and left where no window manager moves it, and on a screen one
	// pixel wide or high none of it shows, so that no frame is ever drawn.
	// A window of a given size starts there too, for the same reason: one
	// pixel across would otherwise not show at all.
	const WindowMode mode = window(argc, argv, width, height);
	glutInitWindowPosition(0, 0);
	if(mode == WindowMode::FullScreen)
		glutInitWindowSize(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
	else
		glutInitWindowSize(width, height);
	int window = glutCreateWindow(argv[0]);
	if(mode == WindowMode::FullScreen)
		glutFullScreen();
	else if(mode == WindowMode::Hidden)
		glutHideWindow();

	glload::LoadFunctions();
	glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);

	if(!glload::IsVersionGEQ(3, 3))
	{
		std::printf("Your OpenGL version is %i, %i. You must have at least OpenGL 3.3 to run this tutorial.\n",
		            glload::GetMajorVersion(), glload::GetMinorVersion());
		std::fflush(stdout);
		glutDestroyWindow(window);
		return 0;
	}

	// The flag says the driver advertises the extension; the entry point
	// may still have come back null.
	if(glext_ARB_debug_output && glDebugMessageCallbackARB)
	{
		gl::Enable(gl::GL_DEBUG_OUTPUT_SYNCHRONOUS_ARB);
		gl::DebugMessageCallbackARB(DebugFunc, nullptr);
	}

	try
	{
		const int batchStatus = batch(argc, argv);
		if(batchStatus >= 0)
			return batchStatus;
		init(argc, argv);
	}
	catch(...)
	{
		ReportEscapedException();
		return exitStatus;
	}

	glutDisplayFunc(DisplayCallback);
	glutReshapeFunc(ReshapeCallback);
	glutKeyboardFunc(KeyboardCallback);
	glutKeyboardUpFunc(KeyboardUpCallback);
	glutSpecialFunc(SpecialCallback);
	glutMouseFunc(MouseCallback);
	glutMotionFunc(MotionCallback);
	glutWindowStatusFunc(WindowStatusCallback);

	glutMainLoop();
	const int finishStatus = finish();
	return exitStatus != 0 ? exitStatus : finishStatus;
}
