// Reading the scene's input files, without GL: what is read, what is refused
// without blocking, and when a file counts as unchanged.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "scene/input_files.h"
#include "scratch_folder.h"

namespace
{
	namespace fs = std::filesystem;

	class InputFiles : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_FALSE(folder.empty());
			previous = fs::current_path();
			fs::current_path(folder);
		}
		void TearDown() override
		{
			fs::current_path(previous);
		}
		static void Write(const std::string &path, const std::string &text)
		{
			std::ofstream(path, std::ios::binary) << text;
		}

		ScratchFolder scratch{"input-files"};
		const fs::path &folder = scratch.path;
		fs::path previous;
	};
}

TEST_F(InputFiles, AFileIsReadWholeAndMatchesUntilItsBytesChange)
{
	Write("long.png", "first");
	const FileBytes file = ReadFile("long.png");
	EXPECT_TRUE(file.found);
	EXPECT_TRUE(file.complete);
	EXPECT_EQ(file.bytes, "first");
	EXPECT_TRUE(FileMatches(file));
	Write("long.png", "firsT");
	EXPECT_FALSE(FileMatches(file));
}

// A FIFO, a device behind a link and a directory are refused at once: opening
// or reading them could block the frame loop for good or never end.
TEST_F(InputFiles, OnlyARegularFileIsReadAndAnUnchangedRefusalIsNotReadAgain)
{
	ASSERT_EQ(mkfifo("fifo.png", 0600), 0);
	fs::create_symlink("/dev/zero", "zero.png");
	fs::create_directory("folder.png");
	for(const char *path : {"fifo.png", "zero.png", "folder.png"})
	{
		const FileBytes file = ReadFile(path);
		EXPECT_TRUE(file.found) << path;
		EXPECT_FALSE(file.complete) << path;
		EXPECT_EQ(file.error.message, "not a regular file") << path;
		EXPECT_TRUE(FileMatches(file)) << path;
	}
	const FileBytes folder = ReadFile("folder.png");
	fs::remove("folder.png");
	Write("folder.png", "now a file");
	EXPECT_FALSE(FileMatches(folder));
	const FileBytes zero = ReadFile("zero.png");
	fs::remove("zero.png");
	fs::create_symlink("/dev/null", "zero.png");
	EXPECT_FALSE(FileMatches(zero));
}

TEST_F(InputFiles, AFileOverTheLimitIsRefusedAndNotReadAgainUntilItChanges)
{
	{
		std::ofstream("big.png");
	}
	fs::resize_file("big.png", kMaxInputBytes + 1);
	const FileBytes file = ReadFile("big.png");
	EXPECT_TRUE(file.found);
	EXPECT_FALSE(file.complete);
	EXPECT_EQ(file.error.message, "larger than 256 MiB");
	EXPECT_TRUE(file.bytes.empty());
	EXPECT_TRUE(FileMatches(file));
	fs::resize_file("big.png", kMaxInputBytes);
	EXPECT_FALSE(FileMatches(file));
}

TEST_F(InputFiles, AMissingFileMatchesWhileItStaysMissing)
{
	const FileBytes file = ReadFile("absent.png");
	EXPECT_FALSE(file.found);
	EXPECT_EQ(file.error.message, "No such file or directory");
	EXPECT_TRUE(FileMatches(file));
	Write("absent.png", "");
	EXPECT_FALSE(FileMatches(file));
}

TEST_F(InputFiles, ADataFileThatCannotBeUsedIsNamedInItsMessage)
{
	fs::create_directory("data");
	EXPECT_EQ(DataFileFailure(ReadDataFile("intro.frag")).message, "Could not find the file intro.frag");
	Write("data/intro.frag", "void main() {}");
	EXPECT_EQ(DataFileFailure(ReadDataFile("intro.frag")).message, "");
	// Found by the lookup, then gone before it was opened.
	FileBytes vanished = ReadFile("data/intro.frag");
	fs::remove("data/intro.frag");
	vanished = ReadFile(vanished.path);
	EXPECT_EQ(DataFileFailure(vanished).message, "Could not read data/intro.frag: No such file or directory");
}
