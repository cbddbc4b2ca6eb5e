// What the drawing GL tests share: see frame_probe.h.
#include "frame_probe.h"

#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

int drawCalls = 0, uploadCalls = 0, stateReads = 0;

namespace
{
	PFNGLDRAWARRAYSPROC realDrawArrays = nullptr;
	PFNGLBUFFERDATAPROC realBufferData = nullptr;
	PFNGLGETINTEGERVPROC realGetIntegerv = nullptr;
	PFNGLGETBOOLEANVPROC realGetBooleanv = nullptr;
	PFNGLGETFLOATVPROC realGetFloatv = nullptr;
	PFNGLISENABLEDPROC realIsEnabled = nullptr;

	void CountingDrawArrays(GLenum mode, GLint first, GLsizei count)
	{
		++drawCalls;
		realDrawArrays(mode, first, count);
	}
	void CountingBufferData(GLenum target, GLsizeiptr size, const GLvoid *data, GLenum usage)
	{
		++uploadCalls;
		realBufferData(target, size, data, usage);
	}
	void CountingGetIntegerv(GLenum name, GLint *values)
	{
		++stateReads;
		realGetIntegerv(name, values);
	}
	void CountingGetBooleanv(GLenum name, GLboolean *values)
	{
		++stateReads;
		realGetBooleanv(name, values);
	}
	void CountingGetFloatv(GLenum name, GLfloat *values)
	{
		++stateReads;
		realGetFloatv(name, values);
	}
	GLboolean CountingIsEnabled(GLenum capability)
	{
		++stateReads;
		return realIsEnabled(capability);
	}
}

Target::Target(int width, int height, const int (&clear)[3]) : width(width), height(height)
{
	gl::GenFramebuffers(1, &framebuffer);
	gl::GenRenderbuffers(1, &renderbuffer);
	gl::BindRenderbuffer(gl::GL_RENDERBUFFER, renderbuffer);
	gl::RenderbufferStorage(gl::GL_RENDERBUFFER, gl::GL_RGBA8, width, height);
	gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
	gl::FramebufferRenderbuffer(gl::GL_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_RENDERBUFFER, renderbuffer);
	gl::Viewport(0, 0, width, height);
	gl::ClearColor(clear[0] / 255.0f, clear[1] / 255.0f, clear[2] / 255.0f, 1.0f);
	gl::Clear(gl::GL_COLOR_BUFFER_BIT);
}

Target::~Target()
{
	gl::BindFramebuffer(gl::GL_FRAMEBUFFER, 0);
	gl::DeleteFramebuffers(1, &framebuffer);
	gl::DeleteRenderbuffers(1, &renderbuffer);
}

std::vector<std::vector<int>> Target::Read() const
{
	std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4);
	gl::ReadPixels(0, 0, width, height, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE, rgba.data());
	std::vector<std::vector<int>> pixels;
	for(int y = height - 1; y >= 0; --y)
		for(int x = 0; x < width; ++x)
		{
			const unsigned char *p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
			pixels.push_back({p[0], p[1], p[2]});
		}
	return pixels;
}

bool Below(const std::vector<int> &p, const int (&limit)[3])
{
	return p[0] < limit[0] && p[1] < limit[1] && p[2] < limit[2];
}

CallCounter::CallCounter()
{
	drawCalls = uploadCalls = stateReads = 0;
	realDrawArrays = __gleDrawArrays;
	realBufferData = __gleBufferData;
	realGetIntegerv = __gleGetIntegerv;
	realGetBooleanv = __gleGetBooleanv;
	realGetFloatv = __gleGetFloatv;
	realIsEnabled = __gleIsEnabled;
	__gleDrawArrays = CountingDrawArrays;
	__gleBufferData = CountingBufferData;
	__gleGetIntegerv = CountingGetIntegerv;
	__gleGetBooleanv = CountingGetBooleanv;
	__gleGetFloatv = CountingGetFloatv;
	__gleIsEnabled = CountingIsEnabled;
}

CallCounter::~CallCounter()
{
	__gleDrawArrays = realDrawArrays;
	__gleBufferData = realBufferData;
	__gleGetIntegerv = realGetIntegerv;
	__gleGetBooleanv = realGetBooleanv;
	__gleGetFloatv = realGetFloatv;
	__gleIsEnabled = realIsEnabled;
}

void EnterFrameState(int width, int height)
{
	gl::UseProgram(0);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	gl::Disable(gl::GL_BLEND);
	gl::Disable(gl::GL_DEPTH_TEST);
	gl::Disable(gl::GL_SCISSOR_TEST);
	gl::Disable(gl::GL_CULL_FACE);
	gl::PixelStorei(gl::GL_UNPACK_ALIGNMENT, 1);
	gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
	gl::Viewport(0, 0, width, height);
}

std::vector<GLint> ReadFrameState(const std::vector<GLenum> &units)
{
	const GLenum names[] = {gl::GL_CURRENT_PROGRAM, gl::GL_ACTIVE_TEXTURE, gl::GL_UNPACK_ALIGNMENT,
	                        gl::GL_PACK_ALIGNMENT};
	std::vector<GLint> state;
	for(GLenum name : names)
	{
		state.push_back(0);
		gl::GetIntegerv(name, &state.back());
	}
	const GLenum capabilities[] = {gl::GL_BLEND, gl::GL_DEPTH_TEST, gl::GL_SCISSOR_TEST, gl::GL_CULL_FACE};
	for(GLenum capability : capabilities)
		state.push_back(gl::IsEnabled(capability));
	GLint viewport[4] = {};
	gl::GetIntegerv(gl::GL_VIEWPORT, viewport);
	state.insert(state.end(), viewport, viewport + 4);
	for(GLenum unit : units)
	{
		gl::ActiveTexture(unit);
		state.push_back(0);
		gl::GetIntegerv(gl::GL_TEXTURE_BINDING_2D, &state.back());
	}
	gl::ActiveTexture(static_cast<GLenum>(state[1]));
	return state;
}
