// The failure overlay on the real driver: what it draws into a framebuffer of
// known size, the GL state it leaves, and the GL calls it makes (counted
// through the loader's function pointers).
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gl_test_main.h"
#include "glutil/Shader.h"
#include "overlay.h"

namespace
{
	const int kWidth = 320;
	const int kHeight = 240;
	// The clear colour, in bytes, chosen to lie between the dark panel and
	// the light text in every channel.
	const unsigned char kClear[3] = {64, 96, 128};
	const char *const kHeader = "data/intro.frag";
	const char *const kLog = "0:3(1): error: syntax error\n0:5(2): error: `x' undeclared\n";

	struct Pixel
	{
		int r, g, b;
	};

	// A colour renderbuffer of kWidth x kHeight, bound for drawing and
	// reading while it lives, with the viewport on it.
	class Target
	{
	public:
		Target()
		{
			gl::GetIntegerv(gl::GL_VIEWPORT, viewport);
			gl::GenFramebuffers(1, &framebuffer);
			gl::GenRenderbuffers(1, &renderbuffer);
			gl::BindRenderbuffer(gl::GL_RENDERBUFFER, renderbuffer);
			gl::RenderbufferStorage(gl::GL_RENDERBUFFER, gl::GL_RGBA8, kWidth, kHeight);
			gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
			gl::FramebufferRenderbuffer(gl::GL_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_RENDERBUFFER,
			                            renderbuffer);
			gl::Viewport(0, 0, kWidth, kHeight);
		}
		~Target()
		{
			gl::BindFramebuffer(gl::GL_FRAMEBUFFER, 0);
			gl::DeleteFramebuffers(1, &framebuffer);
			gl::DeleteRenderbuffers(1, &renderbuffer);
			gl::Viewport(viewport[0], viewport[1], viewport[2], viewport[3]);
		}

		void Clear()
		{
			gl::ClearColor(kClear[0] / 255.0f, kClear[1] / 255.0f, kClear[2] / 255.0f, 1.0f);
			gl::Clear(gl::GL_COLOR_BUFFER_BIT);
		}

		// The pixel at column x of row y, counted from the top.
		Pixel At(int x, int y) const
		{
			const size_t offset = (static_cast<size_t>(kHeight - 1 - y) * kWidth + x) * 4;
			return {pixels[offset], pixels[offset + 1], pixels[offset + 2]};
		}

		void Read()
		{
			pixels.assign(static_cast<size_t>(kWidth) * kHeight * 4, 0);
			gl::ReadPixels(0, 0, kWidth, kHeight, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE, pixels.data());
		}

	private:
		GLint viewport[4] = {};
		GLuint framebuffer = 0;
		GLuint renderbuffer = 0;
		std::vector<unsigned char> pixels;
	};

	bool IsClear(const Pixel &p)
	{
		return p.r == kClear[0] && p.g == kClear[1] && p.b == kClear[2];
	}

	bool IsDarker(const Pixel &p)
	{
		return p.r < kClear[0] && p.g < kClear[1] && p.b < kClear[2];
	}

	bool IsLight(const Pixel &p)
	{
		return p.r > 200 && p.g > 200 && p.b > 200;
	}

	// The error header's reddish colour.
	bool IsErrorRed(const Pixel &p)
	{
		return p.r > 200 && p.g < 160 && p.b < 160;
	}

	// Counts calls to the GL functions a draw or an upload would make, by
	// swapping the loader's pointers for counting ones while it lives.
	int drawCalls = 0;
	int stateCalls = 0;
	int uploadCalls = 0;
	PFNGLDRAWARRAYSPROC realDrawArrays = nullptr;
	PFNGLUSEPROGRAMPROC realUseProgram = nullptr;
	PFNGLBINDVERTEXARRAYPROC realBindVertexArray = nullptr;
	PFNGLGETINTEGERVPROC realGetIntegerv = nullptr;
	PFNGLISENABLEDPROC realIsEnabled = nullptr;
	PFNGLBUFFERDATAPROC realBufferData = nullptr;

