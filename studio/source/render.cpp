// The studio's render mode: see render.h.
#include "studio/render.h"

#include <glload/gl_3_3.hpp>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "frames/capture.h"
#include "frames/yuv420.h"
#include "intro_constants.h"
#include "scene/scene.h"

namespace
{
	// Writes all of bytes to fd, waiting for a non-blocking descriptor to
	// take more; fails with the system's reason.
	Error WriteAll(int fd, const unsigned char *bytes, size_t size)
	{
		while(size > 0)
		{
			const ssize_t written = write(fd, bytes, size);
			if(written < 0 && errno == EINTR)
				continue;
			if(written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
			{
				struct pollfd writable = {fd, POLLOUT, 0};
				if(poll(&writable, 1, -1) < 0 && errno != EINTR)
					return Error{std::strerror(errno)};
				continue;
			}
			if(written <= 0)
				return Error{std::strerror(written < 0 ? errno : EIO)};
			bytes += written;
			size -= static_cast<size_t>(written);
		}
		return {};
	}

	// The bytes read back for a frame in format: RGB, or RGBA to convert.
	size_t ReadBackBytes(PixelFormat format, int width, int height)
	{
		return static_cast<size_t>(width) * static_cast<size_t>(height) * (format == PixelFormat::Rgb24 ? 3 : 4);
	}

	// The bytes of a frame written in format.
	size_t FrameBytes(PixelFormat format, int width, int height)
	{
		return format == PixelFormat::Rgb24 ? ReadBackBytes(format, width, height) : Yuv420Bytes(width, height);
	}

	// Maps the pack buffer holding one frame, bottom row first, and writes it
	// in format with every plane top row first.
	Error WriteFrame(int fd, GLuint buffer, int width, int height, PixelFormat format,
	                 std::vector<unsigned char> &frame)
	{
		gl::BindBuffer(gl::GL_PIXEL_PACK_BUFFER, buffer);
		const unsigned char *pixels = static_cast<const unsigned char *>(
		    gl::MapBufferRange(gl::GL_PIXEL_PACK_BUFFER, 0,
		                       static_cast<GLsizeiptr>(ReadBackBytes(format, width, height)), gl::GL_MAP_READ_BIT));
		if(!pixels)
		{
			gl::BindBuffer(gl::GL_PIXEL_PACK_BUFFER, 0);
			return Error{"the driver could not map a frame's pixels"};
		}
		if(format == PixelFormat::Yuv420p)
			RgbaToYuv420(pixels, width, height, frame.data());
		else
		{
			const size_t row = static_cast<size_t>(width) * 3;
			for(int y = 0; y < height; ++y)
				std::memcpy(&frame[static_cast<size_t>(height - 1 - y) * row], pixels + static_cast<size_t>(y) * row,
				            row);
		}
		gl::UnmapBuffer(gl::GL_PIXEL_PACK_BUFFER);
		gl::BindBuffer(gl::GL_PIXEL_PACK_BUFFER, 0);
		const Error error = WriteAll(fd, frame.data(), frame.size());
		if(error)
			return Error{"could not write the frames: " + error.message};
		return {};
	}
}

Error CheckRenderDescriptor(int fd)
{
	const int flags = fcntl(fd, F_GETFL);
	const std::string name = "--render " + std::to_string(fd) + ": descriptor " + std::to_string(fd);
	if(flags == -1)
		return Error{name + " is not open"};
	if((flags & O_ACCMODE) == O_RDONLY)
		return Error{name + " is not open for writing"};
	return {};
}

Error CheckRenderSize(int width, int height)
{
	GLint renderbuffer = 0;
	GLint viewport[2] = {0, 0};
	gl::GetIntegerv(gl::GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
	gl::GetIntegerv(gl::GL_MAX_VIEWPORT_DIMS, viewport);
	const int limitWidth = std::min(renderbuffer, viewport[0]);
	const int limitHeight = std::min(renderbuffer, viewport[1]);
	if(width <= limitWidth && height <= limitHeight)
		return {};
	return Error{"--size " + std::to_string(width) + "x" + std::to_string(height) +
	             " is larger than this driver's limit of " + std::to_string(limitWidth) + " x " +
	             std::to_string(limitHeight)};
}

Error RenderFrames(int fd, const FrameRange &range, int width, int height, PixelFormat format)
{
	GLuint framebuffer = 0;
	GLuint colour = 0;
	gl::GenFramebuffers(1, &framebuffer);
	gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
	gl::GenRenderbuffers(1, &colour);
	gl::BindRenderbuffer(gl::GL_RENDERBUFFER, colour);
	gl::RenderbufferStorage(gl::GL_RENDERBUFFER, gl::GL_RGBA8, width, height);
	gl::FramebufferRenderbuffer(gl::GL_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_RENDERBUFFER, colour);
	if(gl::CheckFramebufferStatus(gl::GL_FRAMEBUFFER) != gl::GL_FRAMEBUFFER_COMPLETE)
		return Error{"the driver could not make a " + std::to_string(width) + " x " + std::to_string(height) +
		             " framebuffer"};
	SceneResize(width, height);

	std::vector<unsigned char> frame(FrameBytes(format, width, height));
	const GLsizeiptr readBack = static_cast<GLsizeiptr>(ReadBackBytes(format, width, height));
	GLuint buffers[2] = {0, 0};
	gl::GenBuffers(2, buffers);
	for(GLuint buffer : buffers)
	{
		gl::BindBuffer(gl::GL_PIXEL_PACK_BUFFER, buffer);
		gl::BufferData(gl::GL_PIXEL_PACK_BUFFER, readBack, nullptr, gl::GL_STREAM_READ);
	}
	gl::BindBuffer(gl::GL_PIXEL_PACK_BUFFER, 0);

	// Frame n as the capture draws it, the buffers' ticks before the first
	// frame replayed unwritten. While frame n is drawn, frame n - 1 is
	// written: the flush sets the drawing going before the read-back of n
	// waits for it.
	const GLenum readFormat = format == PixelFormat::Rgb24 ? gl::GL_RGB : gl::GL_RGBA;
	Error error;
	for(int n = range.first; n <= range.last && !error; ++n)
	{
		SceneDrawFrame(n);
		gl::Flush();
		if(n > range.first)
			error = WriteFrame(fd, buffers[(n - 1) % 2], width, height, format, frame);
		gl::BindBuffer(gl::GL_PIXEL_PACK_BUFFER, buffers[n % 2]);
		gl::ReadPixels(0, 0, width, height, readFormat, gl::GL_UNSIGNED_BYTE, nullptr);
		gl::BindBuffer(gl::GL_PIXEL_PACK_BUFFER, 0);
	}
	if(!error && range.last >= range.first)
		error = WriteFrame(fd, buffers[range.last % 2], width, height, format, frame);

	gl::DeleteBuffers(2, buffers);
	SceneSetFramebuffer(0);
	gl::DeleteRenderbuffers(1, &colour);
	gl::DeleteFramebuffers(1, &framebuffer);
	return error;
}
