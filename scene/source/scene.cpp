// The scene: see scene.h.
#include "scene/scene.h"

#include <glload/gl_3_3.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/texture_units.h"
#include "frames/capture.h"
#include "intro_constants.h"
#include "report/report_once.h"
#include "scene/buffers.h"
#include "scene/channels.h"
#include "scene/message_image.h"
#include "scene/rebuild.h"
#include "scene/scene_tracks.h"
#include "scene/supplied_inputs.h"
#include "scene/ticks.h"
#include "scene/uniform_contract.h"
#include "sound/spectrum.h"
#include "sound/spectrum_texture.h"

namespace
{
	// Two triangles covering clip space, one vec4 position per vertex.
	// clang-format off
	const float vertexPositions[] = {
		1.0f, 1.0f, 0.0f, 1.0f,
		1.0f, -1.0f, 0.0f, 1.0f,
		-1.0f, -1.0f, 0.0f, 1.0f,
		1.0f, 1.0f, 0.0f, 1.0f,
		-1.0f, 1.0f, 0.0f, 1.0f,
		-1.0f, -1.0f, 0.0f, 1.0f,
	};
	// clang-format on

	GLuint theTexture = 0;
	GLuint positionBufferObject = 0;
	GLuint vao = 0;
	int WIDTH = 0;
	int HEIGHT = 0;

	const float kLoopDuration = 5.0f;
	const float kFrameRate = static_cast<float>(kCaptureFramesPerSecond);

	void Seconds(const FrameValues &v, float *out)
	{
		out[0] = v.seconds;
	}

	void Size(const FrameValues &v, float *out)
	{
		out[0] = static_cast<float>(v.width);
		out[1] = static_cast<float>(v.height);
		out[2] = 1.0f;
	}

	void FrameNumber(const FrameValues &v, float *out)
	{
		out[0] = static_cast<float>(v.frame);
	}

	// The date of a piece that starts at midnight on 1 January 2000, so that
	// a capture sees the same date at the same time: year, month from 0,
	// day, seconds since midnight.
	void Date(const FrameValues &v, float *out)
	{
		out[0] = 2000.0f;
		out[1] = 0.0f;
		out[2] = 1.0f;
		out[3] = v.seconds;
	}

	// Every channel runs on the shader's clock.
	void ChannelTimes(const FrameValues &v, float *out)
	{
		std::fill_n(out, 4, v.seconds);
	}

	// The channels' sizes in texels.
	void ChannelSizes(const FrameValues &v, float *out)
	{
		for(int channel = 0; channel < 4; ++channel)
		{
			out[channel * 3] = static_cast<float>(v.channelWidth[channel]);
			out[channel * 3 + 1] = static_cast<float>(v.channelHeight[channel]);
			out[channel * 3 + 2] = 1.0f;
		}
	}
}

const SuppliedInput kSuppliedInputs[] = {
    {"iGlobalTime", gl::GL_FLOAT, 1, InputUpdate::EveryFrame, Seconds, 0, &PassLocations::elapsedTimeUniform},
    {"width", gl::GL_FLOAT, 1, InputUpdate::EveryResize,
     [](const FrameValues &v, float *out) { out[0] = static_cast<float>(v.width); }, 0, &PassLocations::widthUniform},
    {"height", gl::GL_FLOAT, 1, InputUpdate::EveryResize,
     [](const FrameValues &v, float *out) { out[0] = static_cast<float>(v.height); }, 0, &PassLocations::heightUniform},
    {"loopDuration", gl::GL_FLOAT, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { out[0] = kLoopDuration; }, 0, &PassLocations::loopDurationUniform},
    {"message", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kMessage,
     &PassLocations::messageUniform},
    {"spectrum", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kSound,
     &PassLocations::spectrumUniform},
    {"iTime", gl::GL_FLOAT, 1, InputUpdate::EveryFrame, Seconds, 0, &PassLocations::iTimeUniform},
    {"iTimeDelta", gl::GL_FLOAT, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { out[0] = 1.0f / kFrameRate; }, 0, &PassLocations::iTimeDeltaUniform},
    {"iFrame", gl::GL_INT, 1, InputUpdate::EveryFrame, FrameNumber, 0, &PassLocations::iFrameUniform},
    {"iFrameRate", gl::GL_FLOAT, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { out[0] = kFrameRate; }, 0, &PassLocations::iFrameRateUniform},
    {"iResolution", gl::GL_FLOAT_VEC3, 1, InputUpdate::EveryResize, Size, 0, &PassLocations::iResolutionUniform},
    {"iMouse", gl::GL_FLOAT_VEC4, 1, InputUpdate::EveryFrame,
     [](const FrameValues &v, float *out) { std::copy_n(v.mouse, 4, out); }, 0, &PassLocations::iMouseUniform},
    {"iDate", gl::GL_FLOAT_VEC4, 1, InputUpdate::EveryFrame, Date, 0, &PassLocations::iDateUniform},
    {"iSampleRate", gl::GL_FLOAT, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { out[0] = static_cast<float>(kSoundtrackSampleRate); }, 0,
     &PassLocations::iSampleRateUniform},
    {"iChannelTime", gl::GL_FLOAT, 4, InputUpdate::EveryFrame, ChannelTimes, 0, &PassLocations::iChannelTimeUniform},
    {"iChannelResolution", gl::GL_FLOAT_VEC3, 4, InputUpdate::EveryResize, ChannelSizes, 0,
     &PassLocations::iChannelResolutionUniform},
    {"iChannel0", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kChannel0,
     &PassLocations::iChannel0Uniform},
    {"iChannel1", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kChannel0 + 1,
     &PassLocations::iChannel1Uniform},
    {"iChannel2", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kChannel0 + 2,
     &PassLocations::iChannel2Uniform},
    {"iChannel3", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kChannel0 + 3,
     &PassLocations::iChannel3Uniform},
};
const size_t kSuppliedInputCount = sizeof kSuppliedInputs / sizeof kSuppliedInputs[0];