	void CountingDrawArrays(GLenum mode, GLint first, GLsizei count)
	{
		++drawCalls;
		realDrawArrays(mode, first, count);
	}
	void CountingUseProgram(GLuint program)
	{
		++stateCalls;
		realUseProgram(program);
	}
	void CountingBindVertexArray(GLuint array)
	{
		++stateCalls;
		realBindVertexArray(array);
	}
	void CountingGetIntegerv(GLenum name, GLint *value)
	{
		++stateCalls;
		realGetIntegerv(name, value);
	}
	GLboolean CountingIsEnabled(GLenum capability)
	{
		++stateCalls;
		return realIsEnabled(capability);
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
			drawCalls = stateCalls = uploadCalls = 0;
			realDrawArrays = __gleDrawArrays;
			realUseProgram = __gleUseProgram;
			realBindVertexArray = __gleBindVertexArray;
			realGetIntegerv = __gleGetIntegerv;
			realIsEnabled = __gleIsEnabled;
			realBufferData = __gleBufferData;
			__gleDrawArrays = CountingDrawArrays;
			__gleUseProgram = CountingUseProgram;
			__gleBindVertexArray = CountingBindVertexArray;
			__gleGetIntegerv = CountingGetIntegerv;
			__gleIsEnabled = CountingIsEnabled;
			__gleBufferData = CountingBufferData;
		}
		~CallCounter()
		{
			__gleDrawArrays = realDrawArrays;
			__gleUseProgram = realUseProgram;
			__gleBindVertexArray = realBindVertexArray;
			__gleGetIntegerv = realGetIntegerv;
			__gleIsEnabled = realIsEnabled;
			__gleBufferData = realBufferData;
		}
	};

	// The state the intro's frame relies on, and unit 7's texture.
	struct State
	{
		GLint program = 0, vertexArray = 0, arrayBuffer = 0, activeUnit = 0, unit0Texture = 0, unit7Texture = 0;
		GLint blendSourceRgb = 0, blendDestinationRgb = 0, blendSourceAlpha = 0, blendDestinationAlpha = 0;
		GLboolean blending = gl::GL_FALSE;
		GLint viewport[4] = {};

		static State Read()
		{
			State s;
			gl::GetIntegerv(gl::GL_CURRENT_PROGRAM, &s.program);
			gl::GetIntegerv(gl::GL_VERTEX_ARRAY_BINDING, &s.vertexArray);
			gl::GetIntegerv(gl::GL_ARRAY_BUFFER_BINDING, &s.arrayBuffer);
			gl::GetIntegerv(gl::GL_ACTIVE_TEXTURE, &s.activeUnit);
			gl::GetIntegerv(gl::GL_BLEND_SRC_RGB, &s.blendSourceRgb);
			gl::GetIntegerv(gl::GL_BLEND_DST_RGB, &s.blendDestinationRgb);
			gl::GetIntegerv(gl::GL_BLEND_SRC_ALPHA, &s.blendSourceAlpha);
			gl::GetIntegerv(gl::GL_BLEND_DST_ALPHA, &s.blendDestinationAlpha);
			gl::GetIntegerv(gl::GL_VIEWPORT, s.viewport);
			s.blending = gl::IsEnabled(gl::GL_BLEND);
			gl::ActiveTexture(gl::GL_TEXTURE0);
			gl::GetIntegerv(gl::GL_TEXTURE_BINDING_2D, &s.unit0Texture);
			gl::ActiveTexture(gl::GL_TEXTURE7);
			gl::GetIntegerv(gl::GL_TEXTURE_BINDING_2D, &s.unit7Texture);
			gl::ActiveTexture(static_cast<GLenum>(s.activeUnit));
			return s;
		}
	};

	void ExpectSameState(const State &before, const State &after)
	{
		EXPECT_EQ(after.program, before.program);
		EXPECT_EQ(after.vertexArray, before.vertexArray);
		EXPECT_EQ(after.arrayBuffer, before.arrayBuffer);
		EXPECT_EQ(after.activeUnit, before.activeUnit);
		EXPECT_EQ(after.unit0Texture, before.unit0Texture);
		EXPECT_EQ(after.unit7Texture, before.unit7Texture);
		EXPECT_EQ(after.blending, before.blending);
		EXPECT_EQ(after.blendSourceRgb, before.blendSourceRgb);
		EXPECT_EQ(after.blendDestinationRgb, before.blendDestinationRgb);
		EXPECT_EQ(after.blendSourceAlpha, before.blendSourceAlpha);
		EXPECT_EQ(after.blendDestinationAlpha, before.blendDestinationAlpha);
		for(int i = 0; i < 4; ++i)
			EXPECT_EQ(after.viewport[i], before.viewport[i]);
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
	target.Clear();
	OverlayShow(OverlayKind::Error, kHeader, kLog);
	// Three 12-pixel rows with 6-pixel margins.
	const int panel = OverlayPanelHeight();
	ASSERT_EQ(panel, 48);
	OverlayDraw();
	target.Read();
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);

	int darker = 0;
	for(int y = 0; y < panel; ++y)
		for(int x = 0; x < kWidth; ++x)
		{
			const Pixel p = target.At(x, y);
			EXPECT_FALSE(IsClear(p)) << x << "," << y;
			darker += IsDarker(p);
			// The top margin holds no text.
			if(y < 6)
			{
				EXPECT_TRUE(IsDarker(p)) << x << "," << y;
			}
		}
	EXPECT_GT(darker, kWidth * panel * 3 / 4);

	// The header row is red, the log's rows light.
	int headerRed = 0, headerLight = 0, firstLight = 0, secondLight = 0;
	for(int x = 0; x < kWidth; ++x)
	{
		for(int y = 6; y < 18; ++y)
		{
			headerRed += IsErrorRed(target.At(x, y));
			headerLight += IsLight(target.At(x, y));
		}
		for(int y = 18; y < 30; ++y)
			firstLight += IsLight(target.At(x, y));
		for(int y = 30; y < 42; ++y)
			secondLight += IsLight(target.At(x, y));
	}
	EXPECT_GT(headerRed, 20);
	EXPECT_EQ(headerLight, 0);
	EXPECT_GT(firstLight, 20);
	EXPECT_GT(secondLight, 20);

	for(int y = panel; y < kHeight; ++y)
		for(int x = 0; x < kWidth; ++x)
			ASSERT_TRUE(IsClear(target.At(x, y))) << x << "," << y;
}

