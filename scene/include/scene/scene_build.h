// Building the scene's program from its files: what a build reads, whether
// the files still hold it, and the build itself with its failure as a value.
#ifndef SCENE_BUILD_H
#define SCENE_BUILD_H

#include <glload/gl_3_3.hpp>

#include <array>
#include <string>
#include <vector>

#include "report/error.h"
#include "scene/channels.h"
#include "scene/input_files.h"

// The data files of the shaders and the message image, relative to the
// working directory (the shaders through the data-file lookup).
extern const char *const kVertexShaderFile;
extern const char *const kFragmentShaderFile;
extern const char *const kImageFile;
// The optional ones, through the same lookup: the buffers' passes, A to D,
// and the code that goes into every pass.
extern const char *const kBufferShaderFiles[kBufferCount];
extern const char *const kCommonShaderFile;

// Everything a build reads: the shader files, the message image and the
// images that the passes' channel lines name.
struct SceneInputs
{
	FileBytes vertexShader;
	FileBytes fragmentShader;
	FileBytes image;
	std::array<FileBytes, kBufferCount> buffers;  // one not found has no pass
	FileBytes common;                             // not found: no common code
	std::vector<FileBytes> channelImages;         // each image named, once, in the order first named
};

// Whether every shader file read looked settled (FileBytes::settled): a
// shader being saved in place is not built until it has settled. The
// images are left to their decoder.
bool ShadersSettled(const SceneInputs &inputs);

// Reads the shaders (through the data-file lookup), the message image and
// the images the passes' channel lines name.
SceneInputs ReadSceneInputs();

// Whether the buffer has a pass: its file was found.
bool HasBufferPass(const SceneInputs &inputs, int buffer);

// Whether the files still hold what inputs recorded.
bool SceneMatches(const SceneInputs &inputs);

// Whether a look at the files' status alone finds them as inputs recorded:
// cheap enough for every frame; false means SceneMatches should decide.
bool SceneStampsMatch(const SceneInputs &inputs);

// The files that the same look finds changed: each shader by its base name
// ("intro.frag"), each image by its path; empty when SceneStampsMatch.
std::vector<std::string> SceneFilesChanged(const SceneInputs &inputs);

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

// A pass as a build made it.
struct BuiltPass
{
	int buffer = -1;   // the buffer it draws into, 0 to 3, or -1 for the picture
	std::string file;  // its shader file as found
	GLuint program = 0;
	std::array<ChannelSpec, kChannelCount> channels;  // with their defaults (ResolveChannel)
};

// Fails when a pass's resolved channels are wrong, as "FILE:LINE: ...": a
// buffer with no pass, or "self" in the picture's pass.
Error CheckChannels(const SceneInputs &inputs, const BuiltPass &pass);

// Builds every pass from the bytes read (so that each program is made from
// exactly the bytes later rebuilds compare with): each buffer's that has a
// file, A to D, then the picture's; each fragment shader with its channel
// lines blanked and the common code put in (ComposePassText). Returns the
// passes, or none with *failure set: nothing is printed, and no shader or
// program is left behind by a failure. A compile error in the common code
// names the common file, with the driver's log of the common code alone.
std::vector<BuiltPass> BuildScenePasses(const SceneInputs &inputs, BuildFailure *failure);

#endif
