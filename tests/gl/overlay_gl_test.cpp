// The failure overlay on the real driver: what it draws into a framebuffer of
// known size, the GL state it leaves, and its draws, uploads and reads of GL
// state (counted through the loader's function pointers).
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/texture_units.h"
#include "gl_test_main.h"
#include "overlay/overlay.h"

namespace
{
	const int kWidth = 320;
	const int kHeight = 240;
	// Between the dark panel and the light text in every channel.
	const int kClear[3] = {64, 96, 128};
	const char *const kLog = "0:3(1): error: syntax error\n0:5(2): error: `x' undeclared\n";
	const GLenum kOverlayUnit = gl::GL_TEXTURE0 + TextureUnit::kOverlay;

	// Draws into a kWidth x kHeight renderbuffer while it lives.
	class Target
	{
	public:
		Target()
		{
			gl::GenFramebuffers(1, &framebuffer);
			gl::GenRenderbuffers(1, &renderbuffer);
			gl::BindRenderbuffer(gl::GL_RENDERBUFFER, renderbuffer);
			gl::RenderbufferStorage(gl::GL_RENDERBUFFER, gl::GL_RGBA8, kWidth, kHeight);
			gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
			gl::FramebufferRenderbuffer(gl::GL_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_RENDERBUFFER,
			                            renderbuffer);
			gl::Viewport(0, 0, kWidth, kHeight);
			gl::ClearColor(kClear[0] / 255.0f, kClear[1] / 255.0f, kClear[2] / 255.0f, 1.0f);
			gl::Clear(gl::GL_COLOR_BUFFER_BIT);
		}
		~Target()
		{
			gl::BindFramebuffer(gl::GL_FRAMEBUFFER, 0);
			gl::DeleteFramebuffers(1, &framebuffer);
			gl::DeleteRenderbuffers(1, &renderbuffer);
		}

		// The pixels' red, green and blue, top row first.
		std::vector<std::vector<int>> Read() const
		{
			std::vector<unsigned char> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
			gl::ReadPixels(0, 0, kWidth, kHeight, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE, rgba.data());
			std::vector<std::vector<int>> pixels;
			for(int y = kHeight - 1; y >= 0; --y)
				for(int x = 0; x < kWidth; ++x)
				{
					const unsigned char *p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
					pixels.push_back({p[0], p[1], p[2]});
				}
			return pixels;
		}

	private:
		GLuint framebuffer = 0;
		GLuint renderbuffer = 0;
	};

	bool Below(const std::vector<int> &p, const int (&limit)[3])
	{
		return p[0] < limit[0] && p[1] < limit[1] && p[2] < limit[2];
	}

	// Counts draws, uploads and reads of GL state.
	int drawCalls = 0, uploadCalls = 0, stateReads = 0;
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

	class CallCounter
	{
	public:
		CallCounter()
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
		~CallCounter()
		{
			__gleDrawArrays = realDrawArrays;
			__gleBufferData = realBufferData;
			__gleGetIntegerv = realGetIntegerv;
			__gleGetBooleanv = realGetBooleanv;
			__gleGetFloatv = realGetFloatv;
			__gleIsEnabled = realIsEnabled;
		}
	};

	// Puts GL in the frame-state rule's state (scene/scene.h) for a
	// kWidth x kHeight frame.
	void EnterFrameState()
	{
		gl::UseProgram(0);
		gl::ActiveTexture(gl::GL_TEXTURE0);
		gl::Disable(gl::GL_BLEND);
		gl::Disable(gl::GL_DEPTH_TEST);
		gl::Disable(gl::GL_SCISSOR_TEST);
		gl::Disable(gl::GL_CULL_FACE);
		gl::PixelStorei(gl::GL_UNPACK_ALIGNMENT, 1);
		gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
		gl::Viewport(0, 0, kWidth, kHeight);
	}

	// What the frame-state rule fixes: the program, the active unit, the
	// pixel alignments, blending, the depth and scissor tests, culling and
	// the viewport; then the textures of unit 0 and of the overlay's unit.
	std::vector<GLint> ReadFrameState()
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
		const GLenum units[] = {gl::GL_TEXTURE0, kOverlayUnit};
		for(GLenum unit : units)
		{
			gl::ActiveTexture(unit);
			state.push_back(0);
			gl::GetIntegerv(gl::GL_TEXTURE_BINDING_2D, &state.back());
		}
		gl::ActiveTexture(static_cast<GLenum>(state[1]));
		return state;
	}

	class OverlayGl : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_EQ(loadResult, LS_LOAD_FUNCTIONS_ALL);
			EnterFrameState();
			std::string error;
			ASSERT_TRUE(OverlayInit(kOverlayFontFile, &error)) << error;
			OverlayResize(kWidth, kHeight);
		}
		void TearDown() override
		{
			OverlayShutdown();
		}
	};
}

