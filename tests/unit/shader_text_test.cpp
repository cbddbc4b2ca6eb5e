// What a build says of a shader file before and after the driver sees it: a
// NUL byte found by the intro itself, and the file named over the driver's
// log at start-up. No GL.
#include <gtest/gtest.h>

#include <string>

#include "scene/input_files.h"
#include "scene/scene_build.h"

TEST(ShaderText, ANulByteIsNamedWithItsOffsetBeforeAnyCompiler)
{
	FileBytes file;
	file.path = "data/intro.frag";
	file.found = true;
	file.complete = true;
	file.bytes = std::string("void main() {}\n", 15) + '\0' + "// more\0\n";
	EXPECT_EQ(DataFileFailure(file).message, "data/intro.frag holds a NUL byte at offset 15") << "the first one";
	file.bytes = "void main() {}\n";
	EXPECT_EQ(DataFileFailure(file).message, "");
}

TEST(ShaderText, AtStartUpTheDriversLogComesUnderTheFilesName)
{
	EXPECT_EQ(StartUpMessage({"data/standard.vert", "0:1(1): error: syntax error\n", true}),
	          "data/standard.vert:\n0:1(1): error: syntax error\n");
	EXPECT_EQ(StartUpMessage({"standard.vert", "Could not find the file standard.vert", false}),
	          "Could not find the file standard.vert");
}
