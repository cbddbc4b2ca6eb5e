// The application shell without a GL context: the debug report's format and
// the data-file lookup.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "framework/framework.h"

namespace
{
	std::string Report(GLenum source, GLenum type, GLenum severity, const char *message)
	{
		testing::internal::CaptureStdout();
		DebugFunc(source, type, 7, severity, 1, message, nullptr);
		return testing::internal::GetCapturedStdout();
	}
}

TEST(DebugReport, TranslatesEveryKnownEnum)
{
	const struct
	{
		GLenum value;
		const char *word;
	} sources[] = {{0x8246, "API"},         {0x8247, "Window System"}, {0x8248, "Shader Compiler"},
	               {0x8249, "Third Party"}, {0x824A, "Application"},   {0x824B, "Other"}},
	  types[] = {{0x824C, "Error"},
	             {0x824D, "Deprecated Functionality"},
	             {0x824E, "Undefined Behavior"},
	             {0x824F, "Portability"},
	             {0x8250, "Performance"},
	             {0x8251, "Other"}},
	  severities[] = {{0x9146, "High"}, {0x9147, "Medium"}, {0x9148, "Low"}};
	for(const auto &source : sources)
		EXPECT_EQ(Report(source.value, 0x824C, 0x9146, "m"),
		          std::string("Error from ") + source.word + ",\tHigh priority\nMessage: m\n");
	for(const auto &type : types)
		EXPECT_EQ(Report(0x8246, type.value, 0x9148, "m"),
		          std::string(type.word) + " from API,\tLow priority\nMessage: m\n");
	for(const auto &severity : severities)
		EXPECT_EQ(Report(0x8246, 0x824C, severity.value, "m"),
		          std::string("Error from API,\t") + severity.word + " priority\nMessage: m\n");
}

TEST(DebugReport, UnknownEnumsPrintEmptyWordsAndTheMessageStopsAtItsNul)
{
	EXPECT_EQ(Report(0x1234, 0x824C, 0x9147, "text"), "Error from ,\tMedium priority\nMessage: text\n");
	EXPECT_EQ(Report(0x8246, 0, 0x9147, "text"), " from API,\tMedium priority\nMessage: text\n");
	EXPECT_EQ(Report(0x8246, 0x824C, 0x826B, "text"), "Error from API,\t priority\nMessage: text\n")
	    << "a notification severity is not in the table";
	EXPECT_EQ(Report(0, 0, 0, "two\nlines"), " from ,\t priority\nMessage: two\nlines\n");
}

namespace
{
	// A scratch tree root/work with root/data and root/work/data, the test
	// running in root/work; removed afterwards.
	class LookupTree : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			root = std::filesystem::temp_directory_path() / ("lookup-test-" + std::to_string(getpid()));
			std::filesystem::create_directories(root / "work" / "data");
			std::filesystem::create_directories(root / "data");
			previous = std::filesystem::current_path();
			std::filesystem::current_path(root / "work");
		}
		void TearDown() override
		{
			std::filesystem::current_path(previous);
			std::filesystem::remove_all(root);
		}
		void Write(const std::filesystem::path &path)
		{
			std::ofstream(root / path) << "text";
		}
		std::string MissingMessage(const std::string &basename)
		{
			try
			{
				Framework::FindFileOrThrow(basename);
			}
			catch(const std::runtime_error &e)
			{
				return e.what();
			}
			return "(found)";
		}

		std::filesystem::path root;
		std::filesystem::path previous;
	};
}

TEST_F(LookupTree, TheWorkingDirectorysDataWinsOverItsParents)
{
	Write("data/both.frag");
	Write("work/data/both.frag");
	Write("data/parent.frag");
	EXPECT_EQ(Framework::FindFileOrThrow("both.frag"), "data/both.frag");
	EXPECT_EQ(Framework::FindFileOrThrow("parent.frag"), "../data/parent.frag");
}

TEST_F(LookupTree, AMissingFileNamesOnlyItsBaseName)
{
	EXPECT_EQ(MissingMessage("intro.frag"), "Could not find the file intro.frag");
	EXPECT_EQ(MissingMessage(""), "Could not find the file ");
	std::filesystem::create_directories(root / "work" / "data" / "folder.frag");
	EXPECT_EQ(MissingMessage("folder.frag"), "Could not find the file folder.frag") << "a directory is not a data file";
	Write("work/data/present.frag");
	const std::string withNul("present.frag\0x", 14);
	EXPECT_EQ(MissingMessage(withNul), "Could not find the file present.frag")
	    << "a name with a NUL byte names no file, not the one before the NUL";
}

TEST_F(LookupTree, AFileThatIsThereButDoesNotOpenIsNamedWithItsReason)
{
	Write("work/data/locked.frag");
	std::filesystem::permissions(root / "work" / "data" / "locked.frag", std::filesystem::perms::none);
	std::filesystem::permissions(root, std::filesystem::perms::all);
	// The super-user opens any file: the lookup runs in a child that gives
	// that up, and hands back what it said.
	int message[2];
	ASSERT_EQ(pipe(message), 0);
	const pid_t child = fork();
	ASSERT_GE(child, 0);
	if(child == 0)
	{
		close(message[0]);
		if(geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
			_exit(2);
		const std::string said = MissingMessage("locked.frag");
		_exit(write(message[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 3);
	}
	close(message[1]);
	char said[256];
	const ssize_t size = read(message[0], said, sizeof said);
	close(message[0]);
	int status = 0;
	waitpid(child, &status, 0);
	ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
	EXPECT_EQ(std::string(said, static_cast<size_t>(std::max<ssize_t>(size, 0))),
	          "Could not read data/locked.frag: Permission denied");
}

TEST_F(LookupTree, TheWorkingDirectoryDecidesNotTheExecutable)
{
	Write("data/only-here.vert");
	EXPECT_EQ(Framework::FindFileOrThrow("only-here.vert"), "../data/only-here.vert");
	std::filesystem::current_path(root);
	EXPECT_EQ(Framework::FindFileOrThrow("only-here.vert"), "data/only-here.vert");
	std::filesystem::current_path(std::filesystem::temp_directory_path());
	EXPECT_EQ(MissingMessage("only-here.vert"), "Could not find the file only-here.vert");
}
