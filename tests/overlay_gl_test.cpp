// The failure overlay on the real driver: what it draws into a framebuffer of
// known size, the GL state it leaves, and its draws and uploads (counted
// through the loader's function pointers).
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gl_test_main.h"
#include "overlay/overlay.h"

namespace
{
	const int kWidth = 320;
	const int kHeight = 240;
	// Between the dark panel and the light text in every channel.
	const int kClear[3] = {64, 96, 128};
	const char *const kLog = "0:3(1): error: syntax error\n0:5(2): error: `x' undeclared\n";

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

	// Counts draws and uploads.
	int drawCalls = 0, uploadCalls = 0;
	PFNGLDRAWARRAYSPROC realDrawArrays = nullptr;
	PFNGLBUFFERDATAPROC realBufferData = nullptr;

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

	class CallCounter
	{
	public:
		CallCounter()
		{
			drawCalls = uploadCalls = 0;
			realDrawArrays = __gleDrawArrays;
			realBufferData = __gleBufferData;
			__gleDrawArrays = CountingDrawArrays;
			__gleBufferData = CountingBufferData;
		}
		~CallCounter()
		{
			__gleDrawArrays = realDrawArrays;
			__gleBufferData = realBufferData;
		}
	};

	// Program, vertex array, array buffer, active unit, blend factors,
	// blending on, and the textures of units 0 and 7.
	std::vector<GLint> ReadState()
	{
		const GLenum names[] = {gl::GL_CURRENT_PROGRAM, gl::GL_VERTEX_ARRAY_BINDING, gl::GL_ARRAY_BUFFER_BINDING,
		                        gl::GL_ACTIVE_TEXTURE,  gl::GL_BLEND_SRC_RGB,        gl::GL_BLEND_DST_RGB,
		                        gl::GL_BLEND_SRC_ALPHA, gl::GL_BLEND_DST_ALPHA};
		std::vector<GLint> state;
		for(GLenum name : names)
		{
			state.push_back(0);
			gl::GetIntegerv(name, &state.back());
		}
		state.push_back(gl::IsEnabled(gl::GL_BLEND));
		const GLenum units[] = {gl::GL_TEXTURE0, gl::GL_TEXTURE7};
		for(GLenum unit : units)
		{
			gl::ActiveTexture(unit);
			state.push_back(0);
			gl::GetIntegerv(gl::GL_TEXTURE_BINDING_2D, &state.back());
		}
		gl::ActiveTexture(static_cast<GLenum>(state[3]));
		return state;
	}

	class OverlayGl : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_EQ(loadResult, LS_LOAD_FUNCTIONS_ALL);
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

TEST_F(OverlayGl, RestoresTheStateTheIntroReliesOn)
{
	// The intro's vertex array, buffer and unit-0 texture; no program (its
	// frame ends with none), blending off.
	Target target;
	GLuint vertexArray = 0, buffer = 0, texture = 0;
	gl::GenVertexArrays(1, &vertexArray);
	gl::GenBuffers(1, &buffer);
	gl::GenTextures(1, &texture);
	gl::BindVertexArray(vertexArray);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	gl::BindTexture(gl::GL_TEXTURE_2D, texture);
	gl::Disable(gl::GL_BLEND);
	OverlayShow(OverlayKind::Warning, "data/intro.frag", "uniform `width' is an int");

	std::vector<GLint> before = ReadState();
	OverlayDraw();
	EXPECT_EQ(ReadState(), before);
	// Another unit active, blending on with other factors.
	gl::ActiveTexture(gl::GL_TEXTURE3);
	gl::Enable(gl::GL_BLEND);
	gl::BlendFuncSeparate(gl::GL_ONE, gl::GL_ZERO, gl::GL_DST_COLOR, gl::GL_SRC_ALPHA);
	before = ReadState();
	OverlayDraw();
	EXPECT_EQ(ReadState(), before);
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);

	gl::Disable(gl::GL_BLEND);
	gl::BlendFunc(gl::GL_ONE, gl::GL_ZERO);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	gl::DeleteTextures(1, &texture);
	gl::DeleteBuffers(1, &buffer);
	gl::DeleteVertexArrays(1, &vertexArray);
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
	OverlayHideAll();
	EXPECT_FALSE(OverlayVisible());
	EXPECT_EQ(OverlayPanelHeight(), 0);
	OverlayDraw();
	EXPECT_EQ(uploadCalls, 4);
	EXPECT_EQ(drawCalls, 3);
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
}
