// The intro player: its clock, the scene (shader program, uniforms, quad,
// texture, hot reload) and the frame loop with its time limit, frame-rate
// report and keyboard.
#include "main.h"

#include <glload/gl_3_3.hpp>

#include <GL/freeglut.h>
#include <stb/stb_image.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Audio.h"
#include "bitmap.h"
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
	const char *const kVertexShaderFile = "standard.vert";
	const char *const kFragmentShaderFile = "intro.frag";
	const char *const kImageFile = "images/long.png";

	const float kLoopDuration = 5.0f;
	const double kTimeLimitSeconds = 135.0;
	const int kReloadPeriodFrames = 30;
	const double kCaptureStepSeconds = 1.0 / 60.0;
	const size_t kRateSamples = 101;
	const unsigned char kEscapeKey = 27;

	// Two triangles covering clip space, one vec4 position per vertex.
	const float vertexPositions[] = {
		1.0f, 1.0f, 0.0f, 1.0f,
		1.0f, -1.0f, 0.0f, 1.0f,
		-1.0f, -1.0f, 0.0f, 1.0f,
		1.0f, 1.0f, 0.0f, 1.0f,
		-1.0f, 1.0f, 0.0f, 1.0f,
		-1.0f, -1.0f, 0.0f, 1.0f,
	};

	// The scene.
	GLuint theProgram = 0;
	GLuint theTexture = 0;
	// Uniform locations, kept unsigned: -1 (not declared) passes through unchanged.
	GLuint elapsedTimeUniform = 0;
	GLuint widthUniform = 0;
	GLuint heightUniform = 0;
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

	GLint Location(GLuint stored)
	{
		return static_cast<GLint>(stored);
	}

	// The most of an input file a build reads: far more than any shader or
	// image the intro can use, far less than would exhaust memory.
	const size_t kMaxInputBytes = 256u << 20;

	// A file as a build read it.
	struct FileBytes
	{
		std::string path;
		bool found = false;     // located and opened
		bool complete = false;  // read to its end
		std::string bytes;
		std::string error;      // why it was not found or not read whole

		bool operator==(const FileBytes &other) const
		{
			return path == other.path && found == other.found && complete == other.complete &&
			       bytes == other.bytes && error == other.error;
		}
	};

	// Everything a build reads: the two shader files and the image.
	struct SceneInputs
	{
		FileBytes vertexShader;
		FileBytes fragmentShader;
		FileBytes image;
	};

	// The inputs of the program and texture now in use, and what their build
	// printed about the image; a rebuild from the same bytes reuses them.
	bool haveBuiltInputs = false;
	SceneInputs builtInputs;
	std::string imageWarning;
	std::string sizeLine;
	// The image warning last printed, so that one that stays is printed once.
	std::string printedImageWarning;
	// The inputs of the last rebuild that failed, and what it printed; the
	// same inputs would fail the same way, so they are not built again.
	bool haveFailedInputs = false;
	SceneInputs failedInputs;
	std::string lastRebuildFailure;

	// Hands the file's bytes to consume(block, size) a block at a time, until
	// consume returns false or the file ends. Returns "" or the reason the
	// file could not be read.
	template <typename Consume>
	std::string StreamFile(std::FILE *file, Consume consume)
	{
		static char block[65536];
		size_t count = 0;
		while((count = std::fread(block, 1, sizeof block, file)) > 0 && consume(block, count))
		{
		}
		return std::ferror(file) ? std::strerror(errno) : "";
	}

	FileBytes ReadFile(const std::string &path)
	{
		FileBytes file;
		file.path = path;
		std::FILE *stream = std::fopen(path.c_str(), "rb");
		if(!stream)
		{
			file.error = std::strerror(errno);
			return file;
		}
		file.found = true;
		file.error = StreamFile(stream, [&file](const char *block, size_t count) {
			if(file.bytes.size() + count > kMaxInputBytes)
				return false;
			file.bytes.append(block, count);
			return true;
		});
		if(file.error.empty() && !std::feof(stream))
			file.error = "larger than 256 MiB";
		file.complete = file.error.empty();
		std::fclose(stream);
		return file;
	}

	// Whether the file now is as known saw it: the same bytes, or the same
	// failure. It is read without keeping a copy, so that the check every
	// rebuild makes costs little.
	bool FileMatches(const FileBytes &known)
	{
		std::FILE *stream = std::fopen(known.path.c_str(), "rb");
		if(!stream)
			return !known.found && known.error == std::strerror(errno);
		size_t offset = 0;
		bool same = known.complete;
		const std::string error = StreamFile(stream, [&](const char *block, size_t count) {
			same = same && offset + count <= known.bytes.size() &&
			       std::memcmp(known.bytes.data() + offset, block, count) == 0;
			offset += count;
			return same;
		});
		std::fclose(stream);
		return same && error.empty() && offset == known.bytes.size();
	}

	FileBytes ReadDataFile(const std::string &basename)
	{
		try
		{
			return ReadFile(Framework::FindFileOrThrow(basename));
		}
		catch(const std::runtime_error &e)
		{
			FileBytes missing;
			missing.error = e.what();
			return missing;
		}
	}

	bool DataFileMatches(const std::string &basename, const FileBytes &known)
	{
		try
		{
			const std::string path = Framework::FindFileOrThrow(basename);
			return path == known.path && FileMatches(known);
		}
		catch(const std::runtime_error &e)
		{
			return !known.found && known.error == e.what();
		}
	}

	SceneInputs ReadSceneInputs()
	{
		SceneInputs inputs;
		inputs.vertexShader = ReadDataFile(kVertexShaderFile);
		inputs.fragmentShader = ReadDataFile(kFragmentShaderFile);
		inputs.image = ReadFile(kImageFile);
		return inputs;
	}

	// Whether the files still hold what inputs recorded.
	bool SceneMatches(const SceneInputs &inputs)
	{
		return DataFileMatches(kVertexShaderFile, inputs.vertexShader) &&
		       DataFileMatches(kFragmentShaderFile, inputs.fragmentShader) && FileMatches(inputs.image);
	}

	// Compiles a shader file from the bytes the build read, so that the
	// program is made from exactly the bytes later rebuilds compare with. A
	// file that was not found raises the lookup's error, as loading it would.
	GLuint CompileInput(GLenum shaderType, const FileBytes &file)
	{
		if(!file.found)
			throw std::runtime_error(file.error);
		if(!file.complete)
			throw std::runtime_error("Could not read " + file.path + ": " + file.error);
		return Framework::CompileShaderText(shaderType, file.bytes);
	}

	// Compiles both shaders and links them. Shaders already compiled are
	// deleted when a later step throws, so a failed rebuild leaks nothing.
	GLuint BuildProgram(const SceneInputs &inputs)
	{
		std::vector<GLuint> shaderList;
		try
		{
			shaderList.push_back(CompileInput(gl::GL_VERTEX_SHADER, inputs.vertexShader));
			shaderList.push_back(CompileInput(gl::GL_FRAGMENT_SHADER, inputs.fragmentShader));
		}
		catch(...)
		{
			for(GLuint shader : shaderList)
				gl::DeleteShader(shader);
			throw;
		}
		return Framework::CreateProgram(shaderList);
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
			                               static_cast<int>(image.bytes.size()), &width, &height,
			                               &channelsInFile, 4);
			if(!pixels)
				imageWarning = std::string("Could not load ") + kImageFile + ": " + stbi_failure_reason();
		}
		if(!pixels)
			width = height = channelsInFile = 0;
		sizeLine = std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(channelsInFile);
		PrintImageReport();

		gl::ActiveTexture(gl::GL_TEXTURE0);
		gl::BindTexture(gl::GL_TEXTURE_2D, texture);
		gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_RGBA, width, height, 0, gl::GL_RGBA,
		               gl::GL_UNSIGNED_BYTE, pixels);
		gl::Uniform1i(gl::GetUniformLocation(theProgram, "message"), 0);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_S, gl::GL_CLAMP_TO_EDGE);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_T, gl::GL_CLAMP_TO_EDGE);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_LINEAR);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAG_FILTER, gl::GL_LINEAR);
		stbi_image_free(pixels);

		if(theTexture != 0)
			gl::DeleteTextures(1, &theTexture);
		theTexture = texture;
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

		elapsedTimeUniform = static_cast<GLuint>(gl::GetUniformLocation(theProgram, "iGlobalTime"));
		widthUniform = static_cast<GLuint>(gl::GetUniformLocation(theProgram, "width"));
		heightUniform = static_cast<GLuint>(gl::GetUniformLocation(theProgram, "height"));
		const GLint loopDurationUniform = gl::GetUniformLocation(theProgram, "loopDuration");

		gl::UseProgram(theProgram);
		if(haveBuiltInputs && inputs.image == builtInputs.image)
		{
			gl::Uniform1i(gl::GetUniformLocation(theProgram, "message"), 0);
			PrintImageReport();
		}
		else
			setup_texture(inputs.image);
		gl::Uniform1f(loopDurationUniform, kLoopDuration);
		gl::UseProgram(0);

		builtInputs = inputs;
		haveBuiltInputs = true;
	}

	// Points standard error at a buffer for as long as it lives.
	class CapturedErrors
	{
	public:
		CapturedErrors() : console(std::cerr.rdbuf(captured.rdbuf()))
		{
		}
		~CapturedErrors()
		{
			std::cerr.rdbuf(console);
		}
		std::string Text() const
		{
			return captured.str();
		}

	private:
		std::ostringstream captured;
		std::streambuf *console;
	};

	// Builds and installs a new program from the inputs. The shader helpers
	// print a failure on standard error themselves; that output is held back
	// and printed only when it differs from the last failure's, and the
	// failed inputs are remembered. Returns whether the build succeeded.
	bool RebuildFrom(const SceneInputs &inputs)
	{
		GLuint program = 0;
		std::string report;
		{
			CapturedErrors errors;
			try
			{
				program = BuildProgram(inputs);
			}
			catch(const std::exception &e)
			{
				if(!Framework::IsReported(std::current_exception()))
					std::cerr << e.what() << std::endl;
			}
			report = errors.Text();
		}
		if(program != 0)
		{
			std::cerr << report << std::flush;
			InstallProgram(program, inputs);
			return true;
		}
		if(report != lastRebuildFailure)
			std::cerr << report << std::flush;
		lastRebuildFailure = report;
		failedInputs = inputs;
		haveFailedInputs = true;
		return false;
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

	// Writes the bytes to path through path.tmp and a rename, so that a failed
	// write leaves no partial file. Returns the reason of a failure, or "".
	std::string WriteFileWhole(const std::string &path, const unsigned char *bytes, size_t size)
	{
		const std::string temporary = path + ".tmp";
		errno = 0;
		std::FILE *file = std::fopen(temporary.c_str(), "wb");
		if(!file)
			return std::strerror(errno);
		// A short write without an errno is still a failure.
		int error = 0;
		if(std::fwrite(bytes, 1, size, file) != size)
			error = errno != 0 ? errno : EIO;
		if(std::fclose(file) != 0 && error == 0)
			error = errno != 0 ? errno : EIO;
		if(error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0)
			error = errno;
		if(error != 0)
		{
			std::remove(temporary.c_str());
			return std::strerror(error);
		}
		return "";
	}

	// Encodes the frame read back by ReadFrame as capture/frame<N>.bmp. A frame
	// that cannot be written is reported and the run goes on.
	void WriteCapturedFrame()
	{
		unsigned char *encoded = nullptr;
		const size_t size = bitmap_encode_rgb_bottom_up(pixel_buffer.data(), WIDTH, HEIGHT, &encoded);
		const std::string path = "capture/frame" + std::to_string(frame_id) + ".bmp";
		const std::string error = WriteFileWhole(path, encoded, size);
		delete[] encoded;
		if(!error.empty())
			std::cerr << "Could not write " << path << ": " << error << std::endl;
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
	return captureMode ? captureTime > kTimeLimitSeconds + kCaptureStepSeconds / 2
	                   : elapsedSeconds > kTimeLimitSeconds;
}

void InitializeProgram()
{
	const SceneInputs inputs = ReadSceneInputs();
	InstallProgram(BuildProgram(inputs), inputs);
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
	lastRebuildFailure.clear();
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
		std::exit(0);

	if(++hot_reload_counter == kReloadPeriodFrames)
	{
		reload();
		hot_reload_counter = 0;
	}

	gl::ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
	gl::Clear(gl::GL_COLOR_BUFFER_BIT);
	gl::UseProgram(theProgram);
	std::cout << ElapsedSeconds() << std::endl;

	if(capture)
	{
		gl::Uniform1f(Location(elapsedTimeUniform), static_cast<float>(capture_time));
		capture_time += kCaptureStepSeconds;
	}
	else
	{
		gl::Uniform1f(Location(elapsedTimeUniform), static_cast<float>(seconds_since_program_start() - music_start));
	}
	frameTimes.push_back(seconds_since_program_start() - music_start);

	DrawQuad();
	if(capture)
		ReadFrame();
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
