// The inputs the scene hands its shaders, in one table: each uniform's name,
// its GLSL type, when it is set, from what, and where its location is kept.
// The uniform-type check and the scene both read it, so that a new input is
// one row.
#ifndef SCENE_SUPPLIED_INPUTS_H
#define SCENE_SUPPLIED_INPUTS_H

#include <glload/gl_3_3.hpp>

#include <cstddef>

// What the scene knows when it sets a float input.
struct FrameValues
{
	float seconds = 0.0f;  // the shader's time
	int width = 0;         // the frame's size in pixels
	int height = 0;
};

// When an input is set.
enum class InputUpdate
{
	EveryFrame,   // a float, before each draw
	EveryBuild,   // a float, once per program built
	EveryResize,  // a float, per program built and per window size
	Sampler,      // a texture on its unit, the unit set per program built
};

// One supplied uniform.
struct SuppliedInput
{
	const char *name;
	GLenum type;  // gl::GL_FLOAT or gl::GL_SAMPLER_2D
	InputUpdate update;
	float (*value)(const FrameValues &values);  // floats: the value to set
	int unit;                                   // samplers: framework/texture_units.h
	// Where the scene keeps the uniform's location in its program, stored
	// unsigned: -1 (not declared, or declared with another type) passes
	// through unchanged, and setting it does nothing.
	GLuint *location;
};

// The table, kSuppliedInputCount rows (defined with the scene's state).
extern const SuppliedInput kSuppliedInputs[];
extern const size_t kSuppliedInputCount;

#endif
