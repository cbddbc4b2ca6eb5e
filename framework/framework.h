// The application frame: the hooks an application supplies to the entry point,
// the GL debug report, and the helpers that find data files and build shader
// programs from them.
#ifndef FRAMEWORK_FRAMEWORK_H
#define FRAMEWORK_FRAMEWORK_H

#include <glload/gl_3_3.hpp>

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "files/open_input.h"

// Hooks the application defines. The entry point calls arguments first,
// with the whole command line, before the window toolkit starts or any
// descriptor is opened: it returns -1 to go on, or the status to end the run
// with at once (a usage text, an option refused). Then defaults once before
// the window exists (it returns the display mode to use and may change the
// proposed size), then window with the command line that the toolkit left
// (it decides between full screen and a window of the size it sets), init
// once the 3.3 context is ready, registers the others with the window
// toolkit, and calls finish once the main loop has ended; finish returns the
// exit status of a run that no error has ended. Before init, batch may take
// the run over: it returns -1 to go on to init and the main loop, or the
// status to end the run with once it has done its work on the context (an
// exception it lets out is reported as init's are).
int arguments(int argc, char **argv);
unsigned int defaults(unsigned int displayMode, int &width, int &height);
enum class WindowMode
{
	FullScreen,  // made at the screen's size and switched to full screen at once
	Windowed,    // a window of width x height, never full screen at start-up
	Hidden,      // a window of width x height that is never shown: a context only
};
WindowMode window(int argc, char **argv, int &width, int &height);
int batch(int argc, char **argv);
void init(int argc, char **argv);
void display();
void reshape(int w, int h);
void keyDown(unsigned char key, int x, int y);
void keyUp(unsigned char key, int x, int y);
// A key without a character (arrows, Home, Page Up; GLUT_KEY_*).
void specialKeyDown(int key, int x, int y);
void mouse(int button, int state, int x, int y);
// The pointer moved with a button held.
void motion(int x, int y);
// The window came into view (shown is true) or went out of it: unmapped,
// minimised or wholly covered. The toolkit draws no frame while it is out of
// view. Called on each change the window system reports, so the same value
// may come twice.
void visibility(bool shown);
int finish();

// The GL debug-message callback: prints "<type> from <source>,\t<severity>
// priority\nMessage: <message>\n" on standard output. An enum it does not know
// prints as an empty word; id, length and userParam are not used.
void DebugFunc(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei length, const GLchar *message,
               GLvoid *userParam);

namespace Framework
{
	// A data file as the lookup found it: the path it was opened by and the
	// file, open.
	struct DataFile
	{
		std::string path;
		InputFile file;
	};

	// A data file that is there, a regular file, but does not open.
	struct UnreadableDataFile : std::runtime_error
	{
		UnreadableDataFile(const std::string &path, const std::string &reason);
		std::string path;    // "data/intro.frag"
		std::string reason;  // the system's, "Permission denied"
	};

	// Finds and opens the data file basename: "data/" + basename when that
	// opens as a regular file (after links), else "../data/" + basename, both
	// relative to the working directory. Each name is opened once, without
	// blocking, and judged on the descriptor opened, so a FIFO, device or
	// directory of that name is passed over and never waited on, and the
	// file handed back is the one judged. Throws std::runtime_error("Could
	// not find the file " + basename) when neither is a regular file, or
	// UnreadableDataFile ("Could not read " + path + ": " + the system's
	// reason) for a regular file that is there but does not open, such as
	// one without read permission.
	DataFile OpenDataFileOrThrow(const std::string &basename);

	// "data/" + basename when that file opens as a regular file, else
	// "../data/" + basename, as OpenDataFileOrThrow finds them (the file is
	// closed again). Throws std::runtime_error("Could not find the file " +
	// basename) otherwise.
	std::string FindFileOrThrow(const std::string &basename);

	// Finds, reads and compiles one shader file into a new shader object,
	// reading the file that the lookup opened. A missing file's error, and
	// "Could not read PATH: REASON" for one that fails to read, pass on
	// unprinted; a compile failure (or any other
	// std::exception while compiling) prints what() on standard error and is
	// rethrown unchanged.
	GLuint LoadShader(GLenum shaderType, const std::string &basename);

	// Links the shaders into a new program, then deletes every shader of the
	// list, also after a failed link. A link failure prints what() on standard
	// error and is rethrown unchanged.
	GLuint CreateProgram(const std::vector<GLuint> &shaderList);

	// True when the exception has already been printed by LoadShader or
	// CreateProgram, so that whoever catches it last does not print it twice.
	bool IsReported(const std::exception_ptr &exception);
}

#endif
