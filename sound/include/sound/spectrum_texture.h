// The texture that carries the sound's bytes (spectrum.h) to the shaders: a
// 512 x 2 single-channel texture on the sound's texture unit,
// TextureUnit::kSound (framework/texture_units.h); set the shader's
// `spectrum` uniform to that unit. Needs a current GL context in the
// frame-state rule's state (scene/scene.h): GL_TEXTURE0 active, rows
// unpacked unpadded. Binds only the sound's unit, and leaves GL_TEXTURE0
// active.
#ifndef SPECTRUM_TEXTURE_H
#define SPECTRUM_TEXTURE_H

#include <glload/gl_3_3.hpp>

#include "framework/texture_units.h"
#include "sound/spectrum.h"

// Creates a kSpectrumWidth x kSpectrumRows GL_R8 texture holding silence,
// linear both ways and clamped to the edge, bound to the sound's unit.
// Returns its name.
GLuint CreateSpectrumTexture();

// Replaces the whole texture's contents with bytes (row 0 first, at the
// texture's bottom), through the sound's unit.
void UploadSpectrum(GLuint texture, const SpectrumBytes &bytes);

#endif
