// On Mesa: the spectrum's texture, and the mainImage wrapper template
// (data/examples/mainimage-wrapper.frag) around a probe that draws what it is
// given into a 512 x 2 framebuffer.
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/texture_units.h"
#include "glutil/Shader.h"
#include "sound/spectrum_texture.h"

namespace
{
	const char *kWrapper = INTRO_SOURCE_DIR "/data/examples/mainimage-wrapper.frag";
	const char *kVertex = INTRO_SOURCE_DIR "/data/standard.vert";
	const std::string kMarker = "// ---- mainImage goes below this line ----\n";

	// Writes the texture's two rows into red and green and iTime's fraction,
	// scaled by the message texture's red, into blue; fragCoord.x over
	// iResolution.x lands on the centre of texel x.
	const char *kProbe =
	    "void mainImage(out vec4 fragColor, in vec2 fragCoord)\n"
	    "{\n"
	    "\tfloat u = fragCoord.x / iResolution.x;\n"
	    "\tfragColor = vec4(texture(iChannel0, vec2(u, 0.25)).r, texture(iChannel0, vec2(u, 0.75)).r,\n"
	    "\t                 fract(iTime) * texture(iChannel1, vec2(0.5)).r, 1.0);\n"
	    "}\n";

	std::string ReadText(const char *path)
	{
		std::ifstream file(path, std::ios::binary);
		std::ostringstream text;
		text << file.rdbuf();
		return text.str();
	}

	// The template up to and including its marker line.
	std::string WrapperHead()
	{
		const std::string text = ReadText(kWrapper);
		const size_t marker = text.find(kMarker);
		return marker == std::string::npos ? std::string() : text.substr(0, marker + kMarker.size());
	}

	SpectrumBytes Pattern()
	{
		SpectrumBytes bytes;
		for(size_t i = 0; i < bytes.size(); ++i)
			bytes[i] = static_cast<unsigned char>(i * 7 + i / 256);
		return bytes;
	}

	// The texture bound on unit 1, read back as bytes.
	SpectrumBytes ReadUnitOne()
	{
		SpectrumBytes bytes;
		bytes.fill(1);
		gl::ActiveTexture(gl::GL_TEXTURE1);
		gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
		gl::GetTexImage(gl::GL_TEXTURE_2D, 0, gl::GL_RED, gl::GL_UNSIGNED_BYTE, bytes.data());
		gl::ActiveTexture(gl::GL_TEXTURE0);
		return bytes;
	}

	GLint Integer(GLenum name)
	{
		GLint value = -1;
		gl::GetIntegerv(name, &value);
		return value;
	}

	GLint UnitOneParameter(GLenum name)
	{
		GLint value = -1;
		gl::ActiveTexture(gl::GL_TEXTURE1);
		gl::GetTexParameteriv(gl::GL_TEXTURE_2D, name, &value);
		gl::ActiveTexture(gl::GL_TEXTURE0);
		return value;
	}

	GLint UnitOneLevelParameter(GLenum name)
	{
		GLint value = -1;
		gl::ActiveTexture(gl::GL_TEXTURE1);
		gl::GetTexLevelParameteriv(gl::GL_TEXTURE_2D, 0, name, &value);
		gl::ActiveTexture(gl::GL_TEXTURE0);
		return value;
	}

	void DrainErrors()
	{
		while(gl::GetError() != gl::GL_NO_ERROR)
		{
		}
	}
}

TEST(SpectrumTextureOnMesa, IsA512By2RedTextureOnUnitOneThatUploadsWhole)
{
	DrainErrors();
	const GLuint texture = CreateSpectrumTexture();
	EXPECT_EQ(Integer(gl::GL_ACTIVE_TEXTURE), gl::GL_TEXTURE0);
	gl::ActiveTexture(gl::GL_TEXTURE1);
	EXPECT_EQ(Integer(gl::GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture));
	gl::ActiveTexture(gl::GL_TEXTURE0);
	EXPECT_EQ(UnitOneLevelParameter(gl::GL_TEXTURE_INTERNAL_FORMAT), gl::GL_R8);
	EXPECT_EQ(UnitOneLevelParameter(gl::GL_TEXTURE_WIDTH), 512);
	EXPECT_EQ(UnitOneLevelParameter(gl::GL_TEXTURE_HEIGHT), 2);
	EXPECT_EQ(UnitOneParameter(gl::GL_TEXTURE_MIN_FILTER), gl::GL_LINEAR);
	EXPECT_EQ(UnitOneParameter(gl::GL_TEXTURE_MAG_FILTER), gl::GL_LINEAR);
	EXPECT_EQ(UnitOneParameter(gl::GL_TEXTURE_WRAP_S), gl::GL_CLAMP_TO_EDGE);
	EXPECT_EQ(UnitOneParameter(gl::GL_TEXTURE_WRAP_T), gl::GL_CLAMP_TO_EDGE);
	EXPECT_EQ(ReadUnitOne(), SilentSpectrum());

	// The frame-state rule's unpacking, which the upload keeps.
	gl::PixelStorei(gl::GL_UNPACK_ALIGNMENT, 1);
	UploadSpectrum(texture, Pattern());
	EXPECT_EQ(Integer(gl::GL_UNPACK_ALIGNMENT), 1);
	EXPECT_EQ(Integer(gl::GL_ACTIVE_TEXTURE), gl::GL_TEXTURE0);
	EXPECT_EQ(ReadUnitOne(), Pattern());
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
	gl::DeleteTextures(1, &texture);
}

