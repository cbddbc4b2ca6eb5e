// The shader toolkit and the shader-loading helpers on the real driver.
#include <glload/gl_all.hpp>
#include <glload/gll.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

#include "framework/framework.h"
#include "gl_test_main.h"
#include "glutil/Shader.h"

namespace
{
	const char *kVertex = "#version 330\nlayout(location = 0) in vec4 position;\n"
	                      "void main() { gl_Position = position; }\n";
	const char *kFragment = "#version 330\nout vec4 colour;\nvoid main() { colour = vec4(1.0); }\n";
	const char *kBrokenFragment = "#version 330\nout vec4 colour;\nvoid main() { colour = nonsense; }\n";
	// Compiles, but a program without a fragment main() does not link.
	const char *kUnlinkableFragment = "#version 330\nout vec4 colour;\n"
	                                  "void helper() { colour = vec4(1.0); }\n";

	// Names GL has handed out in these tests stay far below this.
	const GLuint kNameRange = 4096;

	int CountShaders()
	{
		int count = 0;
		for(GLuint name = 1; name < kNameRange; ++name)
			count += gl::IsShader(name) == gl::GL_TRUE;
		return count;
	}

	int CountPrograms()
	{
		int count = 0;
		for(GLuint name = 1; name < kNameRange; ++name)
			count += gl::IsProgram(name) == gl::GL_TRUE;
		return count;
	}

	// The info log GL gives for this text, read without the toolkit.
	std::string DriverCompileLog(GLenum type, const char *text)
	{
		GLuint shader = gl::CreateShader(type);
		gl::ShaderSource(shader, 1, &text, nullptr);
		gl::CompileShader(shader);
		GLint length = 0;
		gl::GetShaderiv(shader, gl::GL_INFO_LOG_LENGTH, &length);
		std::string log(static_cast<size_t>(length), '\0');
		GLsizei written = 0;
		gl::GetShaderInfoLog(shader, length, &written, &log[0]);
		gl::DeleteShader(shader);
		log.resize(static_cast<size_t>(written));
		return log;
	}

	GLint ProgramValue(GLuint program, GLenum name)
	{
		GLint value = -1;
		gl::GetProgramiv(program, name, &value);
		return value;
	}

	// Records what the toolkit hands to glShaderSource, then calls the driver.
	struct SourceRecord
	{
		GLsizei count = -1;
		std::vector<std::string> texts;
	};
	SourceRecord lastSource;
	PFNGLSHADERSOURCEPROC realShaderSource = nullptr;

	void RecordingShaderSource(GLuint shader, GLsizei count, const GLchar **strings, const GLint *lengths)
	{
		lastSource = SourceRecord();
		lastSource.count = count;
		for(GLsizei i = 0; i < count; ++i)
			lastSource.texts.push_back(lengths ? std::string(strings[i], static_cast<size_t>(lengths[i]))
			                                   : std::string(strings[i]));
		realShaderSource(shader, count, strings, lengths);
	}

	class ShaderSourceRecorder
	{
	public:
		ShaderSourceRecorder()
		{
			realShaderSource = __gleShaderSource;
			__gleShaderSource = RecordingShaderSource;
		}
		~ShaderSourceRecorder()
		{
			__gleShaderSource = realShaderSource;
		}
	};

	// Makes the loader see a 3.3 context without GL_ARB_separate_shader_objects,
	// through the GLX shim linked into this test, and restores the real view.
	class Faked33Context
	{
	public:
		Faked33Context()
		{
			setenv("GLX_SHIM_VERSION", "3.3 (faked)", 1);
			setenv("GLX_SHIM_HIDE", "GL_ARB_separate_shader_objects", 1);
			glload::LoadFunctions();
		}
		~Faked33Context()
		{
			unsetenv("GLX_SHIM_VERSION");
			unsetenv("GLX_SHIM_HIDE");
			glload::LoadFunctions();
		}
	};

	void FailIfCalled(GLuint, GLenum, GLint)
	{
		ADD_FAILURE() << "glProgramParameteri was called";
	}
}

