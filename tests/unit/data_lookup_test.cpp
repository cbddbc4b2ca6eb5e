// The data-file lookup and read against a shader that a loop of renames swaps
// between a FIFO and a regular file: no lookup may wait on the FIFO, and what
// is read comes from the file that was judged.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "framework/framework.h"
#include "scene/input_files.h"
#include "scratch_folder.h"

namespace
{
	namespace fs = std::filesystem;

	const char *const kText = "void main() {}\n";

	class DataLookup : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_FALSE(folder.empty());
			previous = fs::current_path();
			fs::current_path(folder);
			fs::create_directory("data");
		}
		void TearDown() override
		{
			fs::current_path(previous);
		}

		ScratchFolder scratch{"data-lookup"};
		const fs::path &folder = scratch.path;
		fs::path previous;
	};
}

// data/intro.frag and data/other trade places (renameat2's exchange), one a
// FIFO and one the shader, an odd number of times, while this thread reads
// the shader through the lookup. Then the renaming thread opens the FIFO, now
// at data/intro.frag, for writing: that lets go of a lookup stuck in open()
// on it, which would then hand over data/intro.frag as found, so that a
// lookup that waited fails the test instead of hanging it.
TEST_F(DataLookup, AShaderSwappedWithAFifoIsNeverWaitedOnNorReadFromAnotherFile)
{
	std::ofstream("data/intro.frag") << kText;
	ASSERT_EQ(mkfifo("data/other", 0600), 0);
	const int kSwaps = 20001;
	std::atomic<bool> done(false);
	std::thread renamer([&] {
		for(int swap = 0; swap < kSwaps; ++swap)
			renameat2(AT_FDCWD, "data/intro.frag", AT_FDCWD, "data/other", RENAME_EXCHANGE);
		done = true;
		const int release = open("data/intro.frag", O_WRONLY | O_NONBLOCK);
		if(release >= 0)
			close(release);
	});

	int found = 0;
	int passedOver = 0;
	while(!done)
	{
		const FileBytes file = ReadDataFile("intro.frag");
		if(file.complete)
		{
			++found;
			EXPECT_EQ(file.path, "data/intro.frag");
			EXPECT_EQ(file.bytes, kText);
		}
		else
		{
			++passedOver;
			// The FIFO stood there when the lookup opened the name: passed
			// over as a directory would be, never judged a regular file and
			// then read as something else.
			EXPECT_EQ(file.error.message, "Could not find the file intro.frag");
		}
	}
	renamer.join();
	EXPECT_GT(found + passedOver, 0);
	struct stat status;
	ASSERT_EQ(stat("data/intro.frag", &status), 0);
	EXPECT_TRUE(S_ISFIFO(status.st_mode)) << "the renames ended with the FIFO in the shader's place";
	EXPECT_EQ(DataFileFailure(ReadDataFile("intro.frag")).message, "Could not find the file intro.frag");
}
