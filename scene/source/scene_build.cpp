// Building the scene's program: see scene_build.h.
#include "scene/scene_build.h"

#include <glutil/Shader.h>

#include <exception>
#include <vector>

const char *const kVertexShaderFile = "standard.vert";
const char *const kFragmentShaderFile = "intro.frag";
const char *const kImageFile = "images/long.png";

SceneInputs ReadSceneInputs()
{
	SceneInputs inputs;
	inputs.vertexShader = ReadDataFile(kVertexShaderFile);
	inputs.fragmentShader = ReadDataFile(kFragmentShaderFile);
	inputs.image = ReadFile(kImageFile);
	return inputs;
}

bool ShadersSettled(const SceneInputs &inputs)
{
	return inputs.vertexShader.settled && inputs.fragmentShader.settled;
}

bool SceneMatches(const SceneInputs &inputs)
{
	return DataFileMatches(kVertexShaderFile, inputs.vertexShader) &&
	       DataFileMatches(kFragmentShaderFile, inputs.fragmentShader) && FileMatches(inputs.image);
}

bool SceneStampsMatch(const SceneInputs &inputs)
{
	return DataFileStampMatches(kVertexShaderFile, inputs.vertexShader) &&
	       DataFileStampMatches(kFragmentShaderFile, inputs.fragmentShader) && StampMatches(inputs.image);
}

std::string StartUpMessage(const BuildFailure &failure)
{
	return failure.driverLog ? failure.file + ":\n" + failure.message : failure.message;
}

namespace
{
	// Compiles one shader file; returns the shader, or 0 with *failure set.
	GLuint CompileInput(GLenum shaderType, const FileBytes &file, const char *basename, BuildFailure *failure)
	{
		const std::string unusable = DataFileFailure(file);
		if(!unusable.empty())
		{
			*failure = {file.path.empty() ? basename : file.path, unusable};
			return 0;
		}
		try
		{
			return glutil::CompileShader(shaderType, file.bytes);
		}
		catch(const std::exception &e)
		{
			*failure = {file.path, e.what(), true};
			return 0;
		}
	}
}

GLuint BuildSceneProgram(const SceneInputs &inputs, BuildFailure *failure)
{
	const GLuint vertexShader = CompileInput(gl::GL_VERTEX_SHADER, inputs.vertexShader, kVertexShaderFile, failure);
	if(vertexShader == 0)
		return 0;
	const GLuint fragmentShader =
	    CompileInput(gl::GL_FRAGMENT_SHADER, inputs.fragmentShader, kFragmentShaderFile, failure);
	if(fragmentShader == 0)
	{
		gl::DeleteShader(vertexShader);
		return 0;
	}
	GLuint program = 0;
	try
	{
		program = glutil::LinkProgram(std::vector<GLuint>{vertexShader, fragmentShader}, false);
	}
	catch(const std::exception &e)
	{
		*failure = {inputs.vertexShader.path + " + " + inputs.fragmentShader.path, e.what(), true};
	}
	gl::DeleteShader(vertexShader);
	gl::DeleteShader(fragmentShader);
	return program;
}
