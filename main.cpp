// The intro player: its clock, the scene (shader program, uniforms, quad,
// texture, hot reload) and the frame loop with its time limit, frame-rate
// report and keyboard.
#include "main.h"

#include <glload/gl_3_3.hpp>

#include <GL/freeglut.h>
#include <stb/stb_image.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Audio.h"
#include "bitmap.h"
#include "frames/capture.h"
#include "scene/input_files.h"
#include "overlay/overlay.h"
#include "intro_constants.h"
#include "scene/scene_build.h"
#include "sound/spectrum.h"
#include "sound/spectrum_texture.h"
#include "scene/uniform_contract.h"
#include "framework/framework.h"

int64_t cur_time_millis()
{
	using namespace std::chrono;
	return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

const int64_t program_start_millis = cur_time_millis();

double seconds_since_program_start()
{
	return static_cast<double>(cur_time_millis() - program_start_millis) / 1000.0;
}

namespace
{
	const float kLoopDuration = 5.0f;
	const double kTimeLimitSeconds = kIntroSeconds;
	const int kReloadPeriodFrames = 30;
	const double kCaptureStepSeconds = 1.0 / kCaptureFramesPerSecond;
	const size_t kRateSamples = 101;
	const unsigned char kEscapeKey = 27;

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

	// The scene.
	GLuint theProgram = 0;
	GLuint theTexture = 0;
	// Uniform locations, kept unsigned: -1 (not declared) passes through unchanged.
	GLuint elapsedTimeUniform = 0;
	GLuint widthUniform = 0;
	GLuint heightUniform = 0;
	GLuint messageUniform = 0;
	GLuint spectrumUniform = 0;
	GLuint positionBufferObject = 0;
	GLuint vao = 0;
	bool capture = false;
	bool music = true;
	int WIDTH = 0;
	int HEIGHT = 0;

	// The frame loop.
	int frame_id = 0;
	int hot_reload_counter = 0;
	double music_start = 0.0;
	double capture_time = 0.0;
	std::vector<double> frameTimes;
	std::vector<unsigned char> pixel_buffer;
	CaptureTally captureTally;

	GLint Location(GLuint stored)
	{
		return static_cast<GLint>(stored);
	}

	// The sound the shaders read through spectrum. The soundtrack is opened
	// for analysis and the texture made the first time a program declares
	// it, so that a shader without it costs nothing.
	bool soundInputReady = false;
	SoundAnalyser soundAnalyser;
	GLuint spectrumTexture = 0;
	SpectrumBytes spectrumBytes;

	// Analyses the soundtrack at the shader's time and uploads the result to
	// texture unit 1. A soundtrack the reader cannot decode is reported once
	// and gives silence.
	void UpdateSpectrum(double shaderSeconds)
	{
		if(!soundInputReady)
		{
			SoundAnalyserOpening opening = OpenSoundAnalyser(kSoundtrackFile);
			if(!opening.error.empty())
				std::cerr << opening.error << std::endl;
			soundAnalyser = std::move(opening.analyser);
			spectrumTexture = CreateSpectrumTexture();
			soundInputReady = true;
		}
		AnalyseSound(soundAnalyser, shaderSeconds, spectrumBytes);
		UploadSpectrum(spectrumTexture, spectrumBytes);
	}

	// The inputs of the program and texture now in use, and what their build
	// printed about the image; a rebuild from the same bytes reuses them.
	bool haveBuiltInputs = false;
	SceneInputs builtInputs;
	std::string imageWarning;
	std::string sizeLine;
	// The image warning last printed, so that one that stays is printed once.
	std::string printedImageWarning;
	// The inputs of the last rebuild that failed, and its failure; the same
	// inputs would fail the same way, so they are not built again.
	bool haveFailedInputs = false;
	SceneInputs failedInputs;
	// The last build failure and uniform warnings reported, each as its
	// header and text, so that one that stays is reported once.
	std::string reportedFailure;
	std::string reportedWarnings;

	// The one place that decides where a build's report goes: its text to
	// standard error when it differs from the last of its kind, and in normal
	// mode its header and text to the overlay over the running picture. An
	// empty text clears the kind: nothing is printed, the overlay hides it.
	void ReportBuild(OverlayKind kind, const std::string &header, const std::string &text)
	{
		std::string &reported = kind == OverlayKind::Error ? reportedFailure : reportedWarnings;
		const std::string report = header + "\n" + text;
		if(report == reported)
			return;
		reported = report;
		std::cerr << text << std::flush;
		if(capture)
			return;
		if(text.empty())
			OverlayHide(kind);
		else
			OverlayShow(kind, header, text);
	}

	// Prints the result of the image's load: a warning when it failed (once
	// while the same failure repeats), then the width, height and channel
	// count in the file.
	void PrintImageReport()
	{
		if(!imageWarning.empty() && imageWarning != printedImageWarning)
			std::cerr << imageWarning << std::endl;
		printedImageWarning = imageWarning;
		std::cout << sizeLine << std::endl;
	}

	// Decodes the image bottom row first and uploads it to a new texture on
	// unit 0, replacing the previous one; sets the message sampler of the
	// current program. An image that cannot be read or decoded is reported
	// and uploaded as an empty 0 x 0 texture.
	void setup_texture(const FileBytes &image)
	{
		GLuint texture = 0;
		gl::GenTextures(1, &texture);

		stbi_set_flip_vertically_on_load(1);
		int width = 0;
		int height = 0;
		int channelsInFile = 0;
		unsigned char *pixels = nullptr;
		imageWarning.clear();
		if(!image.complete)
			imageWarning = std::string("Could not load ") + kImageFile + ": " + image.error;
		else
		{
			pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc *>(image.bytes.data()),
			                               static_cast<int>(image.bytes.size()), &width, &height, &channelsInFile, 4);
			if(!pixels)
				imageWarning = std::string("Could not load ") + kImageFile + ": " + stbi_failure_reason();
		}
		if(!pixels)
			width = height = channelsInFile = 0;
		sizeLine = std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(channelsInFile);
		PrintImageReport();

		gl::ActiveTexture(gl::GL_TEXTURE0);
		gl::BindTexture(gl::GL_TEXTURE_2D, texture);
		gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_RGBA, width, height, 0, gl::GL_RGBA, gl::GL_UNSIGNED_BYTE, pixels);
		gl::Uniform1i(Location(messageUniform), 0);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_S, gl::GL_CLAMP_TO_EDGE);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_T, gl::GL_CLAMP_TO_EDGE);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_LINEAR);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAG_FILTER, gl::GL_LINEAR);
		stbi_image_free(pixels);

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
		ReportBuild(OverlayKind::Warning, inputs.fragmentShader.path, report);
	}

	// Makes a newly built program the one in use, with its uniform locations
	// and the texture (kept when the one in use holds the same image, so
	// that a shader edit rebuilds the program alone), and remembers the
	// inputs it was built from.
	void InstallProgram(GLuint program, const SceneInputs &inputs)
	{
		if(theProgram != 0)
			gl::DeleteProgram(theProgram);
		theProgram = program;

		const std::vector<UniformMismatch> mismatches = FindUniformMismatches(ListActiveUniforms(theProgram));
		ReportUniformMismatches(mismatches, inputs);
		elapsedTimeUniform = SuppliedLocation(theProgram, "iGlobalTime", mismatches);
		widthUniform = SuppliedLocation(theProgram, "width", mismatches);
		heightUniform = SuppliedLocation(theProgram, "height", mismatches);
		messageUniform = SuppliedLocation(theProgram, "message", mismatches);
		spectrumUniform = SuppliedLocation(theProgram, "spectrum", mismatches);
		const GLuint loopDurationUniform = SuppliedLocation(theProgram, "loopDuration", mismatches);

		gl::UseProgram(theProgram);
		if(haveBuiltInputs && inputs.image == builtInputs.image)
		{
			gl::Uniform1i(Location(messageUniform), 0);
			PrintImageReport();
		}
		else
			setup_texture(inputs.image);
		gl::Uniform1f(Location(loopDurationUniform), kLoopDuration);
		gl::Uniform1i(Location(spectrumUniform), TextureUnit::kSound);
		gl::UseProgram(0);

		builtInputs = inputs;
		haveBuiltInputs = true;
	}

	// Builds and installs a new program from the inputs. A failure is
	// reported and its inputs remembered. Returns whether the build succeeded.
	bool RebuildFrom(const SceneInputs &inputs)
	{
		BuildFailure failure;
		const GLuint program = BuildProgram(inputs, &failure);
		if(program == 0)
		{
			ReportBuild(OverlayKind::Error, failure.file, failure.message + "\n");
			failedInputs = inputs;
			haveFailedInputs = true;
			return false;
		}
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

	void SetSizeUniforms(int width, int height)
	{
		gl::UseProgram(theProgram);
		gl::Uniform1f(Location(widthUniform), static_cast<float>(width));
		gl::Uniform1f(Location(heightUniform), static_cast<float>(height));
		gl::UseProgram(0);
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

	// Reads the frame just drawn, before the swap leaves the back buffer
	// undefined: rows of exactly WIDTH * 3 bytes, bottom row first.
	void ReadFrame()
	{
		gl::PixelStorei(gl::GL_PACK_ALIGNMENT, 1);
		gl::ReadPixels(0, 0, WIDTH, HEIGHT, gl::GL_RGB, gl::GL_UNSIGNED_BYTE, pixel_buffer.data());
	}

	// Encodes the frame read back by ReadFrame as capture/frame<N>.bmp. A frame
	// that cannot be written is tallied, its failure printed when its reason
	// is new, and the run goes on.
	void WriteCapturedFrame()
	{
		unsigned char *encoded = nullptr;
		const size_t size = bitmap_encode_rgb_bottom_up(pixel_buffer.data(), WIDTH, HEIGHT, &encoded);
		const WriteFailure failure = WriteFileWhole(CaptureFramePath(frame_id), encoded, size);
		delete[] encoded;
		const std::string report = RecordFrame(captureTally, frame_id, failure);
		if(!report.empty())
			std::cerr << report << std::endl;
	}

	// The window toolkit's elapsed time, in seconds.
	float ElapsedSeconds()
	{
		return static_cast<float>(glutGet(GLUT_ELAPSED_TIME)) / 1000.0f;
	}

	void ReportFrameRate()
	{
		if(frameTimes.size() != kRateSamples)
			return;
		std::cout << "FPS: " << 100.0 / (frameTimes.back() - frameTimes.front()) << std::endl;
		frameTimes.clear();
	}
}

// A capture ends after the frame at exactly 135 s, however long the frames
// took; half a step of slack absorbs the rounding of the sum.
bool TimeIsUp(bool captureMode, double captureTime, double elapsedSeconds)
{
	return captureMode ? captureTime > kTimeLimitSeconds + kCaptureStepSeconds / 2 : elapsedSeconds > kTimeLimitSeconds;
}

void InitializeProgram()
{
	const SceneInputs inputs = ReadSceneInputs();
	BuildFailure failure;
	const GLuint program = BuildProgram(inputs, &failure);
	if(program == 0)
		throw std::runtime_error(failure.message);
	InstallProgram(program, inputs);
}

// A rebuild from the same bytes as the program in use would make the same
// program and texture, so it only prints the image's size line again; one
// from the same bytes as the last failed rebuild would fail again, so it is
// passed over. Otherwise the program is rebuilt, and a failure is reported
// once while it stays the same.
void reload()
{
	if(haveBuiltInputs && SceneMatches(builtInputs))
		PrintImageReport();
	else if(haveFailedInputs && SceneMatches(failedInputs))
		return;
	else if(!RebuildFrom(ReadSceneInputs()))
		return;
	ReportBuild(OverlayKind::Error, "", "");
	haveFailedInputs = false;
	SetSizeUniforms(WIDTH, HEIGHT);
}

unsigned int defaults(unsigned int displayMode, int &, int &)
{
	return displayMode;
}

void init(int argc, char **argv)
{
	capture = argc == 2 && std::strcmp(argv[1], "--capture") == 0;
	if(capture)
		RemoveTemporaryOnSignals();
	else
	{
		// Without its font the overlay stays off; failures still go to
		// standard error.
		std::string overlayError;
		if(!OverlayInit(kOverlayFontFile, &overlayError))
			std::cerr << overlayError << std::endl;
	}
	InitializeProgram();
	InitializeVertexBuffer();
	gl::GenVertexArrays(1, &vao);
	gl::BindVertexArray(vao);
	if(music)
		load_music();
}

void display()
{
	if(frame_id == 0 && music)
	{
		play_music();
		music_start = seconds_since_program_start();
	}

	if(TimeIsUp(capture, capture_time, ElapsedSeconds()))
	{
		glutLeaveMainLoop();
		return;
	}

	if(++hot_reload_counter == kReloadPeriodFrames)
	{
		reload();
		hot_reload_counter = 0;
	}

	gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
	gl::Clear(gl::GL_COLOR_BUFFER_BIT);
	gl::UseProgram(theProgram);
	std::cout << ElapsedSeconds() << std::endl;

	// The sound is analysed at exactly the time the shader gets, so that a
	// capture hears what a live run at the same moment would.
	const float shaderSeconds =
	    static_cast<float>(capture ? capture_time : seconds_since_program_start() - music_start);
	gl::Uniform1f(Location(elapsedTimeUniform), shaderSeconds);
	if(capture)
		capture_time += kCaptureStepSeconds;
	if(Location(spectrumUniform) != -1)
		UpdateSpectrum(shaderSeconds);
	frameTimes.push_back(seconds_since_program_start() - music_start);

	DrawQuad();
	if(capture)
		ReadFrame();
	else
		OverlayDraw();
	glutSwapBuffers();
	glutPostRedisplay();
	ReportFrameRate();
	if(capture)
		WriteCapturedFrame();
	++frame_id;
}

void reshape(int w, int h)
{
	WIDTH = w;
	HEIGHT = h;
	gl::Viewport(0, 0, w, h);
	SetSizeUniforms(w, h);
	OverlayResize(w, h);
	pixel_buffer.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
}

void keyDown(unsigned char key, int, int)
{
	if(key == kEscapeKey)
		glutLeaveMainLoop();
}

void keyUp(unsigned char, int, int)
{
}

void mouse(int, int, int, int)
{
}

int finish()
{
	const std::string summary = LossSummary(captureTally);
	if(summary.empty())
		return 0;
	std::cerr << summary << std::endl;
	return 1;
}