std::vector<std::string> SuppliedInputNames()
{
	std::vector<std::string> names;
	for(size_t row = 0; row < kSuppliedInputCount; ++row)
		names.push_back(kSuppliedInputs[row].name);
	return names;
}

namespace
{
	GLint Location(GLuint stored)
	{
		return static_cast<GLint>(stored);
	}

	// A pass in use: what its build made, where its inputs are, and the
	// samplers that give its channels their filter and wrap.
	struct Pass
	{
		BuiltPass built;
		PassLocations locations;
		GLuint samplers[kChannelCount] = {};
		bool readsSound = false;  // samples the sound's texture through any sampler
		// The single float uniforms it declares that the scene does not
		// supply: the ones a track of that name sets.
		std::vector<std::string> floatUniforms;
		// Each track's location in its program, in the order of the
		// tracks in use; -1 where it declares none.
		std::vector<GLint> trackLocations;
		bool readsTracks = false;  // any of them is not -1
	};

	// The passes in use: each buffer's, A to D, then the picture's, last
	// (its program is what the intro has called theProgram).
	std::vector<Pass> passes;

	// An image a channel line names, decoded and uploaded with its mipmaps.
	struct ChannelImage
	{
		FileBytes file;
		GLuint texture = 0;
		int width = 0;
		int height = 0;
	};
	std::vector<ChannelImage> channelImages;

	// What the keyboard channel reads: 256 x 3 texels of no key pressed.
	GLuint keyboardTexture = 0;
	const int kKeyboardWidth = 256;
	const int kKeyboardHeight = 3;

	// The buffers, where they stand, and the checkpoints kept of them.
	BufferTextures buffers;
	int heldTick = kStartTick;
	bool heldExact = true;
	std::array<bool, kBufferCount> mipmappedBuffers{};
	Checkpoints checkpoints;
	size_t checkpointBudget = 0;
	int checkpointTotalTicks = 0;
	// The tick of the one checkpoint kept beyond the evenly spread ones: the
	// frame the last replay went to, so that a loop back to it, or a second
	// look, starts right there. kStartTick - 1 when there is none.
	const int kNoTargetCheckpoint = kStartTick - 1;
	int targetCheckpoint = kNoTargetCheckpoint;
	// The tick a replay that started from a checkpoint or from zero was
	// sent to, or kNoTargetCheckpoint.
	int replayTarget = kNoTargetCheckpoint;
	// What the buffers' passes were built from: when it changes, they start
	// again from all zero.
	std::string bufferSources;
	// How long one tick took, as last measured; 0 before any measure. A
	// live player runs at most kUnmeasuredTicks in a frame before it knows.
	double secondsPerTick = 0.0;
	const int kUnmeasuredTicks = 8;

	GLuint playerFramebuffer = 0;

	// The sync tracks in use, and the report of a bad tracks file.
	SceneTrackSet trackSet;
	ReportOnce tracksReport;
	std::vector<float> trackValues;  // scratch for one draw's values

	// Where build reports go, and what the rebuild rules remember.
	BuildReports buildReports;
	RebuildMemory rebuildMemory;
	// The files as the last build or look read them, for ReloadIfTouched.
	SceneInputs lastRead;

	SceneInputs ReadAndKeep()
	{
		lastRead = ReadSceneInputs();
		return lastRead;
	}

	// Whether a shader was caught mid-write in a way that passes by itself
	// (changed while read, or modified a moment ago), rather than left
	// empty, which for a shader that is never empty once saved lasts until
	// the file is written again.
	bool SettlesByItself(const SceneInputs &inputs)
	{
		std::vector<const FileBytes *> shaders = {&inputs.vertexShader, &inputs.fragmentShader, &inputs.common};
		for(const FileBytes &buffer : inputs.buffers)
			shaders.push_back(&buffer);
		for(const FileBytes *shader : shaders)
			if(!shader->settled && (!shader->bytes.empty() || shader->empty == EmptyFile::Content))
				return true;
		return false;
	}

	// Set while the last rebuild dropped shaders that settle by themselves,
	// so that SceneFilesTouched says so although no stamp changes.
	bool awaitingSettle = false;

	// How often, and how long apart, start-up reads a shader that has not
	// yet settled: at most half a second in all.
	const int kStartUpSettleReads = 10;
	const std::chrono::milliseconds kStartUpSettlePause(50);

	// The message image's size, for the inputs that tell it.
	int messageWidth = 0;
	int messageHeight = 0;

	// What the image's last load printed: a warning when it failed, said once
	// while it stays, and the size line, printed at every rebuild.
	std::string sizeLine;
	std::string imageWarning;
	ReportOnce imageReport;

	// The sound the shaders read. The soundtrack is opened for analysis and
	// the texture made the first time a pass reads it, so that a scene
	// without it costs nothing.
	bool soundInputReady = false;
	SoundAnalyser soundAnalyser;
	GLuint spectrumTexture = 0;
	SpectrumBytes spectrumBytes;
	bool soundAnalysed = false;
	double soundAnalysedAt = 0.0;

	// Analyses the soundtrack at the shader's time and uploads the result to
	// the sound's texture unit, unless it holds that time already. A
	// soundtrack the reader cannot decode is reported once and gives silence.
	void UpdateSpectrum(double shaderSeconds)
	{
		if(!soundInputReady)
		{
			SoundAnalyserOpening opening = OpenSoundAnalyser(kSoundtrackFile);
			if(opening.error)
				*buildReports.errors << opening.error.message << std::endl;
			soundAnalyser = std::move(opening.analyser);
			spectrumTexture = CreateSpectrumTexture();
			soundInputReady = true;
		}
		if(soundAnalysed && soundAnalysedAt == shaderSeconds)
			return;
		AnalyseSound(soundAnalyser, shaderSeconds, spectrumBytes);
		UploadSpectrum(spectrumTexture, spectrumBytes);
		soundAnalysed = true;
		soundAnalysedAt = shaderSeconds;
	}