TEST(Toolkit, CompileFailureCarriesTheDriverLogAndDeletesTheShader)
{
	const std::string expected = DriverCompileLog(gl::GL_FRAGMENT_SHADER, kBrokenFragment);
	ASSERT_FALSE(expected.empty());
	const int shadersBefore = CountShaders();
	try
	{
		glutil::CompileShader(gl::GL_FRAGMENT_SHADER, std::string(kBrokenFragment));
		FAIL() << "no exception";
	}
	catch(const glutil::CompileLinkException &e)
	{
		EXPECT_EQ(std::string(e.what()), expected);
	}
	EXPECT_EQ(CountShaders(), shadersBefore);
}

TEST(Toolkit, ListLinkFailureDeletesTheProgramButNotTheShaders)
{
	GLuint vertex = glutil::CompileShader(gl::GL_VERTEX_SHADER, kVertex);
	GLuint fragment = glutil::CompileShader(gl::GL_FRAGMENT_SHADER, kUnlinkableFragment);
	const int programsBefore = CountPrograms();
	try
	{
		glutil::LinkProgram(std::vector<GLuint>{vertex, fragment}, false);
		FAIL() << "no exception";
	}
	catch(const glutil::CompileLinkException &e)
	{
		EXPECT_NE(std::string(e.what()).find("main"), std::string::npos) << e.what();
	}
	EXPECT_EQ(CountPrograms(), programsBefore);
	EXPECT_TRUE(gl::IsShader(vertex));
	EXPECT_TRUE(gl::IsShader(fragment));
	gl::DeleteShader(vertex);
	gl::DeleteShader(fragment);
}

TEST(Toolkit, SuccessfulLinksLeaveNoShaderAttached)
{
	GLuint vertex = glutil::CompileShader(gl::GL_VERTEX_SHADER, kVertex);
	GLuint fragment = glutil::CompileShader(gl::GL_FRAGMENT_SHADER, kFragment);

	GLuint program = glutil::LinkProgram(std::vector<GLuint>{vertex, fragment}, false);
	EXPECT_EQ(ProgramValue(program, gl::GL_LINK_STATUS), gl::GL_TRUE);
	EXPECT_EQ(ProgramValue(program, gl::GL_ATTACHED_SHADERS), 0);
	EXPECT_EQ(ProgramValue(program, gl::GL_PROGRAM_SEPARABLE), gl::GL_FALSE);
	gl::DeleteProgram(program);

	program = glutil::LinkProgram(vertex, fragment);
	EXPECT_EQ(ProgramValue(program, gl::GL_ATTACHED_SHADERS), 0);
	gl::DeleteProgram(program);

	GLuint own = gl::CreateProgram();
	EXPECT_EQ(glutil::LinkProgram(own, std::vector<GLuint>{vertex, fragment}), own);
	EXPECT_EQ(ProgramValue(own, gl::GL_ATTACHED_SHADERS), 0);
	gl::DeleteProgram(own);

	gl::DeleteShader(vertex);
	gl::DeleteShader(fragment);
}

TEST(Toolkit, TextToProgramLeavesNothingBehindOnFailure)
{
	const int shadersBefore = CountShaders();
	const int programsBefore = CountPrograms();
	EXPECT_THROW(glutil::LinkProgram(kVertex, kBrokenFragment), glutil::CompileLinkException);
	EXPECT_THROW(glutil::LinkProgram(std::string(kVertex), std::string(kUnlinkableFragment)),
	             glutil::CompileLinkException);
	EXPECT_EQ(CountShaders(), shadersBefore);
	EXPECT_EQ(CountPrograms(), programsBefore);

	GLuint own = gl::CreateProgram();
	EXPECT_THROW(glutil::LinkProgram(own, kVertex, kBrokenFragment), glutil::CompileLinkException);
	EXPECT_TRUE(gl::IsProgram(own)) << "a compile failure leaves the caller's program alone";
	EXPECT_THROW(glutil::LinkProgram(own, kVertex, kUnlinkableFragment), glutil::CompileLinkException);
	EXPECT_FALSE(gl::IsProgram(own)) << "a link failure deletes even the caller's program";
	EXPECT_EQ(CountShaders(), shadersBefore);

	GLuint program = glutil::LinkProgram(kVertex, kFragment);
	EXPECT_EQ(ProgramValue(program, gl::GL_LINK_STATUS), gl::GL_TRUE);
	EXPECT_EQ(CountShaders(), shadersBefore);
	gl::DeleteProgram(program);
}

