// The texture that carries the sound's bytes (spectrum.h) to the shaders: a
// 512 x 2 single-channel texture on texture unit 1. Needs a current GL context.
#ifndef SPECTRUM_TEXTURE_H
#define SPECTRUM_TEXTURE_H

#include <glload/gl_3_3.hpp>

#include "sound/spectrum.h"

// The texture unit the spectrum sampler reads: set the shader's `spectrum`
// uniform to this.
constexpr GLint kSpectrumTextureUnit = 1;

// Creates a kSpectrumWidth x kSpectrumRows GL_R8 texture holding silence,
// linear both ways and clamped to the edge, bound to texture unit 1; leaves
// unit 0 active. Returns its name.
GLuint CreateSpectrumTexture();

// Replaces the whole texture's contents with bytes (row 0 first, at the
// texture's bottom), through texture unit 1; sets GL_UNPACK_ALIGNMENT to 1
// and leaves unit 0 active.
void UploadSpectrum(GLuint texture, const SpectrumBytes &bytes);

#endif