	// Prints the result of the image's load: the warning when it is new,
	// then the width, height and channel count in the file.
	void PrintImageReport()
	{
		if(IsNewReport(imageReport, imageWarning) && !imageWarning.empty())
			*buildReports.errors << imageWarning << std::endl;
		std::cout << sizeLine << std::endl;
	}

	// The driver's largest texture side, asked once at set-up.
	int maxTextureSide = 0;

	// Decodes the image bottom row first and uploads it to a new texture on
	// the message's unit, replacing the previous one. An image that cannot be
	// read or decoded, or is too large (DecodeMessageImage), is reported and
	// uploaded as an empty 0 x 0 texture.
	void setup_texture(const FileBytes &image)
	{
		GLuint texture = 0;
		gl::GenTextures(1, &texture);

		DecodedImage decoded;
		if(!image.complete)
			decoded.error = image.error;
		else
			decoded = DecodeMessageImage(image.bytes, maxTextureSide);
		imageWarning.clear();
		if(decoded.error)
			imageWarning = std::string("Could not load ") + kImageFile + ": " + decoded.error.message;
		const int width = decoded.width;
		const int height = decoded.height;
		sizeLine = std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(decoded.channelsInFile);
		messageWidth = width;
		messageHeight = height;
		PrintImageReport();

		gl::ActiveTexture(gl::GL_TEXTURE0 + TextureUnit::kMessage);
		gl::BindTexture(gl::GL_TEXTURE_2D, texture);
		gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_RGBA, width, height, 0, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE,
		               decoded.pixels.get());
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_S, gl::GL_CLAMP_TO_EDGE);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_T, gl::GL_CLAMP_TO_EDGE);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_LINEAR);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAG_FILTER, gl::GL_LINEAR);
		gl::ActiveTexture(gl::GL_TEXTURE0);

		if(theTexture != 0)
			gl::DeleteTextures(1, &theTexture);
		theTexture = texture;
	}

	const ChannelImage *FindChannelImage(const std::string &path)
	{
		for(const ChannelImage &image : channelImages)
			if(image.file.path == path)
				return &image;
		return nullptr;
	}

	// Makes the textures of the images that the passes' channels name, each
	// decoded again only when its file changed; the images no pass names any
	// more are let go. Fails, for an image that cannot be used, naming the
	// pass's file and line that names it; the images in use are then left as
	// they were.
	Error LoadChannelImages(const SceneInputs &inputs, const std::vector<BuiltPass> &built)
	{
		std::vector<ChannelImage> loaded;
		Error failure;
		for(const FileBytes &file : inputs.channelImages)
		{
			const ChannelImage *known = FindChannelImage(file.path);
			if(known && known->file == file)
			{
				loaded.push_back(*known);
				continue;
			}
			DecodedImage decoded;
			if(!file.complete)
				decoded.error = file.error;
			else
				decoded = DecodeMessageImage(file.bytes, maxTextureSide);
			if(decoded.error)
			{
				for(const BuiltPass &pass : built)
					for(int index = 0; index < kChannelCount && !failure; ++index)
						if(pass.channels[static_cast<size_t>(index)].image == file.path)
							failure =
							    Error{pass.file + ":" + std::to_string(pass.channels[static_cast<size_t>(index)].line) +
							          ": iChannel" + std::to_string(index) + " could not load " + file.path + ": " +
							          decoded.error.message};
				break;
			}
			loaded.push_back({file,
			                  MakeTexture(gl::GL_RGBA, decoded.width, decoded.height, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE,
			                              decoded.pixels.get(), true),
			                  decoded.width, decoded.height});
		}
		if(failure)
		{
			for(ChannelImage &image : loaded)
				if(!FindChannelImage(image.file.path) || FindChannelImage(image.file.path)->texture != image.texture)
					gl::DeleteTextures(1, &image.texture);
			return failure;
		}
		for(ChannelImage &old : channelImages)
		{
			bool kept = false;
			for(const ChannelImage &image : loaded)
				kept = kept || image.texture == old.texture;
			if(!kept)
				gl::DeleteTextures(1, &old.texture);
		}
		channelImages = loaded;
		return {};
	}

	GLuint KeyboardTexture()
	{
		if(keyboardTexture == 0)
		{
			const std::vector<unsigned char> noKeys(kKeyboardWidth * kKeyboardHeight, 0);
			keyboardTexture = MakeTexture(gl::GL_R8, kKeyboardWidth, kKeyboardHeight, gl::GL_RED, gl::GL_UNSIGNED_BYTE,
			                              noKeys.data(), false);
		}
		return keyboardTexture;
	}

	// The size in texels of what a channel reads.
	void ChannelSize(const ChannelSpec &channel, int *width, int *height)
	{
		*width = 0;
		*height = 0;
		switch(channel.source)
		{
		case ChannelSource::Buffer:
		case ChannelSource::Self:
			*width = WIDTH;
			*height = HEIGHT;
			break;
		case ChannelSource::Sound:
			*width = kSpectrumWidth;
			*height = kSpectrumRows;
			break;
		case ChannelSource::Message:
			*width = messageWidth;
			*height = messageHeight;
			break;
		case ChannelSource::Image:
			if(const ChannelImage *image = FindChannelImage(channel.image))
			{
				*width = image->width;
				*height = image->height;
			}
			break;
		case ChannelSource::Keyboard:
			*width = kKeyboardWidth;
			*height = kKeyboardHeight;
			break;
		case ChannelSource::Default:
		case ChannelSource::None: break;
		}
	}

	// The buffer a channel of the pass reads, or -1.
	int ChannelBuffer(const Pass &pass, const ChannelSpec &channel)
	{
		if(channel.source == ChannelSource::Buffer)
			return channel.buffer;
		if(channel.source == ChannelSource::Self)
			return pass.built.buffer;
		return -1;
	}

	FrameValues PassValues(const Pass &pass, float seconds, int frame, const std::array<float, 4> &mouse)
	{
		FrameValues values;
		std::copy(mouse.begin(), mouse.end(), values.mouse);
		values.seconds = seconds;
		values.frame = frame;
		values.width = WIDTH;
		values.height = HEIGHT;
		for(int index = 0; index < kChannelCount; ++index)
			ChannelSize(pass.built.channels[static_cast<size_t>(index)], &values.channelWidth[index],
			            &values.channelHeight[index]);
		return values;
	}

	// Sets the value of one input in the current program, the pass's.
	void SetInput(const Pass &pass, const SuppliedInput &input, const FrameValues &values)
	{
		float out[kMaxInputValues] = {};
		input.value(values, out);
		const GLint location = Location(pass.locations.*input.location);
		switch(input.type)
		{
		case gl::GL_INT: gl::Uniform1i(location, static_cast<GLint>(out[0])); break;
		case gl::GL_FLOAT_VEC3: gl::Uniform3fv(location, input.count, out); break;
		case gl::GL_FLOAT_VEC4: gl::Uniform4fv(location, input.count, out); break;
		default: gl::Uniform1fv(location, input.count, out); break;
		}
	}

	// Sets the inputs of the pass's program, current, that are set at the
	// given moment.
	void SetInputs(const Pass &pass, InputUpdate update, const FrameValues &values)
	{
		for(size_t row = 0; row < kSuppliedInputCount; ++row)
			if(kSuppliedInputs[row].update == update)
				SetInput(pass, kSuppliedInputs[row], values);
	}

	// Whether the pass's program samples the sound: through `spectrum`, or a
	// channel it declares that reads the sound.
	bool ReadsTheSound(const Pass &pass)
	{
		for(size_t row = 0; row < kSuppliedInputCount; ++row)
		{
			const SuppliedInput &input = kSuppliedInputs[row];
			if(input.update != InputUpdate::Sampler || Location(pass.locations.*input.location) == -1)
				continue;
			if(input.unit == TextureUnit::kSound)
				return true;
			const int channel = input.unit - TextureUnit::kChannel0;
			if(channel >= 0 && channel < kChannelCount &&
			   pass.built.channels[static_cast<size_t>(channel)].source == ChannelSource::Sound)
				return true;
		}
		return false;
	}

	void SetSizeUniforms()
	{
		for(const Pass &pass : passes)
		{
			gl::UseProgram(pass.built.program);
			SetInputs(pass, InputUpdate::EveryResize, PassValues(pass, 0.0f, 0, {}));
		}
		gl::UseProgram(0);
	}

	// The location of a supplied uniform in the program, or -1 when the
	// program does not declare it or declares it with another type, so that
	// setting it never causes a GL error.
	GLuint SuppliedLocation(GLuint program, const char *name, const std::vector<UniformMismatch> &mismatches)
	{
		for(const UniformMismatch &mismatch : mismatches)
			if(mismatch.name == name)
				return static_cast<GLuint>(-1);
		return static_cast<GLuint>(gl::GetUniformLocation(program, name));
	}

	// The report of the uniforms a pass declares with another type than the
	// intro sets, naming the shader file that declares each.
	std::string DescribeMismatches(const std::vector<UniformMismatch> &mismatches, const FileBytes &passFile,
	                               const FileBytes &vertexShader)
	{
		std::string report;
		for(const UniformMismatch &mismatch : mismatches)
		{
			const bool inVertexShaderOnly = passFile.bytes.find(mismatch.name) == std::string::npos &&
			                                vertexShader.bytes.find(mismatch.name) != std::string::npos;
			report += DescribeMismatch(inVertexShaderOnly ? vertexShader.path : passFile.path, mismatch) + "\n";
		}
		return report;
	}

	GLenum MinFilter(ChannelFilter filter)
	{
		switch(filter)
		{
		case ChannelFilter::Nearest: return GLenum(gl::GL_NEAREST);
		case ChannelFilter::Mipmap: return GLenum(gl::GL_LINEAR_MIPMAP_LINEAR);
		default: return GLenum(gl::GL_LINEAR);
		}
	}

	// Makes the pass's samplers from its channels' filter and wrap.
	void MakeSamplers(Pass &pass)
	{
		gl::GenSamplers(kChannelCount, pass.samplers);
		for(int index = 0; index < kChannelCount; ++index)
		{
			const ChannelSpec &channel = pass.built.channels[static_cast<size_t>(index)];
			const GLuint sampler = pass.samplers[index];
			const GLenum wrap =
			    channel.wrap == ChannelWrap::Repeat ? GLenum(gl::GL_REPEAT) : GLenum(gl::GL_CLAMP_TO_EDGE);
			gl::SamplerParameteri(sampler, gl::GL_TEXTURE_WRAP_S, static_cast<GLint>(wrap));
			gl::SamplerParameteri(sampler, gl::GL_TEXTURE_WRAP_T, static_cast<GLint>(wrap));
			gl::SamplerParameteri(sampler, gl::GL_TEXTURE_MIN_FILTER, static_cast<GLint>(MinFilter(channel.filter)));
			const GLenum magnify =
			    channel.filter == ChannelFilter::Nearest ? GLenum(gl::GL_NEAREST) : GLenum(gl::GL_LINEAR);
			gl::SamplerParameteri(sampler, gl::GL_TEXTURE_MAG_FILTER, static_cast<GLint>(magnify));
		}
	}

	// The names of the single float uniforms among active that the scene
	// does not supply: those a track may set.
	std::vector<std::string> TrackableUniforms(const std::vector<ActiveUniform> &active)
	{
		std::vector<std::string> names;
		for(const ActiveUniform &uniform : active)
		{
			bool supplied = false;
			for(size_t row = 0; row < kSuppliedInputCount; ++row)
				supplied = supplied || uniform.name == kSuppliedInputs[row].name;
			if(uniform.type == gl::GL_FLOAT && !uniform.array && !supplied)
				names.push_back(uniform.name);
		}
		return names;
	}

	// Finds each track's location in every pass, after a build or a change
	// of the tracks in use. A float uniform that no track sets any more reads
	// kUnkeyedTrackValue again, as it does in a program built afresh.
	void LocateTracks()
	{
		for(Pass &pass : passes)
		{
			pass.trackLocations.assign(trackSet.tracks.size(), -1);
			pass.readsTracks = false;
			gl::UseProgram(pass.built.program);
			for(const std::string &name : pass.floatUniforms)
				gl::Uniform1f(gl::GetUniformLocation(pass.built.program, name.c_str()), kUnkeyedTrackValue);
			for(size_t track = 0; track < trackSet.tracks.size(); ++track)
			{
				const std::string &name = trackSet.tracks[track].name;
				if(std::find(pass.floatUniforms.begin(), pass.floatUniforms.end(), name) == pass.floatUniforms.end())
					continue;
				pass.trackLocations[track] = gl::GetUniformLocation(pass.built.program, name.c_str());
				pass.readsTracks = pass.readsTracks || pass.trackLocations[track] != -1;
			}
		}
		gl::UseProgram(0);
	}

	void DeletePasses()
	{
		for(Pass &pass : passes)
		{
			gl::DeleteProgram(pass.built.program);
			gl::DeleteSamplers(kChannelCount, pass.samplers);
		}
		passes.clear();
	}

	// What the buffers' passes are made from: the vertex shader, the common
	// code, each buffer's file and the images they read (the message's
	// among them).
	std::string BufferSources(const SceneInputs &inputs, const std::vector<BuiltPass> &built)
	{
		std::string sources = inputs.vertexShader.bytes + '\0' + inputs.common.bytes;
		for(const BuiltPass &pass : built)
		{
			if(pass.buffer < 0)
				continue;
			sources += '\0' + BufferName(pass.buffer) + '\0' + inputs.buffers[static_cast<size_t>(pass.buffer)].bytes;
			for(const ChannelSpec &channel : pass.channels)
				if(channel.source == ChannelSource::Message)
					sources += '\0' + inputs.image.bytes;
				else if(const ChannelImage *image = FindChannelImage(channel.image))
					sources += '\0' + image->file.bytes;
		}
		return sources;
	}

	// Puts the buffers back before tick 0, all zero, with no checkpoint.
	void StartBuffersAgain()
	{
		ZeroBufferTextures(buffers, playerFramebuffer);
		ClearCheckpoints(checkpoints);
		targetCheckpoint = replayTarget = kNoTargetCheckpoint;
		heldTick = kStartTick;
		heldExact = true;
	}

	// After a change of the tracks in use: their locations, and the buffers
	// from zero again when a buffer's pass reads one, so that no buffer, and
	// no checkpoint, holds ticks drawn with the old values.
	void TakeTracksIn()
	{
		LocateTracks();
		for(const Pass &pass : passes)
			if(pass.built.buffer >= 0 && pass.readsTracks)
			{
				StartBuffersAgain();
				return;
			}
	}

	// Looks at the tracks file and puts a change in use; a bad file is
	// reported once while it stays, and leaves the last good tracks. At
	// start-up, ending the run, the bad file's lines come back instead.
	Error LookAtTracksFile(bool startUp, bool settled = true)
	{
		const TracksFinding finding = LookAtTracks(trackSet, SuppliedInputNames(), settled);
		if(finding.look == TracksLook::Unchanged)
			return {};
		if(finding.look == TracksLook::Bad && startUp)
			return finding.error;
		if(finding.look == TracksLook::Bad)
		{
			if(IsNewReport(tracksReport, finding.error.message))
				*buildReports.errors << finding.error.message << std::endl;
			if(buildReports.onOverlay)
				OverlayShow(OverlayKind::Tracks, trackSet.file.path.empty() ? kTracksFile : trackSet.file.path,
				            finding.error.message + "\n");
			return {};
		}
		IsNewReport(tracksReport, "");
		OverlayHide(OverlayKind::Tracks);
		TakeTracksIn();
		return {};
	}

	// At start-up a tracks file still being saved is waited for as the
	// shaders are, up to half a second, and then taken as it is.
	Error LookAtTracksFileAtStartUp(bool endsStartUp)
	{
		for(int read = 0; read < kStartUpSettleReads; ++read)
		{
			const FileBytes file = ReadDataFile(kTracksFile, EmptyFile::Content);
			if(!file.found || !file.complete || file.settled)
				break;
			std::this_thread::sleep_for(kStartUpSettlePause);
		}
		return LookAtTracksFile(endsStartUp, false);
	}

	// Makes the buffers the passes draw into at the frame's size, all zero.
	void MakeBuffers()
	{
		std::array<bool, kBufferCount> present{};
		for(const Pass &pass : passes)
			if(pass.built.buffer >= 0)
				present[static_cast<size_t>(pass.built.buffer)] = true;
		ClearCheckpoints(checkpoints);
		targetCheckpoint = replayTarget = kNoTargetCheckpoint;
		heldTick = kStartTick;
		heldExact = true;
		if(present == std::array<bool, kBufferCount>{} || WIDTH <= 0 || HEIGHT <= 0)
		{
			DeleteBufferTextures(buffers);
			return;
		}
		if(!MakeBufferTextures(buffers, present, WIDTH, HEIGHT, playerFramebuffer))
			*buildReports.errors << "The driver could not make the buffers at " << WIDTH << " x " << HEIGHT
			                     << std::endl;
	}

	// Makes newly built passes the ones in use, with their uniform locations,
	// samplers and textures (the message's kept when the image is the same,
	// so that a shader edit rebuilds the programs alone). The buffers start
	// again from zero when what their passes are made from changed.
	void InstallPasses(const std::vector<BuiltPass> &built, const SceneInputs &inputs)
	{
		DeletePasses();
		std::string warnings;
		std::string warningFile = inputs.fragmentShader.path;
		for(const BuiltPass &builtPass : built)
		{
			Pass pass;
			pass.built = builtPass;
			const std::vector<UniformMismatch> mismatches =
			    FindUniformMismatches(ListActiveUniforms(builtPass.program));
			const FileBytes &file =
			    builtPass.buffer < 0 ? inputs.fragmentShader : inputs.buffers[static_cast<size_t>(builtPass.buffer)];
			if(!mismatches.empty() && warnings.empty())
				warningFile = file.path;
			warnings += DescribeMismatches(mismatches, file, inputs.vertexShader);
			for(size_t row = 0; row < kSuppliedInputCount; ++row)
				pass.locations.*kSuppliedInputs[row].location =
				    SuppliedLocation(builtPass.program, kSuppliedInputs[row].name, mismatches);
			pass.floatUniforms = TrackableUniforms(ListActiveUniforms(builtPass.program));
			MakeSamplers(pass);
			passes.push_back(pass);
		}
		LocateTracks();
		ReportBuild(buildReports, OverlayKind::Warning, warningFile, warnings);

		if(rebuildMemory.haveBuilt && inputs.image == rebuildMemory.built.image)
			PrintImageReport();
		else
			setup_texture(inputs.image);
		for(Pass &pass : passes)
		{
			gl::UseProgram(pass.built.program);
			for(size_t row = 0; row < kSuppliedInputCount; ++row)
				if(kSuppliedInputs[row].update == InputUpdate::Sampler)
					gl::Uniform1i(Location(pass.locations.*kSuppliedInputs[row].location), kSuppliedInputs[row].unit);
			const FrameValues values = PassValues(pass, 0.0f, 0, {});
			SetInputs(pass, InputUpdate::EveryBuild, values);
			SetInputs(pass, InputUpdate::EveryResize, values);
			pass.readsSound = ReadsTheSound(pass);
		}
		gl::UseProgram(0);

		mipmappedBuffers = {};
		for(const Pass &pass : passes)
			for(const ChannelSpec &channel : pass.built.channels)
				if(ChannelBuffer(pass, channel) >= 0 && channel.filter == ChannelFilter::Mipmap)
					mipmappedBuffers[static_cast<size_t>(ChannelBuffer(pass, channel))] = true;

		std::array<bool, kBufferCount> present{};
		for(const Pass &pass : passes)
			if(pass.built.buffer >= 0)
				present[static_cast<size_t>(pass.built.buffer)] = true;
		const std::string sources = BufferSources(inputs, built);
		if(present != buffers.present)
			MakeBuffers();
		else if(sources != bufferSources)
			StartBuffersAgain();
		bufferSources = sources;
	}

	// The rebuild step the rules run: builds from the inputs and installs.
	bool BuildAndInstall(const SceneInputs &inputs, BuildFailure *failure)
	{
		const std::vector<BuiltPass> built = BuildScenePasses(inputs, failure);
		if(built.empty())
			return false;
		const Error badImage = LoadChannelImages(inputs, built);
		if(badImage)
		{
			for(const BuiltPass &pass : built)
				gl::DeleteProgram(pass.program);
			const std::string file = badImage.message.substr(0, badImage.message.find(':'));
			*failure = {file, badImage.message};
			return false;
		}
		InstallPasses(built, inputs);
		return true;
	}

	void InitializeVertexBuffer()
	{
		gl::GenBuffers(1, &positionBufferObject);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, positionBufferObject);
		gl::BufferData(gl::GL_ARRAY_BUFFER, sizeof(vertexPositions), vertexPositions, gl::GL_STREAM_DRAW);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, 0);
	}

	// The texture a channel of the pass reads at tick: for a buffer, its
	// output of this tick or the one before (FrameRead).
	GLuint ChannelTexture(const Pass &pass, const ChannelSpec &channel, int tick)
	{
		const int buffer = ChannelBuffer(pass, channel);
		if(buffer >= 0)
		{
			const int reader = pass.built.buffer < 0 ? kPicturePass : pass.built.buffer;
			return BufferTexture(buffers, buffer, FrameRead(reader, buffer) == BufferFrame::Current ? tick : tick - 1);
		}
		switch(channel.source)
		{
		case ChannelSource::Sound: return spectrumTexture;
		case ChannelSource::Message: return theTexture;
		case ChannelSource::Image:
		{
			const ChannelImage *image = FindChannelImage(channel.image);
			return image ? image->texture : 0;
		}
		case ChannelSource::Keyboard: return KeyboardTexture();
		default: return 0;
		}
	}

	// Draws one pass into the framebuffer bound: its inputs for the time,
	// frame and pointer, its channels as they stand at tick, the quad.
	void DrawPass(const Pass &pass, float seconds, int frame, int tick, const std::array<float, 4> &mouse)
	{
		if(pass.readsSound)
			UpdateSpectrum(seconds);
		gl::UseProgram(pass.built.program);
		SetInputs(pass, InputUpdate::EveryFrame, PassValues(pass, seconds, frame, mouse));
		if(pass.readsTracks)
		{
			EvaluateTracks(trackSet.tracks, seconds, trackValues);
			for(size_t track = 0; track < trackValues.size(); ++track)
				gl::Uniform1f(pass.trackLocations[track], trackValues[track]);
		}
		for(int index = 0; index < kChannelCount; ++index)
		{
			gl::ActiveTexture(gl::GL_TEXTURE0 + TextureUnit::kChannel0 + index);
			gl::BindTexture(gl::GL_TEXTURE_2D,
			                ChannelTexture(pass, pass.built.channels[static_cast<size_t>(index)], tick));
			gl::BindSampler(static_cast<GLuint>(TextureUnit::kChannel0 + index), pass.samplers[index]);
		}
		gl::ActiveTexture(gl::GL_TEXTURE0);
		gl::BindVertexArray(vao);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, positionBufferObject);
		gl::EnableVertexAttribArray(0);
		gl::VertexAttribPointer(0, 4, gl::GL_FLOAT, gl::GL_FALSE, 0, nullptr);
		gl::DrawArrays(gl::GL_TRIANGLES, 0, 6);
		gl::DisableVertexAttribArray(0);
		gl::UseProgram(0);
	}

	// Keeps the buffers as the replay target's checkpoint, in place of the
	// last one, when a replay that started from a checkpoint or from zero
	// has just run its target's tick and the budget has room for two.
	void KeepReplayTarget()
	{
		if(replayTarget == kNoTargetCheckpoint || heldTick != replayTarget || !heldExact)
			return;
		replayTarget = kNoTargetCheckpoint;
		const std::vector<int> kept = CheckpointTicks(checkpoints);
		if(checkpointBudget < 2 * CheckpointBytes(buffers) || heldTick == kStartTick ||
		   std::find(kept.begin(), kept.end(), heldTick) != kept.end())
			return;
		if(targetCheckpoint != kNoTargetCheckpoint)
			DropCheckpoint(checkpoints, targetCheckpoint);
		SaveCheckpoint(checkpoints, buffers, heldTick, playerFramebuffer);
		targetCheckpoint = heldTick;
	}

	// Runs tick `tick`: every buffer's pass, in order, into its output of
	// the tick.
	void RunTick(int tick)
	{
		const float seconds = static_cast<float>(CaptureFrameSeconds(tick));
		for(const Pass &pass : passes)
		{
			if(pass.built.buffer < 0)
				continue;
			gl::BindFramebuffer(gl::GL_FRAMEBUFFER, BufferFramebuffer(buffers, pass.built.buffer, tick));
			DrawPass(pass, seconds, tick, tick, {});
			if(mipmappedBuffers[static_cast<size_t>(pass.built.buffer)])
			{
				gl::ActiveTexture(gl::GL_TEXTURE0 + TextureUnit::kScratch);
				gl::BindTexture(gl::GL_TEXTURE_2D, BufferTexture(buffers, pass.built.buffer, tick));
				gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAX_LEVEL, 1000);
				gl::GenerateMipmap(gl::GL_TEXTURE_2D);
				gl::BindTexture(gl::GL_TEXTURE_2D, 0);
				gl::ActiveTexture(gl::GL_TEXTURE0);
			}
		}
		gl::BindFramebuffer(gl::GL_FRAMEBUFFER, playerFramebuffer);
		heldTick = tick;
		// One checkpoint's room is the replay target's; the rest are spread.
		const int interval =
		    checkpointBudget > 0 && CheckpointBytes(buffers) > 0
		        ? CheckpointInterval(checkpointTotalTicks,
		                             std::max(0, static_cast<int>(checkpointBudget / CheckpointBytes(buffers)) - 1))
		        : 0;
		if(heldExact && interval > 0 && tick > 0 && tick % interval == 0)
		{
			const std::vector<int> kept = CheckpointTicks(checkpoints);
			if(std::find(kept.begin(), kept.end(), tick) == kept.end())
				SaveCheckpoint(checkpoints, buffers, tick, playerFramebuffer);
		}
		KeepReplayTarget();
	}

	// Puts the buffers at a replay's start: all zero, or a checkpoint.
	void RestoreReplayStart(const ReplayStart &start)
	{
		if(start.tick == kStartTick)
			ZeroBufferTextures(buffers, playerFramebuffer);
		else
			RestoreCheckpoint(checkpoints, buffers, start.tick, playerFramebuffer);
		heldTick = start.tick;
		heldExact = true;
	}

	double Seconds()
	{
		using namespace std::chrono;
		return duration<double>(steady_clock::now().time_since_epoch()).count();
	}
}