TEST(Toolkit, StringObjectsPassTheirWholeLengthCharacterStringsStopAtNul)
{
	const std::string withNul = std::string(kFragment) + std::string("// \0 tail", 9);
	ShaderSourceRecorder recorder;

	GLuint shader = glutil::CompileShader(gl::GL_FRAGMENT_SHADER, withNul);
	ASSERT_EQ(lastSource.count, 1);
	EXPECT_EQ(lastSource.texts[0], withNul);
	gl::DeleteShader(shader);

	shader = glutil::CompileShader(gl::GL_FRAGMENT_SHADER, std::vector<std::string>{withNul, "\n"});
	ASSERT_EQ(lastSource.count, 2);
	EXPECT_EQ(lastSource.texts[0], withNul);
	gl::DeleteShader(shader);

	shader = glutil::CompileShader(gl::GL_FRAGMENT_SHADER, withNul.c_str());
	EXPECT_EQ(lastSource.texts[0], kFragment + std::string("// "));
	GLint sourceLength = 0;
	gl::GetShaderiv(shader, gl::GL_SHADER_SOURCE_LENGTH, &sourceLength);
	EXPECT_EQ(sourceLength, static_cast<GLint>(std::strlen(kFragment) + 3 + 1));
	gl::DeleteShader(shader);

	const char *pieces[] = {"#version 330\n", "out vec4 colour;\n", "void main() { colour = vec4(0.5); }\n"};
	shader = glutil::CompileShader(gl::GL_FRAGMENT_SHADER, pieces, 3);
	EXPECT_EQ(lastSource.count, 3);
	gl::DeleteShader(shader);
}

TEST(Toolkit, AnEmptyListHandsGLACountOfZero)
{
	ShaderSourceRecorder recorder;
	const int shadersBefore = CountShaders();
	try
	{
		gl::DeleteShader(glutil::CompileShader(gl::GL_VERTEX_SHADER, std::vector<std::string>{}));
	}
	catch(const glutil::CompileLinkException &)
	{
	}
	EXPECT_EQ(lastSource.count, 0);
	EXPECT_EQ(CountShaders(), shadersBefore);
}

TEST(Toolkit, AFailureOnAnInvalidNameReadsAsAnEmptyLog)
{
	try
	{
		throw glutil::CompileLinkException(static_cast<GLuint>(kNameRange + 77));
	}
	catch(const glutil::CompileLinkException &e)
	{
		EXPECT_STREQ(e.what(), "");
	}
	while(gl::GetError() != gl::GL_NO_ERROR)
	{
	}
}

TEST(Toolkit, SeparableProgramsWorkOnThisContext)
{
	GLuint program = glutil::MakeSeparableProgram(gl::GL_FRAGMENT_SHADER, std::string(kFragment));
	EXPECT_EQ(ProgramValue(program, gl::GL_LINK_STATUS), gl::GL_TRUE);
	EXPECT_EQ(ProgramValue(program, gl::GL_PROGRAM_SEPARABLE), gl::GL_TRUE);
	gl::DeleteProgram(program);

	program = glutil::MakeSeparableProgram(gl::GL_VERTEX_SHADER, std::vector<std::string>{kVertex});
	EXPECT_EQ(ProgramValue(program, gl::GL_PROGRAM_SEPARABLE), gl::GL_TRUE);
	gl::DeleteProgram(program);

	GLuint vertex = glutil::CompileShader(gl::GL_VERTEX_SHADER, kVertex);
	program = glutil::LinkProgram(vertex, true);
	EXPECT_EQ(ProgramValue(program, gl::GL_PROGRAM_SEPARABLE), gl::GL_TRUE);
	gl::DeleteProgram(program);
	gl::DeleteShader(vertex);

	const int programsBefore = CountPrograms();
	EXPECT_THROW(glutil::MakeSeparableProgram(gl::GL_FRAGMENT_SHADER, kBrokenFragment), glutil::CompileLinkException);
	EXPECT_EQ(CountPrograms(), programsBefore);
}

namespace
{
	// Records the strings handed to glCreateShaderProgramv, then calls the driver.
	std::vector<std::string> separableTexts;
	PFNGLCREATESHADERPROGRAMVPROC realCreateShaderProgramv = nullptr;

	GLuint RecordingCreateShaderProgramv(GLenum type, GLsizei count, const GLchar **strings)
	{
		separableTexts.assign(strings, strings + count);
		return realCreateShaderProgramv(type, count, strings);
	}
}