TEST(MainImageWrapperOnMesa, TheTemplateAsShippedLinksWithTheStandardVertexStage)
{
	const GLuint program = glutil::LinkProgram(ReadText(kVertex), ReadText(kWrapper));
	EXPECT_NE(program, 0u);
	EXPECT_NE(gl::GetUniformLocation(program, "iChannel0"), -1);
	gl::DeleteProgram(program);
}

// Without a mainImage the wrapper's main() has nothing to call.
TEST(MainImageWrapperOnMesa, TheHeadAloneDoesNotLink)
{
	const std::string head = WrapperHead();
	ASSERT_NE(head, "");
	EXPECT_THROW(glutil::LinkProgram(ReadText(kVertex), head), glutil::CompileLinkException);
}

TEST(MainImageWrapperOnMesa, AMainImageSeesTheIntrosTimeSizeAndTextures)
{
	const std::string head = WrapperHead();
	ASSERT_NE(head, "");
	DrainErrors();
	const GLuint program = glutil::LinkProgram(ReadText(kVertex), head + kProbe);

	// The message on unit 0: one texel of full red.
	GLuint message = 0;
	const unsigned char full = 255;
	gl::GenTextures(1, &message);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	gl::BindTexture(gl::GL_TEXTURE_2D, message);
	gl::PixelStorei(gl::GL_UNPACK_ALIGNMENT, 1);
	gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_R8, 1, 1, 0, gl::GL_RED, gl::GL_UNSIGNED_BYTE, &full);
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_NEAREST);
	const GLuint spectrum = CreateSpectrumTexture();
	UploadSpectrum(spectrum, Pattern());

	// A 512 x 2 target, so that pixel x reads texel x of both rows.
	GLuint framebuffer = 0;
	GLuint colour = 0;
	gl::GenFramebuffers(1, &framebuffer);
	gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
	gl::GenRenderbuffers(1, &colour);
	gl::BindRenderbuffer(gl::GL_RENDERBUFFER, colour);
	gl::RenderbufferStorage(gl::GL_RENDERBUFFER, gl::GL_RGBA8, kSpectrumWidth, kSpectrumRows);
	gl::FramebufferRenderbuffer(gl::GL_FRAMEBUFFER, gl::GL_COLOR_ATTACHMENT0, gl::GL_RENDERBUFFER, colour);
	ASSERT_EQ(gl::CheckFramebufferStatus(gl::GL_FRAMEBUFFER), gl::GL_FRAMEBUFFER_COMPLETE);
	GLint viewport[4] = {};
	gl::GetIntegerv(gl::GL_VIEWPORT, viewport);
	gl::Viewport(0, 0, kSpectrumWidth, kSpectrumRows);

	gl::UseProgram(program);
	gl::Uniform1f(gl::GetUniformLocation(program, "iTime"), 2.25f);
	gl::Uniform3f(gl::GetUniformLocation(program, "iResolution"), static_cast<float>(kSpectrumWidth),
	              static_cast<float>(kSpectrumRows), 1.0f);
	gl::Uniform1i(gl::GetUniformLocation(program, "iChannel1"), 0);
	gl::Uniform1i(gl::GetUniformLocation(program, "iChannel0"), TextureUnit::kSound);

	const float quad[] = {-1, -1, 0, 1, 1, -1, 0, 1, 1, 1, 0, 1, -1, -1, 0, 1, 1, 1, 0, 1, -1, 1, 0, 1};
	GLuint vao = 0;
	GLuint buffer = 0;
	gl::GenVertexArrays(1, &vao);
	gl::BindVertexArray(vao);
	gl::GenBuffers(1, &buffer);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, buffer);
	gl::BufferData(gl::GL_ARRAY_BUFFER, sizeof quad, quad, gl::GL_STATIC_DRAW);
	gl::EnableVertexAttribArray(0);
	gl::VertexAttribPointer(0, 4, gl::GL_FLOAT, gl::GL_FALSE, 0, nullptr);
	gl::DrawArrays(gl::GL_TRIANGLES, 0, 6);

	std::vector<unsigned char> pixels(kSpectrumWidth * kSpectrumRows * 4);
	gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
	gl::ReadPixels(0, 0, kSpectrumWidth, kSpectrumRows, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE, pixels.data());
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);

	const SpectrumBytes pattern = Pattern();
	for(int y = 0; y < kSpectrumRows; ++y)
		for(int x = 0; x < kSpectrumWidth; ++x)
		{
			const unsigned char *pixel = &pixels[(y * kSpectrumWidth + x) * 4];
			ASSERT_NEAR(pixel[0], pattern[x], 1) << x << "," << y;
			ASSERT_NEAR(pixel[1], pattern[kSpectrumWidth + x], 1) << x << "," << y;
			ASSERT_NEAR(pixel[2], 64, 1) << x << "," << y;  // fract(2.25) of 255
		}

	gl::Viewport(viewport[0], viewport[1], viewport[2], viewport[3]);
	gl::UseProgram(0);
	gl::DisableVertexAttribArray(0);
	gl::BindVertexArray(0);
	gl::DeleteVertexArrays(1, &vao);
	gl::DeleteBuffers(1, &buffer);
	gl::BindFramebuffer(gl::GL_FRAMEBUFFER, 0);
	gl::DeleteFramebuffers(1, &framebuffer);
	gl::DeleteRenderbuffers(1, &colour);
	gl::DeleteTextures(1, &spectrum);
	gl::DeleteTextures(1, &message);
	gl::DeleteProgram(program);
}