namespace
{
	// Reads the files, a shader saved a moment before start-up given a moment
	// to settle (whatever is there then is built, so that an empty file fails
	// as ever), and builds them; false with *failure set when the build
	// fails, the files read then remembered as the failed ones.
	bool BuildAtStartUp(BuildFailure *failure)
	{
		SceneInputs inputs = ReadAndKeep();
		for(int read = 1; read < kStartUpSettleReads && SettlesByItself(inputs); ++read)
		{
			std::this_thread::sleep_for(kStartUpSettlePause);
			inputs = ReadAndKeep();
		}
		if(!BuildAndInstall(inputs, failure))
		{
			rebuildMemory.failed = inputs;
			rebuildMemory.haveFailed = true;
			return false;
		}
		rebuildMemory.built = inputs;
		rebuildMemory.haveBuilt = true;
		return true;
	}
}

void InitializeProgram()
{
	BuildFailure failure;
	if(!BuildAtStartUp(&failure))
		throw std::runtime_error(StartUpMessage(failure));
}

void SceneInit(std::ostream &errors, bool onOverlay, StartUpFailure onFailure)
{
	buildReports.errors = &errors;
	buildReports.onOverlay = onOverlay;
	gl::PixelStorei(gl::GL_UNPACK_ALIGNMENT, 1);
	gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
	gl::GetIntegerv(gl::GL_MAX_TEXTURE_SIZE, &maxTextureSide);
	if(onFailure == StartUpFailure::Ends)
	{
		InitializeProgram();
		const Error badTracks = LookAtTracksFileAtStartUp(true);
		if(badTracks)
			throw std::runtime_error(badTracks.message);
	}
	else
	{
		BuildFailure failure;
		if(!BuildAtStartUp(&failure))
			ReportBuild(buildReports, OverlayKind::Error, failure.file, failure.message + "\n",
			            StartUpMessage(failure) + "\n");
		LookAtTracksFileAtStartUp(false);
	}
	InitializeVertexBuffer();
	gl::GenVertexArrays(1, &vao);
	gl::BindVertexArray(vao);
}

