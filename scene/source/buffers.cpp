// The buffers' storage on GL: see buffers.h.
#include "scene/buffers.h"

#include "framework/texture_units.h"

namespace
{
	GLuint MakeFloatTexture(int width, int height)
	{
		return MakeTexture(gl::GL_RGBA32F, width, height, gl::GL_RGBA, gl::GL_FLOAT, nullptr, false);
	}

	// Copies one texture's level 0 into another of the same size and format,
	// bit for bit.
	void CopyTexture(GLuint from, GLuint to, int width, int height, GLuint scratch, GLuint framebuffer)
	{
		GLuint read = 0;
		gl::GenFramebuffers(1, &read);
		gl::BindFramebuffer(gl::GL_READ_FRAMEBUFFER, read);
		gl::FramebufferTexture2D(gl::GL_READ_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_TEXTURE_2D, from, 0);
		gl::BindFramebuffer(gl::GL_DRAW_FRAMEBUFFER, scratch);
		gl::FramebufferTexture2D(gl::GL_DRAW_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_TEXTURE_2D, to, 0);
		gl::BlitFramebuffer(0, 0, width, height, 0, 0, width, height, gl::GL_COLOR_BUFFER_BIT, gl::GL_NEAREST);
		gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
		gl::DeleteFramebuffers(1, &read);
	}
}

GLuint MakeTexture(GLenum internalFormat, int width, int height, GLenum format, GLenum type, const void *pixels,
                   bool mipmaps)
{
	GLuint texture = 0;
	gl::GenTextures(1, &texture);
	gl::ActiveTexture(gl::GL_TEXTURE0 + TextureUnit::kScratch);
	gl::BindTexture(gl::GL_TEXTURE_2D, texture);
	gl::TexImage2D(gl::GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, format, type, pixels);
	if(mipmaps)
		gl::GenerateMipmap(gl::GL_TEXTURE_2D);
	else
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAX_LEVEL, 0);
	gl::BindTexture(gl::GL_TEXTURE_2D, 0);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	return texture;
}

bool MakeBufferTextures(BufferTextures &buffers, const std::array<bool, kBufferCount> &present, int width, int height,
                        GLuint framebuffer)
{
	DeleteBufferTextures(buffers);
	buffers.width = width;
	buffers.height = height;
	buffers.present = present;
	bool complete = true;
	for(int buffer = 0; buffer < kBufferCount; ++buffer)
	{
		if(!present[static_cast<size_t>(buffer)])
			continue;
		for(int parity = 0; parity < 2; ++parity)
		{
			buffers.textures[buffer][parity] = MakeFloatTexture(width, height);
			gl::GenFramebuffers(1, &buffers.framebuffers[buffer][parity]);
			gl::BindFramebuffer(gl::GL_FRAMEBUFFER, buffers.framebuffers[buffer][parity]);
			gl::FramebufferTexture2D(gl::GL_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_TEXTURE_2D,
			                         buffers.textures[buffer][parity], 0);
			complete = complete && gl::CheckFramebufferStatus(gl::GL_FRAMEBUFFER) == gl::GL_FRAMEBUFFER_COMPLETE;
		}
	}
	gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
	if(!complete)
	{
		DeleteBufferTextures(buffers);
		return false;
	}
	ZeroBufferTextures(buffers, framebuffer);
	return true;
}

void DeleteBufferTextures(BufferTextures &buffers)
{
	for(int buffer = 0; buffer < kBufferCount; ++buffer)
		for(int parity = 0; parity < 2; ++parity)
		{
			gl::DeleteTextures(1, &buffers.textures[buffer][parity]);
			gl::DeleteFramebuffers(1, &buffers.framebuffers[buffer][parity]);
			buffers.textures[buffer][parity] = 0;
			buffers.framebuffers[buffer][parity] = 0;
		}
	buffers.present = {};
}

void ZeroBufferTextures(const BufferTextures &buffers, GLuint framebuffer)
{
	gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
	for(int buffer = 0; buffer < kBufferCount; ++buffer)
		for(int parity = 0; parity < 2; ++parity)
			if(buffers.framebuffers[buffer][parity] != 0)
			{
				gl::BindFramebuffer(gl::GL_FRAMEBUFFER, buffers.framebuffers[buffer][parity]);
				gl::Clear(gl::GL_COLOR_BUFFER_BIT);
			}
	gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
}

GLuint BufferTexture(const BufferTextures &buffers, int buffer, int tick)
{
	return buffers.textures[buffer][tick & 1];
}

GLuint BufferFramebuffer(const BufferTextures &buffers, int buffer, int tick)
{
	return buffers.framebuffers[buffer][tick & 1];
}

size_t CheckpointBytes(const BufferTextures &buffers)
{
	size_t count = 0;
	for(bool present : buffers.present)
		count += present ? 1 : 0;
	return count * static_cast<size_t>(buffers.width) * static_cast<size_t>(buffers.height) * 16;
}

std::vector<int> CheckpointTicks(const Checkpoints &checkpoints)
{
	std::vector<int> ticks;
	for(const Checkpoints::Kept &kept : checkpoints.kept)
		ticks.push_back(kept.tick);
	return ticks;
}

void SaveCheckpoint(Checkpoints &checkpoints, const BufferTextures &buffers, int tick, GLuint framebuffer)
{
	if(checkpoints.copyFramebuffer == 0)
		gl::GenFramebuffers(1, &checkpoints.copyFramebuffer);
	Checkpoints::Kept kept;
	kept.tick = tick;
	for(int buffer = 0; buffer < kBufferCount; ++buffer)
	{
		if(!buffers.present[static_cast<size_t>(buffer)])
			continue;
		kept.textures[static_cast<size_t>(buffer)] = MakeFloatTexture(buffers.width, buffers.height);
		CopyTexture(BufferTexture(buffers, buffer, tick), kept.textures[static_cast<size_t>(buffer)], buffers.width,
		            buffers.height, checkpoints.copyFramebuffer, framebuffer);
	}
	checkpoints.kept.push_back(kept);
}

void RestoreCheckpoint(Checkpoints &checkpoints, const BufferTextures &buffers, int tick, GLuint framebuffer)
{
	if(checkpoints.copyFramebuffer == 0)
		gl::GenFramebuffers(1, &checkpoints.copyFramebuffer);
	for(const Checkpoints::Kept &kept : checkpoints.kept)
	{
		if(kept.tick != tick)
			continue;
		for(int buffer = 0; buffer < kBufferCount; ++buffer)
			if(buffers.present[static_cast<size_t>(buffer)])
				CopyTexture(kept.textures[static_cast<size_t>(buffer)], BufferTexture(buffers, buffer, tick),
				            buffers.width, buffers.height, checkpoints.copyFramebuffer, framebuffer);
	}
}

void DropCheckpoint(Checkpoints &checkpoints, int tick)
{
	for(size_t index = 0; index < checkpoints.kept.size(); ++index)
	{
		Checkpoints::Kept &kept = checkpoints.kept[index];
		if(kept.tick != tick)
			continue;
		for(GLuint &texture : kept.textures)
			if(texture != 0)
				gl::DeleteTextures(1, &texture);
		checkpoints.kept.erase(checkpoints.kept.begin() + static_cast<long>(index));
		return;
	}
}

void ClearCheckpoints(Checkpoints &checkpoints)
{
	for(Checkpoints::Kept &kept : checkpoints.kept)
		for(GLuint &texture : kept.textures)
			if(texture != 0)
				gl::DeleteTextures(1, &texture);
	checkpoints.kept.clear();
}
