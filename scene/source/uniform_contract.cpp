// The supplied uniforms and their types: see uniform_contract.h.
#include "scene/uniform_contract.h"

#include <cstdio>
#include <string>

#include "scene/supplied_inputs.h"

namespace
{
	struct TypeName
	{
		GLenum type;
		const char *name;
	};

	const TypeName kTypeNames[] = {
	    {gl::GL_FLOAT, "float"},
	    {gl::GL_FLOAT_VEC2, "vec2"},
	    {gl::GL_FLOAT_VEC3, "vec3"},
	    {gl::GL_FLOAT_VEC4, "vec4"},
	    {gl::GL_INT, "int"},
	    {gl::GL_INT_VEC2, "ivec2"},
	    {gl::GL_INT_VEC3, "ivec3"},
	    {gl::GL_INT_VEC4, "ivec4"},
	    {gl::GL_UNSIGNED_INT, "uint"},
	    {gl::GL_UNSIGNED_INT_VEC2, "uvec2"},
	    {gl::GL_UNSIGNED_INT_VEC3, "uvec3"},
	    {gl::GL_UNSIGNED_INT_VEC4, "uvec4"},
	    {gl::GL_BOOL, "bool"},
	    {gl::GL_BOOL_VEC2, "bvec2"},
	    {gl::GL_BOOL_VEC3, "bvec3"},
	    {gl::GL_BOOL_VEC4, "bvec4"},
	    {gl::GL_FLOAT_MAT2, "mat2"},
	    {gl::GL_FLOAT_MAT3, "mat3"},
	    {gl::GL_FLOAT_MAT4, "mat4"},
	    {gl::GL_SAMPLER_1D, "sampler1D"},
	    {gl::GL_SAMPLER_2D, "sampler2D"},
	    {gl::GL_SAMPLER_3D, "sampler3D"},
	    {gl::GL_SAMPLER_CUBE, "samplerCube"},
	    {gl::GL_INT_SAMPLER_2D, "isampler2D"},
	    {gl::GL_UNSIGNED_INT_SAMPLER_2D, "usampler2D"},
	};
}

std::string GlslTypeName(GLenum type)
{
	for(const TypeName &entry : kTypeNames)
		if(entry.type == type)
			return entry.name;
	char hex[32];
	std::snprintf(hex, sizeof hex, "type 0x%04x", static_cast<unsigned>(type));
	return hex;
}

namespace
{
	std::string DeclaredType(const ActiveUniform &uniform)
	{
		const std::string type = GlslTypeName(uniform.type);
		return uniform.array ? type + "[" + std::to_string(uniform.size) + "]" : type;
	}

	std::string SuppliedType(const SuppliedInput &input)
	{
		const std::string type = GlslTypeName(input.type);
		return input.count > 1 ? type + "[" + std::to_string(input.count) + "]" : type;
	}
}

std::vector<UniformMismatch> FindUniformMismatches(const std::vector<ActiveUniform> &active)
{
	std::vector<UniformMismatch> mismatches;
	for(const ActiveUniform &uniform : active)
		for(size_t row = 0; row < kSuppliedInputCount; ++row)
		{
			const SuppliedInput &supplied = kSuppliedInputs[row];
			if(uniform.name != supplied.name)
				continue;
			if(uniform.type != supplied.type || (supplied.count > 1 && !uniform.array))
				mismatches.push_back({uniform.name, DeclaredType(uniform), SuppliedType(supplied)});
		}
	return mismatches;
}

std::string DescribeMismatch(const std::string &file, const UniformMismatch &mismatch)
{
	return file + ": uniform " + mismatch.name + " is declared " + mismatch.declared + ", but the intro sets a " +
	       mismatch.expected + "; it is left unset";
}

std::vector<ActiveUniform> ListActiveUniforms(GLuint program)
{
	GLint count = 0;
	GLint longest = 0;
	gl::GetProgramiv(program, gl::GL_ACTIVE_UNIFORMS, &count);
	gl::GetProgramiv(program, gl::GL_ACTIVE_UNIFORM_MAX_LENGTH, &longest);
	std::vector<ActiveUniform> uniforms;
	std::vector<GLchar> name(static_cast<size_t>(longest) + 1);
	for(GLint index = 0; index < count; ++index)
	{
		GLsizei length = 0;
		GLint size = 0;
		GLenum type = 0;
		gl::GetActiveUniform(program, static_cast<GLuint>(index), static_cast<GLsizei>(name.size()), &length, &size,
		                     &type, name.data());
		std::string uniformName(name.data(), static_cast<size_t>(length));
		const std::string arraySuffix = "[0]";
		const bool array =
		    uniformName.size() > arraySuffix.size() &&
		    uniformName.compare(uniformName.size() - arraySuffix.size(), arraySuffix.size(), arraySuffix) == 0;
		if(array)
			uniformName.resize(uniformName.size() - arraySuffix.size());
		uniforms.push_back({uniformName, type, size, array || size > 1});
	}
	return uniforms;
}
