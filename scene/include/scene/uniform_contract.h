// The uniforms the intro supplies, and the check that a program declares each
// of them, if at all, with the type the intro sets.
#ifndef UNIFORM_CONTRACT_H
#define UNIFORM_CONTRACT_H

#include <glload/gl_3_3.hpp>

#include <string>
#include <vector>

// One uniform as the driver lists it for a linked program.
struct ActiveUniform
{
	std::string name;  // without a trailing "[0]"
	GLenum type = 0;
	int size = 1;        // elements, for an array
	bool array = false;  // declared as an array
};

// A supplied uniform that the program declares with another type, or not as
// the array the intro sets.
struct UniformMismatch
{
	std::string name;
	std::string declared;  // "int", "vec2", "float[2]"
	std::string expected;  // "float", "float[4]"
};

// The GLSL name of a uniform type ("float", "vec2", "sampler2D", ...), or
// "type 0x<hex>" for one it does not know.
std::string GlslTypeName(GLenum type);

// The uniforms among active that the intro supplies (supplied_inputs.h) but
// that are declared with another type, or as a single value where the intro
// sets an array, in the order given.
std::vector<UniformMismatch> FindUniformMismatches(const std::vector<ActiveUniform> &active);

// "FILE: uniform NAME is declared DECLARED, but the intro sets a EXPECTED; it
// is left unset"
std::string DescribeMismatch(const std::string &file, const UniformMismatch &mismatch);

// The active uniforms of a linked program, read from the driver.
std::vector<ActiveUniform> ListActiveUniforms(GLuint program);

#endif
