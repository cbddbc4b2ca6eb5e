// The spectrum's texture: see spectrum_texture.h.
#include "sound/spectrum_texture.h"

namespace
{
	// Makes the sound's unit active with texture bound there.
	void BindForUpload(GLuint texture)
	{
		gl::ActiveTexture(gl::GL_TEXTURE0 + TextureUnit::kSound);
		gl::BindTexture(gl::GL_TEXTURE_2D, texture);
	}
}

GLuint CreateSpectrumTexture()
{
	GLuint texture = 0;
	gl::GenTextures(1, &texture);
	BindForUpload(texture);
	const SpectrumBytes silence = SilentSpectrum();
	gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_R8, kSpectrumWidth, kSpectrumRows, 0, gl::GL_RED, gl::GL_UNSIGNED_BYTE,
	               silence.data());
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_S, gl::GL_CLAMP_TO_EDGE);
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_T, gl::GL_CLAMP_TO_EDGE);
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_LINEAR);
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAG_FILTER, gl::GL_LINEAR);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	return texture;
}

void UploadSpectrum(GLuint texture, const SpectrumBytes &bytes)
{
	BindForUpload(texture);
	gl::TexSubImage2D(gl::GL_TEXTURE_2D, 0, 0, 0, kSpectrumWidth, kSpectrumRows, gl::GL_RED, gl::GL_UNSIGNED_BYTE,
	                  bytes.data());
	gl::ActiveTexture(gl::GL_TEXTURE0);
}