void reload()
{
	const RebuildSteps steps = {
	    [](const SceneInputs &inputs) { return SceneMatches(inputs); },
	    ReadAndKeep,
	    BuildAndInstall,
	};
	const RebuildOutcome outcome = RebuildIfChanged(rebuildMemory, buildReports, steps);
	// A shader caught mid-save leaves the passes in use as an unchanged
	// scene does.
	const bool keptPasses = outcome == RebuildOutcome::Unchanged || outcome == RebuildOutcome::Unsettled;
	if(keptPasses)
		PrintImageReport();
	if(keptPasses || outcome == RebuildOutcome::Built)
		SetSizeUniforms();
	awaitingSettle = outcome == RebuildOutcome::Unsettled && SettlesByItself(lastRead);
	LookAtTracksFile(false);
}

void SceneLookAtTracks()
{
	LookAtTracksFile(false);
}

bool SceneTakeTracksNow()
{
	LookAtTracksFile(false, false);
	return !trackSet.bad;
}

const TrackDocument &SceneTrackDocument()
{
	return trackSet.document;
}

int SceneTracksRevision()
{
	return trackSet.revision;
}

std::string SceneTracksPath()
{
	if(!trackSet.file.path.empty())
		return trackSet.file.path;
	// A file made new goes beside the picture's shader.
	const std::string &shader = lastRead.fragmentShader.path;
	const size_t slash = shader.rfind('/');
	return (slash == std::string::npos ? std::string("data/") : shader.substr(0, slash + 1)) + kTracksFile;
}

