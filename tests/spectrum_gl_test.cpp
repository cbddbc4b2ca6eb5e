// On Mesa: the spectrum's texture.
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

#include "spectrum_texture.h"

namespace
{
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

	gl::PixelStorei(gl::GL_UNPACK_ALIGNMENT, 8);
	UploadSpectrum(texture, Pattern());
	EXPECT_EQ(Integer(gl::GL_UNPACK_ALIGNMENT), 1);
	EXPECT_EQ(Integer(gl::GL_ACTIVE_TEXTURE), gl::GL_TEXTURE0);
	EXPECT_EQ(ReadUnitOne(), Pattern());
	EXPECT_EQ(gl::GetError(), gl::GL_NO_ERROR);
	gl::DeleteTextures(1, &texture);
}
