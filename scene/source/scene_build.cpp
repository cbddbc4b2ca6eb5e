// Building the scene's passes: see scene_build.h.
#include "scene/scene_build.h"

#include <glutil/Shader.h>

#include <exception>

const char *const kVertexShaderFile = "standard.vert";
const char *const kFragmentShaderFile = "intro.frag";
const char *const kImageFile = "images/long.png";
const char *const kBufferShaderFiles[kBufferCount] = {"bufferA.frag", "bufferB.frag", "bufferC.frag", "bufferD.frag"};
const char *const kCommonShaderFile = "common.frag";

bool HasBufferPass(const SceneInputs &inputs, int buffer)
{
	return inputs.buffers[static_cast<size_t>(buffer)].found;
}

namespace
{
	// The fragment shaders read, buffers first, then the picture's.
	std::vector<const FileBytes *> PassFiles(const SceneInputs &inputs)
	{
		std::vector<const FileBytes *> files;
		for(const FileBytes &buffer : inputs.buffers)
			if(buffer.found)
				files.push_back(&buffer);
		files.push_back(&inputs.fragmentShader);
		return files;
	}
}

SceneInputs ReadSceneInputs()
{
	SceneInputs inputs;
	inputs.vertexShader = ReadDataFile(kVertexShaderFile);
	inputs.fragmentShader = ReadDataFile(kFragmentShaderFile);
	inputs.image = ReadFile(kImageFile);
	// An empty buffer file is a pass to report, an empty common file no
	// common code: neither waits for a save that will not come.
	for(int buffer = 0; buffer < kBufferCount; ++buffer)
		inputs.buffers[static_cast<size_t>(buffer)] = ReadDataFile(kBufferShaderFiles[buffer], EmptyFile::Content);
	inputs.common = ReadDataFile(kCommonShaderFile, EmptyFile::Content);
	for(const FileBytes *pass : PassFiles(inputs))
		for(const ChannelSpec &channel : ParseChannelLines(pass->bytes).channels)
		{
			if(channel.source != ChannelSource::Image)
				continue;
			bool known = false;
			for(const FileBytes &image : inputs.channelImages)
				known = known || image.path == channel.image;
			if(!known)
				inputs.channelImages.push_back(ReadFile(channel.image));
		}
	return inputs;
}

bool ShadersSettled(const SceneInputs &inputs)
{
	bool settled = inputs.vertexShader.settled && inputs.common.settled;
	for(const FileBytes *pass : PassFiles(inputs))
		settled = settled && pass->settled;
	return settled;
}

namespace
{
	// The files of inputs that fail a check: dataFile for those the
	// data-file lookup finds (named by their base name), plainFile for the
	// images (named by their path).
	std::vector<std::string> InputsFailing(const SceneInputs &inputs,
	                                       bool (*dataFile)(const std::string &, const FileBytes &),
	                                       bool (*plainFile)(const FileBytes &))
	{
		std::vector<std::string> failing;
		const auto check = [&](const char *basename, const FileBytes &file) {
			if(!dataFile(basename, file))
				failing.push_back(basename);
		};
		check(kVertexShaderFile, inputs.vertexShader);
		check(kFragmentShaderFile, inputs.fragmentShader);
		check(kCommonShaderFile, inputs.common);
		for(int buffer = 0; buffer < kBufferCount; ++buffer)
			check(kBufferShaderFiles[buffer], inputs.buffers[static_cast<size_t>(buffer)]);
		if(!plainFile(inputs.image))
			failing.push_back(kImageFile);
		for(const FileBytes &image : inputs.channelImages)
			if(!plainFile(image))
				failing.push_back(image.path);
		return failing;
	}
}

bool SceneMatches(const SceneInputs &inputs)
{
	return InputsFailing(inputs, DataFileMatches, FileMatches).empty();
}

std::vector<std::string> SceneFilesChanged(const SceneInputs &inputs)
{
	return InputsFailing(inputs, DataFileStampMatches, StampMatches);
}

bool SceneStampsMatch(const SceneInputs &inputs)
{
	return SceneFilesChanged(inputs).empty();
}

std::string StartUpMessage(const BuildFailure &failure)
{
	return failure.driverLog ? failure.file + ":\n" + failure.message : failure.message;
}

Error CheckChannels(const SceneInputs &inputs, const BuiltPass &pass)
{
	for(int index = 0; index < kChannelCount; ++index)
	{
		const ChannelSpec &channel = pass.channels[static_cast<size_t>(index)];
		const std::string where =
		    pass.file + ":" + std::to_string(channel.line) + ": iChannel" + std::to_string(index) + " ";
		if(channel.source == ChannelSource::Self && pass.buffer < 0)
			return Error{where + "reads \"self\", but the picture's pass has no buffer of its own"};
		if(channel.source == ChannelSource::Buffer && !HasBufferPass(inputs, channel.buffer))
			return Error{where + "reads " + BufferName(channel.buffer) + ", but there is no " +
			             kBufferShaderFiles[channel.buffer]};
	}
	return {};
}