void SceneUseTracks(const TrackDocument &document)
{
	if(UseTrackDocument(trackSet, document))
		TakeTracksIn();
}

std::vector<std::string> SceneDeclaredFloats()
{
	std::vector<std::string> names;
	for(const Pass &pass : passes)
		names.insert(names.end(), pass.floatUniforms.begin(), pass.floatUniforms.end());
	return names;
}

bool SceneFilesTouched()
{
	return awaitingSettle || !SceneStampsMatch(lastRead);
}

std::string SceneTouchedFiles()
{
	std::string names;
	for(const std::string &name : SceneFilesChanged(lastRead))
		names += (names.empty() ? "" : ", ") + name;
	return names;
}

void ReloadIfTouched()
{
	if(!SceneFilesTouched())
		return;
	reload();
	// Files touched without a change, or changed back, are read once more so
	// that the next look finds them as they are.
	if(!SceneStampsMatch(lastRead))
		ReadAndKeep();
}

void SceneResize(int width, int height)
{
	const bool resized = width != WIDTH || height != HEIGHT;
	WIDTH = width;
	HEIGHT = height;
	gl::Viewport(0, 0, width, height);
	SetSizeUniforms();
	if(resized && SceneHasBuffers())
		MakeBuffers();
}

int SceneWidth()
{
	return WIDTH;
}