TEST_F(OverlayGl, DrawsLightTextOnADarkPanelAtTheTopAndNothingBelow)
{
	Target target;
	OverlayShow(OverlayKind::Error, "data/intro.frag", kLog);
	// Three 12-pixel rows with 6-pixel margins.
	ASSERT_EQ(OverlayPanelHeight(), 48);
	OverlayDraw();
	const std::vector<std::vector<int>> pixels = target.Read();
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);

	// Dark wherever no text is (the top margin is), red in the header's row,
	// light in the log's rows; the clear colour from the panel down.
	const int red[3] = {256, 160, 160};
	const int notLight[3] = {201, 201, 201};
	int darker = 0, redInHeader = 0, lightInFirst = 0, lightInSecond = 0;
	for(int y = 0; y < kHeight; ++y)
		for(int x = 0; x < kWidth; ++x)
		{
			const std::vector<int> &p = pixels[static_cast<size_t>(y) * kWidth + x];
			if(y >= 48)
			{
				ASSERT_EQ(p, std::vector<int>(kClear, kClear + 3)) << x << "," << y;
				continue;
			}
			darker += Below(p, kClear);
			ASSERT_TRUE(y >= 6 || Below(p, kClear)) << x << "," << y;
			redInHeader += y < 18 && p[0] > 200 && Below(p, red);
			lightInFirst += y >= 18 && y < 30 && !Below(p, notLight);
			lightInSecond += y >= 30 && y < 42 && !Below(p, notLight);
		}
	EXPECT_GT(darker, kWidth * 48 * 3 / 4);
	EXPECT_GT(redInHeader, 20);
	EXPECT_GT(lightInFirst, 20);
	EXPECT_GT(lightInSecond, 20);

	// Hidden, it draws nothing.
	gl::Clear(gl::GL_COLOR_BUFFER_BIT);
	OverlayHide(OverlayKind::Error);
	OverlayDraw();
	for(const std::vector<int> &p : target.Read())
		ASSERT_EQ(p, std::vector<int>(kClear, kClear + 3));
}

TEST_F(OverlayGl, LeavesTheFrameStateAsItFindsItWithoutReadingState)
{
	// A texture of the message's on unit 0, which the overlay leaves alone;
	// its atlas has been on its own unit since OverlayInit.
	Target target;
	GLuint message = 0;
	gl::GenTextures(1, &message);
	gl::BindTexture(gl::GL_TEXTURE_2D, message);
	const std::vector<GLint> before = ReadFrameState();
	EXPECT_NE(before.back(), 0);

	{
		CallCounter counter;
		OverlayShow(OverlayKind::Warning, "data/intro.frag", "uniform `width' is an int");
		OverlayResize(2 * kWidth, 2 * kHeight);
		OverlayResize(kWidth, kHeight);
		OverlayDraw();
		OverlayHide(OverlayKind::Warning);
		OverlayShow(OverlayKind::Error, "data/intro.frag", kLog);
		OverlayDraw();
		EXPECT_EQ(drawCalls, 2);
		EXPECT_EQ(stateReads, 0);
	}
	EXPECT_EQ(ReadFrameState(), before);
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
	gl::DeleteTextures(1, &message);
}

TEST_F(OverlayGl, UploadsOncePerNewTextOrSizeDrawsOncePerFrameAndNeverWhenHidden)
{
	CallCounter counter;
	OverlayShow(OverlayKind::Error, "data/intro.frag", kLog);
	for(int frame = 0; frame < 3; ++frame)
		OverlayDraw();
	OverlayShow(OverlayKind::Error, "data/intro.frag", kLog);
	OverlayResize(kWidth, kHeight);
	EXPECT_EQ(uploadCalls, 1);
	EXPECT_EQ(drawCalls, 3);

	// A larger window: 24-pixel rows.
	OverlayResize(2 * kWidth, 4 * kHeight);
	EXPECT_EQ(uploadCalls, 2);
	EXPECT_EQ(OverlayPanelHeight(), 24 + 3 * 24);
	OverlayShow(OverlayKind::Warning, "data/intro.frag", "uniform `width' is an int");
	EXPECT_EQ(uploadCalls, 3);
	EXPECT_EQ(OverlayPanelHeight(), 24 + 5 * 24);
	OverlayHide(OverlayKind::Error);
	EXPECT_EQ(uploadCalls, 4);
	EXPECT_EQ(OverlayPanelHeight(), 24 + 2 * 24);
	OverlayHide(OverlayKind::Error);
	OverlayHide(OverlayKind::Warning);
	EXPECT_FALSE(OverlayVisible());
	EXPECT_EQ(OverlayPanelHeight(), 0);
	OverlayDraw();
	EXPECT_EQ(uploadCalls, 4);
	EXPECT_EQ(drawCalls, 3);
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
}