namespace
{
	// The lines of text before the first where blanked differs from it.
	int CountLinesBefore(const std::string &text, const std::string &blanked)
	{
		int lines = 0;
		for(size_t at = 0; at < text.size() && at < blanked.size() && text[at] == blanked[at]; ++at)
			lines += text[at] == '\n' ? 1 : 0;
		return lines;
	}

	// Compiles the common code below the head of a pass's text alone; fails
	// with the driver's log when it does not compile.
	Error CompileCommon(const std::string &passText, const std::string &common)
	{
		try
		{
			gl::DeleteShader(
			    glutil::CompileShader(gl::GL_FRAGMENT_SHADER, ComposePassText(PassHead(passText), common)));
			return {};
		}
		catch(const std::exception &e)
		{
			return Error{e.what()};
		}
	}

	// Compiles one shader from the text of a file read (with the common code
	// put in when there is any); returns the shader, or 0 with *failure set.
	// A fault of the common code in the text is reported as the common
	// file's, with its log alone.
	GLuint CompileInput(GLenum shaderType, const FileBytes &file, const char *basename, const std::string &text,
	                    const std::string &common, const std::string &commonPath, BuildFailure *failure)
	{
		const Error unusable = DataFileFailure(file);
		if(unusable)
		{
			*failure = {file.path.empty() ? basename : file.path, unusable.message};
			return 0;
		}
		try
		{
			return glutil::CompileShader(shaderType, ComposePassText(text, common));
		}
		catch(const std::exception &e)
		{
			const Error commonFault = common.empty() ? Error{} : CompileCommon(text, common);
			if(commonFault)
				*failure = {commonPath, commonFault.message, true};
			else
				*failure = {file.path, e.what(), true};
			return 0;
		}
	}

	// Builds one pass's program from its fragment shader file and the
	// compiled vertex shader; 0 with *failure set when it fails.
	GLuint BuildPass(const SceneInputs &inputs, const std::string &common, GLuint vertexShader, const FileBytes &file,
	                 const char *basename, BuiltPass *pass, BuildFailure *failure)
	{
		const ChannelLines lines = ParseChannelLines(WithoutByteOrderMark(file.bytes));
		if(file.complete && lines.error)
		{
			*failure = {file.path, file.path + ":" + lines.error.message};
			return 0;
		}
		pass->file = file.path;
		for(int index = 0; index < kChannelCount; ++index)
			pass->channels[static_cast<size_t>(index)] =
			    ResolveChannel(lines.channels[static_cast<size_t>(index)], index);
		const Error badChannel = CheckChannels(inputs, *pass);
		if(badChannel)
		{
			*failure = {file.path, badChannel.message};
			return 0;
		}
		const GLuint fragmentShader =
		    CompileInput(gl::GL_FRAGMENT_SHADER, file, basename, lines.text, common, inputs.common.path, failure);
		if(fragmentShader == 0)
			return 0;
		GLuint program = 0;
		try
		{
			program = glutil::LinkProgram(std::vector<GLuint>{vertexShader, fragmentShader}, false);
		}
		catch(const std::exception &e)
		{
			*failure = {inputs.vertexShader.path + " + " + file.path, e.what(), true};
		}
		gl::DeleteShader(fragmentShader);
		return program;
	}
}

std::vector<BuiltPass> BuildScenePasses(const SceneInputs &inputs, BuildFailure *failure)
{
	std::vector<BuiltPass> passes;
	const Error unusableCommon = inputs.common.found ? DataFileFailure(inputs.common) : Error{};
	if(unusableCommon)
	{
		*failure = {inputs.common.path, unusableCommon.message};
		return passes;
	}
	const ChannelLines commonLines = ParseChannelLines(inputs.common.bytes);
	if(commonLines.text != inputs.common.bytes)
	{
		const std::string line = std::to_string(CountLinesBefore(inputs.common.bytes, commonLines.text) + 1);
		*failure = {inputs.common.path, inputs.common.path + ":" + line +
		                                    ": channel lines belong in a pass's own file, not in the common code"};
		return passes;
	}
	const GLuint vertexShader = CompileInput(gl::GL_VERTEX_SHADER, inputs.vertexShader, kVertexShaderFile,
	                                         inputs.vertexShader.bytes, "", "", failure);
	const std::string common = inputs.common.found ? WithoutByteOrderMark(inputs.common.bytes) : "";
	if(vertexShader == 0)
		return passes;
	for(int buffer = 0; buffer <= kBufferCount; ++buffer)
	{
		const bool picture = buffer == kBufferCount;
		if(!picture && !HasBufferPass(inputs, buffer))
			continue;
		BuiltPass pass;
		pass.buffer = picture ? -1 : buffer;
		const FileBytes &file = picture ? inputs.fragmentShader : inputs.buffers[static_cast<size_t>(buffer)];
		pass.program = BuildPass(inputs, common, vertexShader, file,
		                         picture ? kFragmentShaderFile : kBufferShaderFiles[buffer], &pass, failure);
		if(pass.program == 0)
		{
			for(const BuiltPass &built : passes)
				gl::DeleteProgram(built.program);
			passes.clear();
			break;
		}
		passes.push_back(pass);
	}
	gl::DeleteShader(vertexShader);
	return passes;
}
