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
#include "intro_constants.h"
#include "report/report_once.h"
#include "scene/message_image.h"
#include "scene/rebuild.h"
#include "scene/supplied_inputs.h"
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

	GLuint theProgram = 0;
	GLuint theTexture = 0;
	GLuint positionBufferObject = 0;
	GLuint vao = 0;
	int WIDTH = 0;
	int HEIGHT = 0;

	// The locations of the supplied inputs in theProgram: the intro's own,
	// then the names that shaders written around mainImage expect.
	GLuint elapsedTimeUniform = 0;
	GLuint widthUniform = 0;
	GLuint heightUniform = 0;
	GLuint loopDurationUniform = 0;
	GLuint messageUniform = 0;
	GLuint spectrumUniform = 0;
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

	// The frame a capture at 60 per second shows at this time.
	void FrameNumber(const FrameValues &v, float *out)
	{
		out[0] = std::round(v.seconds * kFrameRate);
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

	// The channels' sizes in texels: the sound, the message, two empty ones.
	void ChannelSizes(const FrameValues &v, float *out)
	{
		const float sizes[4][3] = {
		    {static_cast<float>(kSpectrumWidth), static_cast<float>(kSpectrumRows), 1.0f},
		    {static_cast<float>(v.messageWidth), static_cast<float>(v.messageHeight), 1.0f},
		    {0.0f, 0.0f, 1.0f},
		    {0.0f, 0.0f, 1.0f},
		};
		std::copy(&sizes[0][0], &sizes[0][0] + 12, out);
	}
}

const SuppliedInput kSuppliedInputs[] = {
    {"iGlobalTime", gl::GL_FLOAT, 1, InputUpdate::EveryFrame, Seconds, 0, &elapsedTimeUniform},
    {"width", gl::GL_FLOAT, 1, InputUpdate::EveryResize,
     [](const FrameValues &v, float *out) { out[0] = static_cast<float>(v.width); }, 0, &widthUniform},
    {"height", gl::GL_FLOAT, 1, InputUpdate::EveryResize,
     [](const FrameValues &v, float *out) { out[0] = static_cast<float>(v.height); }, 0, &heightUniform},
    {"loopDuration", gl::GL_FLOAT, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { out[0] = kLoopDuration; }, 0, &loopDurationUniform},
    {"message", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kMessage, &messageUniform},
    {"spectrum", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kSound, &spectrumUniform},
    {"iTime", gl::GL_FLOAT, 1, InputUpdate::EveryFrame, Seconds, 0, &iTimeUniform},
    {"iTimeDelta", gl::GL_FLOAT, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { out[0] = 1.0f / kFrameRate; }, 0, &iTimeDeltaUniform},
    {"iFrame", gl::GL_INT, 1, InputUpdate::EveryFrame, FrameNumber, 0, &iFrameUniform},
    {"iFrameRate", gl::GL_FLOAT, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { out[0] = kFrameRate; }, 0, &iFrameRateUniform},
    {"iResolution", gl::GL_FLOAT_VEC3, 1, InputUpdate::EveryResize, Size, 0, &iResolutionUniform},
    {"iMouse", gl::GL_FLOAT_VEC4, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { std::fill_n(out, 4, 0.0f); }, 0, &iMouseUniform},
    {"iDate", gl::GL_FLOAT_VEC4, 1, InputUpdate::EveryFrame, Date, 0, &iDateUniform},
    {"iSampleRate", gl::GL_FLOAT, 1, InputUpdate::EveryBuild,
     [](const FrameValues &, float *out) { out[0] = static_cast<float>(kSoundtrackSampleRate); }, 0,
     &iSampleRateUniform},
    {"iChannelTime", gl::GL_FLOAT, 4, InputUpdate::EveryFrame, ChannelTimes, 0, &iChannelTimeUniform},
    {"iChannelResolution", gl::GL_FLOAT_VEC3, 4, InputUpdate::EveryBuild, ChannelSizes, 0, &iChannelResolutionUniform},
    {"iChannel0", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kSound, &iChannel0Uniform},
    {"iChannel1", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kMessage, &iChannel1Uniform},
    {"iChannel2", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kEmpty, &iChannel2Uniform},
    {"iChannel3", gl::GL_SAMPLER_2D, 1, InputUpdate::Sampler, nullptr, TextureUnit::kEmpty, &iChannel3Uniform},
};
const size_t kSuppliedInputCount = sizeof kSuppliedInputs / sizeof kSuppliedInputs[0];

