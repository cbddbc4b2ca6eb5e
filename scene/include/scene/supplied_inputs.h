// The inputs the scene hands its shaders, in one table: each uniform's name,
// its GLSL type, when it is set, from what, and where its location is kept.
// The uniform-type check and the scene both read it, so that a new input is
// one row.
#ifndef SCENE_SUPPLIED_INPUTS_H
#define SCENE_SUPPLIED_INPUTS_H

#include <glload/gl_3_3.hpp>

#include <cstddef>
#include <string>
#include <vector>

// What the scene knows when it sets an input's value in a pass.
struct FrameValues
{
	float seconds = 0.0f;  // the shader's time
	int frame = 0;         // the tick a buffer's pass runs, or the frame the picture shows
	int width = 0;         // the frame's size in pixels
	int height = 0;
	// The size in texels of each of the pass's channels.
	int channelWidth[4] = {};
	int channelHeight[4] = {};
	// iMouse: the studio's pointer on the picture, for the picture's pass
	// in its window; 0 in every frame of the piece (ticks, stills, captures).
	float mouse[4] = {};
};

// Where a pass keeps the locations of the supplied inputs in its program,
// stored unsigned: -1 (not declared, or declared with another type) passes
// through unchanged, and setting it does nothing.
struct PassLocations
{
	// The intro's own.
	GLuint elapsedTimeUniform = 0;
	GLuint widthUniform = 0;
	GLuint heightUniform = 0;
	GLuint loopDurationUniform = 0;
	GLuint messageUniform = 0;
	GLuint spectrumUniform = 0;
	// The names that shaders written around mainImage expect.
	GLuint iTimeUniform = 0;
	GLuint iTimeDeltaUniform = 0;
	GLuint iFrameUniform = 0;
	GLuint iFrameRateUniform = 0;
	GLuint iResolutionUniform = 0;
	GLuint iMouseUniform = 0;
	GLuint iDateUniform = 0;
	GLuint iSampleRateUniform = 0;
	GLuint iChannelTimeUniform = 0;
	GLuint iChannelResolutionUniform = 0;
	GLuint iChannel0Uniform = 0;
	GLuint iChannel1Uniform = 0;
	GLuint iChannel2Uniform = 0;
	GLuint iChannel3Uniform = 0;
};

// When an input is set.
enum class InputUpdate
{
	EveryFrame,   // before each draw
	EveryBuild,   // once per program built
	EveryResize,  // per program built and per window size
	Sampler,      // a texture on its unit, the unit set per program built
};

// The most values one input holds: four vec4, or four vec3 of an array.
constexpr int kMaxInputValues = 16;

// One supplied uniform.
struct SuppliedInput
{
	const char *name;
	// gl::GL_FLOAT, GL_FLOAT_VEC3, GL_FLOAT_VEC4, GL_INT or GL_SAMPLER_2D.
	GLenum type;
	int count;  // array elements; 1 for a plain uniform
	InputUpdate update;
	// Values and ints: writes count times the type's components into out
	// (an int as a whole float).
	void (*value)(const FrameValues &values, float *out);
	int unit;                         // samplers: framework/texture_units.h
	GLuint PassLocations::*location;  // where a pass keeps its location
};

// The table, kSuppliedInputCount rows (defined with the scene).
extern const SuppliedInput kSuppliedInputs[];
extern const size_t kSuppliedInputCount;

// The names of the table's inputs, in its order.
std::vector<std::string> SuppliedInputNames();

#endif