int SceneHeight()
{
	return HEIGHT;
}

void SceneSetFramebuffer(GLuint framebuffer)
{
	playerFramebuffer = framebuffer;
	gl::BindFramebuffer(gl::GL_FRAMEBUFFER, framebuffer);
}

bool SceneHasBuffers()
{
	return passes.size() > 1;
}

void SceneKeepCheckpoints(size_t budgetBytes, int totalTicks)
{
	checkpointBudget = budgetBytes;
	checkpointTotalTicks = totalTicks;
}

BufferProgress SceneAdvance(int target, double budgetSeconds, bool mayJump)
{
	BufferProgress progress;
	if(!SceneHasBuffers() || buffers.width == 0)
	{
		heldTick = target;
		progress.held = progress.replayFrom = target;
		return progress;
	}
	if(!mayJump || target < heldTick)
	{
		const std::vector<int> kept = checkpointBudget > 0 ? CheckpointTicks(checkpoints) : std::vector<int>();
		const ReplayStart start = ChooseReplayStart(heldTick, heldExact, kept, target);
		if(start.restore)
		{
			RestoreReplayStart(start);
			replayTarget = target;
		}
	}
	// A live player knows from its last measure how many ticks fit in its
	// budget; until it has measured, it risks a few.
	const bool live = mayJump && budgetSeconds > 0.0;
	int maxTicks = 0;
	if(live)
		maxTicks =
		    secondsPerTick > 0.0 ? std::max(1, static_cast<int>(budgetSeconds / secondsPerTick)) : kUnmeasuredTicks;
	const TickRun run = PlanTicks(heldTick, target, maxTicks, mayJump);
	// Buffers that start again from zero have nothing to fall behind.
	progress.skipped = heldTick != kStartTick ? run.skipTo - heldTick : 0;
	if(run.skipTo != heldTick)
		heldExact = false;
	heldTick = run.skipTo;
	progress.replayFrom = heldTick;
	// Ticks are timed, with the driver's work finished on both sides, only
	// where the time matters: a frame that runs more than one (it has fallen
	// behind, or it replays), or a live player's first.
	const bool measure =
	    run.last > run.first ? budgetSeconds > 0.0 : run.last == run.first && live && secondsPerTick == 0.0;
	if(measure)
		gl::Finish();
	const double start = Seconds();
	for(int tick = run.first; tick <= run.last; ++tick)
	{
		RunTick(tick);
		if(!measure || live)
			continue;
		gl::Finish();
		if(Seconds() - start >= budgetSeconds)
			break;
	}
	if(measure)
	{
		gl::Finish();
		secondsPerTick = (Seconds() - start) / (heldTick - progress.replayFrom);
	}
	progress.held = heldTick;
	return progress;
}

void SceneDraw(float shaderSeconds, int frame, const std::array<float, 4> &mouse)
{
	gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
	gl::Clear(gl::GL_COLOR_BUFFER_BIT);
	// Before a first good build there is nothing to draw but black.
	if(!passes.empty())
		DrawPass(passes.back(), shaderSeconds, frame, heldTick, mouse);
}

void SceneDrawFrame(int frame)
{
	SceneAdvance(frame, 0.0, false);
	SceneDraw(static_cast<float>(CaptureFrameSeconds(frame)), frame);
}