TEST_F(OverlayGl, RestoresTheStateTheIntroReliesOn)
{
	Target target;
	const GLuint program = glutil::LinkProgram(
	    "#version 330\nlayout(location = 0) in vec4 p;\nvoid main() { gl_Position = p; }\n",
	    "#version 330\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
	GLuint vertexArray = 0, buffer = 0, textures[2] = {};
	gl::GenVertexArrays(1, &vertexArray);
	gl::GenBuffers(1, &buffer);
	gl::GenTextures(2, textures);
	gl::UseProgram(program);
	gl::BindVertexArray(vertexArray);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
	gl::ActiveTexture(gl::GL_TEXTURE7);
	gl::BindTexture(gl::GL_TEXTURE_2D, textures[1]);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	gl::BindTexture(gl::GL_TEXTURE_2D, textures[0]);
	gl::Disable(gl::GL_BLEND);
	OverlayShow(OverlayKind::Warning, kHeader, "uniform `width' is an int");

	// As the intro leaves it: blending off, unit 0 active.
	State before = State::Read();
	OverlayDraw();
	ExpectSameState(before, State::Read());

	// Another unit active, blending on with other factors.
	gl::ActiveTexture(gl::GL_TEXTURE3);
	gl::Enable(gl::GL_BLEND);
	gl::BlendFuncSeparate(gl::GL_ONE, gl::GL_ZERO, gl::GL_DST_COLOR, gl::GL_SRC_ALPHA);
	before = State::Read();
	OverlayDraw();
	ExpectSameState(before, State::Read());
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);

	gl::Disable(gl::GL_BLEND);
	gl::BlendFunc(gl::GL_ONE, gl::GL_ZERO);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	gl::UseProgram(0);
	gl::BindVertexArray(0);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, 0);
	gl::DeleteTextures(2, textures);
	gl::DeleteBuffers(1, &buffer);
	gl::DeleteVertexArrays(1, &vertexArray);
	gl::DeleteProgram(program);
}

TEST_F(OverlayGl, HiddenItMakesNoGlCallAndChangesNoPixel)
{
	Target target;
	target.Clear();
	OverlayShow(OverlayKind::Error, kHeader, kLog);
	{
		CallCounter counter;
		OverlayDraw();
		EXPECT_EQ(drawCalls, 1);
		EXPECT_GT(stateCalls, 0);
	}

	OverlayHide(OverlayKind::Error);
	EXPECT_FALSE(OverlayVisible());
	EXPECT_EQ(OverlayPanelHeight(), 0);
	target.Clear();
	{
		CallCounter counter;
		OverlayDraw();
		EXPECT_EQ(drawCalls, 0);
		EXPECT_EQ(stateCalls, 0);
		EXPECT_EQ(uploadCalls, 0);
	}
	target.Read();
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
	for(int y = 0; y < kHeight; ++y)
		for(int x = 0; x < kWidth; ++x)
			ASSERT_TRUE(IsClear(target.At(x, y))) << x << "," << y;
}

TEST_F(OverlayGl, UploadsOncePerNewTextOrSizeAndNeverPerFrame)
{
	CallCounter counter;
	OverlayShow(OverlayKind::Error, kHeader, kLog);
	EXPECT_EQ(uploadCalls, 1);
	for(int frame = 0; frame < 3; ++frame)
		OverlayDraw();
	OverlayShow(OverlayKind::Error, kHeader, kLog);
	OverlayResize(kWidth, kHeight);
	EXPECT_EQ(uploadCalls, 1);
	EXPECT_EQ(drawCalls, 3);

	// A larger window: larger rows, laid out and uploaded again.
	OverlayResize(2 * kWidth, 4 * kHeight);
	EXPECT_EQ(uploadCalls, 2);
	EXPECT_EQ(OverlayPanelHeight(), 2 * 12 + 3 * 24);

	OverlayShow(OverlayKind::Warning, kHeader, "uniform `width' is an int");
	EXPECT_EQ(uploadCalls, 3);
	EXPECT_EQ(OverlayPanelHeight(), 2 * 12 + 5 * 24);
	OverlayHide(OverlayKind::Error);
	EXPECT_EQ(uploadCalls, 4);
	EXPECT_TRUE(OverlayVisible());
	EXPECT_EQ(OverlayPanelHeight(), 2 * 12 + 2 * 24);
	OverlayHideAll();
	EXPECT_EQ(uploadCalls, 4);
	EXPECT_FALSE(OverlayVisible());
}
