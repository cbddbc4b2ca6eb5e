// Building the scene's program from its files: what a build reads, whether
// the files still hold it, and the build itself with its failure as a value.
#ifndef SCENE_BUILD_H
#define SCENE_BUILD_H

#include <glload/gl_3_3.hpp>

#include <string>

#include "scene/input_files.h"

// The data files of the shaders and the message image, relative to the
// working directory (the shaders through the data-file lookup).
extern const char *const kVertexShaderFile;
extern const char *const kFragmentShaderFile;
extern const char *const kImageFile;

// Everything a build reads: the two shader files and the image.
struct SceneInputs
{
	FileBytes vertexShader;
	FileBytes fragmentShader;
	FileBytes image;
};

// Whether both shader files looked settled when read (FileBytes::settled):
// a shader being saved in place is not built until it has settled. The
// image is left to its decoder.
bool ShadersSettled(const SceneInputs &inputs);

// Reads the two shaders (through the data-file lookup) and the image.
SceneInputs ReadSceneInputs();

// Whether the files still hold what inputs recorded.
bool SceneMatches(const SceneInputs &inputs);

// Whether a look at the files' status alone finds them as inputs recorded:
// cheap enough for every frame; false means SceneMatches should decide.
bool SceneStampsMatch(const SceneInputs &inputs);

// Why a build failed: the file it concerns as it was found ("data/intro.frag",
// "../data/intro.frag"; both shaders joined by " + " for a link failure; the
// base name when the lookup failed) and the message to print, which is the
// driver's log as it wrote it for a compile or link failure.
struct BuildFailure
{
	std::string file;
	std::string message;
	bool driverLog = false;  // the message is the driver's log, which does not name the file
};

// The failure as start-up prints it: a driver's log under a first line
// naming the file ("data/standard.vert:"), as the overlay's header does; a
// message that names its file already as it is.
std::string StartUpMessage(const BuildFailure &failure);

// Compiles both shaders from the bytes read (so that the program is made from
// exactly the bytes later rebuilds compare with) and links them. Returns the
// new program, or 0 with *failure set; nothing is printed, and no shader or
// program is left behind by a failure.
GLuint BuildSceneProgram(const SceneInputs &inputs, BuildFailure *failure);

#endif