TEST(Toolkit, SeparableTextsEndAtTheirFirstNul)
{
	realCreateShaderProgramv = __gleCreateShaderProgramv;
	__gleCreateShaderProgramv = RecordingCreateShaderProgramv;
	const std::string withNul = std::string(kFragment) + std::string("// \0 tail", 9);
	GLuint program = glutil::MakeSeparableProgram(gl::GL_FRAGMENT_SHADER, withNul);
	EXPECT_EQ(separableTexts, std::vector<std::string>{kFragment + std::string("// ")});
	gl::DeleteProgram(program);
	program = glutil::MakeSeparableProgram(gl::GL_FRAGMENT_SHADER, std::vector<std::string>{withNul, "\n"});
	EXPECT_EQ(separableTexts, (std::vector<std::string>{kFragment + std::string("// "), "\n"}));
	gl::DeleteProgram(program);
	__gleCreateShaderProgramv = realCreateShaderProgramv;
}

TEST(Toolkit, A41ContextNeedsNoSeparationExtension)
{
	ASSERT_TRUE(glload::IsVersionGEQ(4, 1));
	const int flag = glext_ARB_separate_shader_objects;
	glext_ARB_separate_shader_objects = 0;
	GLuint program = glutil::MakeSeparableProgram(gl::GL_FRAGMENT_SHADER, kFragment);
	EXPECT_EQ(ProgramValue(program, gl::GL_PROGRAM_SEPARABLE), gl::GL_TRUE);
	gl::DeleteProgram(program);
	glext_ARB_separate_shader_objects = flag;
}

TEST(Toolkit, AnEmptyShaderListStillMakesAndLinksAProgram)
{
	const int programsBefore = CountPrograms();
	try
	{
		GLuint program = glutil::LinkProgram(std::vector<GLuint>{}, false);
		EXPECT_TRUE(gl::IsProgram(program));
		gl::DeleteProgram(program);
	}
	catch(const glutil::CompileLinkException &)
	{
		// The driver decided the empty program does not link; it is gone.
	}
	EXPECT_EQ(CountPrograms(), programsBefore);
}

TEST(Toolkit, SeparableRequestsFailCleanlyWithoutSupport)
{
	GLuint vertex = glutil::CompileShader(gl::GL_VERTEX_SHADER, kVertex);
	GLuint fragment = glutil::CompileShader(gl::GL_FRAGMENT_SHADER, kFragment);
	const int programsBefore = CountPrograms();
	{
		Faked33Context faked;
		ASSERT_FALSE(glload::IsVersionGEQ(4, 1));
		ASSERT_EQ(glext_ARB_separate_shader_objects, 0);
		try
		{
			glutil::MakeSeparableProgram(gl::GL_FRAGMENT_SHADER, kFragment);
			FAIL() << "no exception";
		}
		catch(const glutil::SeparateShaderNotSupported &e)
		{
			EXPECT_STREQ(e.what(), "Implementation does not support shader object separation.");
		}
		EXPECT_THROW(glutil::LinkProgram(std::vector<GLuint>{vertex, fragment}, true),
		             glutil::SeparateShaderNotSupported);
		EXPECT_THROW(glutil::LinkProgram(vertex, true), glutil::SeparateShaderNotSupported);
		EXPECT_EQ(CountPrograms(), programsBefore);

		PFNGLPROGRAMPARAMETERIPROC programParameteri = __gleProgramParameteri;
		__gleProgramParameteri = FailIfCalled;
		GLuint program = glutil::LinkProgram(std::vector<GLuint>{vertex, fragment}, false);
		EXPECT_EQ(ProgramValue(program, gl::GL_PROGRAM_SEPARABLE), gl::GL_FALSE);
		gl::DeleteProgram(program);
		program = glutil::LinkProgram(vertex, false);
		gl::DeleteProgram(program);
		__gleProgramParameteri = programParameteri;
	}

	ASSERT_TRUE(glload::IsVersionGEQ(4, 1));
	PFNGLCREATESHADERPROGRAMVPROC createShaderProgramv = __gleCreateShaderProgramv;
	PFNGLPROGRAMPARAMETERIPROC programParameteri = __gleProgramParameteri;
	__gleCreateShaderProgramv = nullptr;
	__gleProgramParameteri = nullptr;
	EXPECT_THROW(glutil::MakeSeparableProgram(gl::GL_FRAGMENT_SHADER, kFragment), glutil::SeparateShaderNotSupported);
	EXPECT_THROW(glutil::LinkProgram(std::vector<GLuint>{vertex, fragment}, true), glutil::SeparateShaderNotSupported);
	__gleCreateShaderProgramv = createShaderProgramv;
	__gleProgramParameteri = programParameteri;
	EXPECT_EQ(CountPrograms(), programsBefore);

	gl::DeleteShader(vertex);
	gl::DeleteShader(fragment);
}