namespace
{
	GLint Location(GLuint stored)
	{
		return static_cast<GLint>(stored);
	}

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
	// empty, which lasts until the file is written again.
	bool SettlesByItself(const SceneInputs &inputs)
	{
		for(const FileBytes *shader : {&inputs.vertexShader, &inputs.fragmentShader})
			if(!shader->settled && !shader->bytes.empty())
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

	// Whether theProgram samples the sound's unit, so that each frame
	// analyses the soundtrack.
	bool readsTheSound = false;
	// The message image's size, for the inputs that tell it.
	int messageWidth = 0;
	int messageHeight = 0;

	// What the image's last load printed: a warning when it failed, said once
	// while it stays, and the size line, printed at every rebuild.
	std::string sizeLine;
	std::string imageWarning;
	ReportOnce imageReport;

	// The sound the shaders read through spectrum. The soundtrack is opened
	// for analysis and the texture made the first time a program declares
	// it, so that a shader without it costs nothing.
	bool soundInputReady = false;
	SoundAnalyser soundAnalyser;
	GLuint spectrumTexture = 0;
	SpectrumBytes spectrumBytes;

	// Analyses the soundtrack at the shader's time and uploads the result to
	// the sound's texture unit. A soundtrack the reader cannot decode is
	// reported once and gives silence.
	void UpdateSpectrum(double shaderSeconds)
	{
		if(!soundInputReady)
		{
			SoundAnalyserOpening opening = OpenSoundAnalyser(kSoundtrackFile);
			if(!opening.error.empty())
				*buildReports.errors << opening.error << std::endl;
			soundAnalyser = std::move(opening.analyser);
			spectrumTexture = CreateSpectrumTexture();
			soundInputReady = true;
		}
		AnalyseSound(soundAnalyser, shaderSeconds, spectrumBytes);
		UploadSpectrum(spectrumTexture, spectrumBytes);
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
		if(!decoded.error.empty())
			imageWarning = std::string("Could not load ") + kImageFile + ": " + decoded.error;
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

	// Reports the uniforms declared with another type than the intro sets,
	// naming the shader file that declares each, as a warning.
	void ReportUniformMismatches(const std::vector<UniformMismatch> &mismatches, const SceneInputs &inputs)
	{
		std::string report;
		for(const UniformMismatch &mismatch : mismatches)
		{
			const bool inVertexShaderOnly = inputs.fragmentShader.bytes.find(mismatch.name) == std::string::npos &&
			                                inputs.vertexShader.bytes.find(mismatch.name) != std::string::npos;
			const std::string &file = inVertexShaderOnly ? inputs.vertexShader.path : inputs.fragmentShader.path;
			report += DescribeMismatch(file, mismatch) + "\n";
		}
		ReportBuild(buildReports, OverlayKind::Warning, inputs.fragmentShader.path, report);
	}

	FrameValues CurrentValues(float seconds)
	{
		FrameValues values;
		values.seconds = seconds;
		values.width = WIDTH;
		values.height = HEIGHT;
		values.messageWidth = messageWidth;
		values.messageHeight = messageHeight;
		return values;
	}

	// Sets the value of one input in theProgram from values.
	void SetInput(const SuppliedInput &input, const FrameValues &values)
	{
		float out[kMaxInputValues] = {};
		input.value(values, out);
		const GLint location = Location(*input.location);
		switch(input.type)
		{
		case gl::GL_INT: gl::Uniform1i(location, static_cast<GLint>(out[0])); break;
		case gl::GL_FLOAT_VEC3: gl::Uniform3fv(location, input.count, out); break;
		case gl::GL_FLOAT_VEC4: gl::Uniform4fv(location, input.count, out); break;
		default: gl::Uniform1fv(location, input.count, out); break;
		}
	}

	// Sets the inputs of theProgram that are set at the given moment.
	void SetInputs(InputUpdate update, const FrameValues &values)
	{
		for(size_t row = 0; row < kSuppliedInputCount; ++row)
			if(kSuppliedInputs[row].update == update)
				SetInput(kSuppliedInputs[row], values);
	}

	// Whether theProgram reads the sound through any of its samplers.
	bool ReadsTheSound()
	{
		for(size_t row = 0; row < kSuppliedInputCount; ++row)
			if(kSuppliedInputs[row].update == InputUpdate::Sampler &&
			   kSuppliedInputs[row].unit == TextureUnit::kSound && Location(*kSuppliedInputs[row].location) != -1)
				return true;
		return false;
	}

	void SetSizeUniforms()
	{
		gl::UseProgram(theProgram);
		SetInputs(InputUpdate::EveryResize, CurrentValues(0.0f));
		gl::UseProgram(0);
	}

	// Makes a newly built program the one in use, with its uniform locations
	// and the texture (kept when the one in use holds the same image, so
	// that a shader edit rebuilds the program alone).
	void InstallProgram(GLuint program, const SceneInputs &inputs)
	{
		if(theProgram != 0)
			gl::DeleteProgram(theProgram);
		theProgram = program;

		const std::vector<UniformMismatch> mismatches = FindUniformMismatches(ListActiveUniforms(theProgram));
		ReportUniformMismatches(mismatches, inputs);
		for(size_t row = 0; row < kSuppliedInputCount; ++row)
			*kSuppliedInputs[row].location = SuppliedLocation(theProgram, kSuppliedInputs[row].name, mismatches);

		gl::UseProgram(theProgram);
		if(rebuildMemory.haveBuilt && inputs.image == rebuildMemory.built.image)
			PrintImageReport();
		else
			setup_texture(inputs.image);
		for(size_t row = 0; row < kSuppliedInputCount; ++row)
			if(kSuppliedInputs[row].update == InputUpdate::Sampler)
				gl::Uniform1i(Location(*kSuppliedInputs[row].location), kSuppliedInputs[row].unit);
		SetInputs(InputUpdate::EveryBuild, CurrentValues(0.0f));
		gl::UseProgram(0);
		readsTheSound = ReadsTheSound();
	}

	// The rebuild step the rules run: builds from the inputs and installs.
	bool BuildAndInstall(const SceneInputs &inputs, BuildFailure *failure)
	{
		const GLuint program = BuildSceneProgram(inputs, failure);
		if(program == 0)
			return false;
		InstallProgram(program, inputs);
		return true;
	}

	void InitializeVertexBuffer()
	{
		gl::GenBuffers(1, &positionBufferObject);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, positionBufferObject);
		gl::BufferData(gl::GL_ARRAY_BUFFER, sizeof(vertexPositions), vertexPositions, gl::GL_STREAM_DRAW);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, 0);
	}

