// The buffers' storage on GL: two RGBA 32-bit float textures per buffer, the
// size of the frame, one for each parity of the tick whose output it holds,
// and the checkpoints, copies of every buffer's output of one tick. Each
// function leaves GL_FRAMEBUFFER bound to `framebuffer`, the player's.
#ifndef SCENE_BUFFERS_H
#define SCENE_BUFFERS_H

#include <glload/gl_3_3.hpp>

#include <array>
#include <cstddef>
#include <vector>

#include "scene/channels.h"

// Makes a width x height texture of internalFormat from pixels (in format
// and type; null leaves them undefined) through TextureUnit::kScratch, which
// it leaves empty: with the whole chain of mipmaps made from them, or with
// level 0 alone. The scene's one way of making a texture of its own.
GLuint MakeTexture(GLenum internalFormat, int width, int height, GLenum format, GLenum type, const void *pixels,
                   bool mipmaps);

struct BufferTextures
{
	int width = 0;
	int height = 0;
	std::array<bool, kBufferCount> present{};
	// [buffer][tick parity]; 0 for a buffer not present.
	GLuint textures[kBufferCount][2] = {};
	GLuint framebuffers[kBufferCount][2] = {};
};

// Makes both textures of each buffer present at width x height, all zero,
// in place of those buffers holds. Returns false when the driver cannot make
// a framebuffer of them (nothing is then kept).
bool MakeBufferTextures(BufferTextures &buffers, const std::array<bool, kBufferCount> &present, int width, int height,
                        GLuint framebuffer);

// Deletes every texture and framebuffer of buffers.
void DeleteBufferTextures(BufferTextures &buffers);

// Sets every texture of buffers to zero.
void ZeroBufferTextures(const BufferTextures &buffers, GLuint framebuffer);

// Where buffer's output of tick is kept, and the framebuffer drawing there.
GLuint BufferTexture(const BufferTextures &buffers, int buffer, int tick);
GLuint BufferFramebuffer(const BufferTextures &buffers, int buffer, int tick);

// The bytes a checkpoint of buffers takes.
size_t CheckpointBytes(const BufferTextures &buffers);

// Copies of the buffers' outputs, each of one tick.
struct Checkpoints
{
	struct Kept
	{
		int tick = 0;
		std::array<GLuint, kBufferCount> textures{};
	};
	std::vector<Kept> kept;
	GLuint copyFramebuffer = 0;  // the checkpoint side of a copy
};

// The ticks of the checkpoints kept.
std::vector<int> CheckpointTicks(const Checkpoints &checkpoints);

// Keeps a copy of the buffers' output of tick.
void SaveCheckpoint(Checkpoints &checkpoints, const BufferTextures &buffers, int tick, GLuint framebuffer);

// Puts the kept copy of tick (which must be kept) back as the buffers'
// output of tick.
void RestoreCheckpoint(Checkpoints &checkpoints, const BufferTextures &buffers, int tick, GLuint framebuffer);

// Deletes the checkpoint of tick, if one is kept.
void DropCheckpoint(Checkpoints &checkpoints, int tick);

// Deletes every checkpoint.
void ClearCheckpoints(Checkpoints &checkpoints);

#endif