namespace
{
	// A working directory holding data/ with the given files, for one test.
	class DataDirectory
	{
	public:
		DataDirectory()
		    : root(std::filesystem::temp_directory_path() / ("shader-gl-test-" + std::to_string(getpid()))),
		      previous(std::filesystem::current_path())
		{
			std::filesystem::create_directories(root / "data");
			std::filesystem::current_path(root);
		}
		~DataDirectory()
		{
			std::filesystem::current_path(previous);
			std::filesystem::remove_all(root);
		}
		void Write(const std::string &name, const std::string &text)
		{
			std::ofstream(root / "data" / name, std::ios::binary) << text;
		}

	private:
		std::filesystem::path root;
		std::filesystem::path previous;
	};
}

TEST(ShaderLoading, AMissingFilePassesItsErrorOnUnprinted)
{
	DataDirectory directory;
	testing::internal::CaptureStderr();
	try
	{
		Framework::LoadShader(gl::GL_FRAGMENT_SHADER, "absent.frag");
		FAIL() << "no exception";
	}
	catch(const std::runtime_error &e)
	{
		EXPECT_STREQ(e.what(), "Could not find the file absent.frag");
		EXPECT_FALSE(Framework::IsReported(std::current_exception()));
	}
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ShaderLoading, ACompileFailureIsPrintedOnceAndRethrown)
{
	DataDirectory directory;
	directory.Write("broken.frag", kBrokenFragment);
	const std::string log = DriverCompileLog(gl::GL_FRAGMENT_SHADER, kBrokenFragment);
	const int shadersBefore = CountShaders();
	testing::internal::CaptureStderr();
	try
	{
		Framework::LoadShader(gl::GL_FRAGMENT_SHADER, "broken.frag");
		FAIL() << "no exception";
	}
	catch(const glutil::CompileLinkException &e)
	{
		EXPECT_EQ(std::string(e.what()), log);
		EXPECT_TRUE(Framework::IsReported(std::current_exception()));
	}
	EXPECT_EQ(testing::internal::GetCapturedStderr(), log + "\n");
	EXPECT_EQ(CountShaders(), shadersBefore);
}

TEST(ShaderLoading, ProgramsAreBuiltFromFilesAndTheirShadersDeleted)
{
	DataDirectory directory;
	directory.Write("plain.vert", kVertex);
	directory.Write("plain.frag", kFragment);
	directory.Write("unlinkable.frag", kUnlinkableFragment);
	const int shadersBefore = CountShaders();

	std::vector<GLuint> shaders = {Framework::LoadShader(gl::GL_VERTEX_SHADER, "plain.vert"),
	                               Framework::LoadShader(gl::GL_FRAGMENT_SHADER, "plain.frag")};
	GLuint program = Framework::CreateProgram(shaders);
	EXPECT_EQ(ProgramValue(program, gl::GL_LINK_STATUS), gl::GL_TRUE);
	EXPECT_EQ(CountShaders(), shadersBefore);
	gl::DeleteProgram(program);

	shaders = {Framework::LoadShader(gl::GL_VERTEX_SHADER, "plain.vert"),
	           Framework::LoadShader(gl::GL_FRAGMENT_SHADER, "unlinkable.frag")};
	const int programsBefore = CountPrograms();
	testing::internal::CaptureStderr();
	std::string message;
	try
	{
		Framework::CreateProgram(shaders);
		ADD_FAILURE() << "no exception";
	}
	catch(const glutil::CompileLinkException &e)
	{
		message = e.what();
	}
	EXPECT_EQ(testing::internal::GetCapturedStderr(), message + "\n");
	EXPECT_FALSE(message.empty());
	EXPECT_EQ(CountShaders(), shadersBefore) << "no shader of the list remains";
	EXPECT_EQ(CountPrograms(), programsBefore);
}