	void DrawQuad()
	{
		gl::BindVertexArray(vao);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, positionBufferObject);
		gl::EnableVertexAttribArray(0);
		gl::VertexAttribPointer(0, 4, gl::GL_FLOAT, gl::GL_FALSE, 0, nullptr);
		gl::DrawArrays(gl::GL_TRIANGLES, 0, 6);
		gl::DisableVertexAttribArray(0);
		gl::UseProgram(0);
	}
}

void InitializeProgram()
{
	// A shader saved a moment before start-up is given a moment to settle;
	// whatever is there then is built, so that an empty file fails as ever.
	SceneInputs inputs = ReadAndKeep();
	for(int read = 1; read < kStartUpSettleReads && SettlesByItself(inputs); ++read)
	{
		std::this_thread::sleep_for(kStartUpSettlePause);
		inputs = ReadAndKeep();
	}
	BuildFailure failure;
	if(!BuildAndInstall(inputs, &failure))
		throw std::runtime_error(StartUpMessage(failure));
	rebuildMemory.built = inputs;
	rebuildMemory.haveBuilt = true;
}

void SceneInit(std::ostream &errors, bool onOverlay)
{
	buildReports.errors = &errors;
	buildReports.onOverlay = onOverlay;
	gl::PixelStorei(gl::GL_UNPACK_ALIGNMENT, 1);
	gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
	gl::GetIntegerv(gl::GL_MAX_TEXTURE_SIZE, &maxTextureSide);
	InitializeProgram();
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
	// A shader caught mid-save leaves the program in use as an unchanged
	// scene does.
	const bool keptProgram = outcome == RebuildOutcome::Unchanged || outcome == RebuildOutcome::Unsettled;
	if(keptProgram)
		PrintImageReport();
	if(keptProgram || outcome == RebuildOutcome::Built)
		SetSizeUniforms();
	awaitingSettle = outcome == RebuildOutcome::Unsettled && SettlesByItself(lastRead);
}

bool SceneFilesTouched()
{
	return awaitingSettle || !SceneStampsMatch(lastRead);
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
	WIDTH = width;
	HEIGHT = height;
	gl::Viewport(0, 0, width, height);
	SetSizeUniforms();
}

int SceneWidth()
{
	return WIDTH;
}

int SceneHeight()
{
	return HEIGHT;
}

void SceneDraw(float shaderSeconds)
{
	gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
	gl::Clear(gl::GL_COLOR_BUFFER_BIT);
	gl::UseProgram(theProgram);
	SetInputs(InputUpdate::EveryFrame, CurrentValues(shaderSeconds));
	// The sound is analysed at exactly the time the shader gets, so that a
	// capture hears what a live run at the same moment would.
	if(readsTheSound)
		UpdateSpectrum(shaderSeconds);
	DrawQuad();
}
