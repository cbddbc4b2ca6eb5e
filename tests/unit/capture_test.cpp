// Writing captured frames, without GL: nothing is written outside the file
// named, nothing blocks, nothing partial stays, and losses are tallied.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/write_whole.h"
#include "frames/capture.h"
#include "scratch_folder.h"

namespace
{
	namespace fs = std::filesystem;

	std::string Content(const fs::path &path)
	{
		std::ifstream file(path, std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
	}

	class CaptureFiles : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_FALSE(folder.empty());
			frame = (folder / "frame10.bmp").string();
		}

		WriteFailure WriteFrame(const std::string &text)
		{
			return WriteFileWhole(frame, reinterpret_cast<const unsigned char *>(text.data()), text.size());
		}

		ScratchFolder scratch{"capture-files"};
		const fs::path &folder = scratch.path;
		std::string frame;
	};
}

TEST_F(CaptureFiles, ALinkAtTheTemporaryNameIsReplacedNotFollowed)
{
	const fs::path outside = folder / "outside.txt";
	std::ofstream(outside) << "precious";
	fs::create_symlink(outside, frame + ".tmp");
	EXPECT_EQ(WriteFrame("BM pixels").reason, "");
	EXPECT_EQ(Content(outside), "precious");
	EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(frame)));
	EXPECT_EQ(Content(frame), "BM pixels");
	EXPECT_FALSE(fs::exists(fs::symlink_status(frame + ".tmp")));
}

// A file the user keeps is replaced through its link, with its permissions.
TEST_F(CaptureFiles, AKeptFileIsReplacedThroughItsLinkWithItsMode)
{
	const fs::path kept = folder / "kept.txt";
	std::ofstream(kept) << "old";
	fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
	fs::create_symlink(kept, frame);
	const std::string text = "new";
	EXPECT_EQ(ReplaceFileWhole(frame, reinterpret_cast<const unsigned char *>(text.data()), text.size()).reason, "");
	EXPECT_TRUE(fs::is_symlink(fs::symlink_status(frame)));
	EXPECT_EQ(Content(kept), "new");
	EXPECT_EQ(fs::status(kept).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(CaptureFiles, AFifoOrALeftoverAtTheTemporaryNameDoesNotBlockOrStay)
{
	ASSERT_EQ(mkfifo((frame + ".tmp").c_str(), 0600), 0);
	EXPECT_EQ(WriteFrame("first").reason, "");
	std::ofstream(frame + ".tmp") << "partial leftover of a killed run";
	EXPECT_EQ(WriteFrame("second").reason, "");
	EXPECT_EQ(Content(frame), "second");
	EXPECT_FALSE(fs::exists(fs::symlink_status(frame + ".tmp")));
}

TEST_F(CaptureFiles, FailuresNameThePathThatFailed)
{
	fs::create_directory(frame + ".tmp");
	const WriteFailure blocked = WriteFrame("pixels");
	EXPECT_EQ(blocked.path, frame + ".tmp");
	EXPECT_EQ(blocked.reason, "Is a directory");

	fs::remove(frame + ".tmp");
	fs::create_directory(frame);
	const WriteFailure occupied = WriteFrame("pixels");
	EXPECT_EQ(occupied.path, frame);
	EXPECT_EQ(occupied.reason, "Is a directory");
	EXPECT_FALSE(fs::exists(frame + ".tmp"));

	frame = (folder / "missing" / "frame0.bmp").string();
	const WriteFailure missing = WriteFrame("pixels");
	EXPECT_EQ(missing.path, frame);
	EXPECT_EQ(missing.reason, "No such file or directory");
}

// A child writes large frames until the parent terminates it, most likely in
// the middle of one; wherever the signal lands, no temporary may stay.
TEST_F(CaptureFiles, ATerminatingSignalRemovesTheTemporaryBeingWritten)
{
	int started[2];
	ASSERT_EQ(pipe(started), 0);
	const pid_t child = fork();
	ASSERT_GE(child, 0);
	if(child == 0)
	{
		RemoveTemporaryOnSignals();
		const std::vector<unsigned char> pixels(64u << 20, 0x42);
		for(bool first = true;; first = false)
		{
			WriteFileWhole(frame, pixels.data(), pixels.size());
			if(first && write(started[1], "s", 1) != 1)
				_exit(3);
		}
	}
	close(started[1]);
	char byte = 0;
	ASSERT_EQ(read(started[0], &byte, 1), 1);
	close(started[0]);
	ASSERT_EQ(kill(child, SIGTERM), 0);
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	ASSERT_TRUE(WIFSIGNALED(status));
	EXPECT_EQ(WTERMSIG(status), SIGTERM);
	for(const fs::directory_entry &entry : fs::directory_iterator(folder))
		EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

TEST(CaptureTally, EachNewReasonIsPrintedOnceAndTheSummaryCountsEveryLoss)
{
	CaptureTally tally;
	EXPECT_EQ(LossSummary(tally), "");
	EXPECT_EQ(RecordFrame(tally, 0, {}), "");
	EXPECT_EQ(RecordFrame(tally, 1, {"capture/frame1.bmp", "No space left on device"}),
	          "Could not write capture/frame1.bmp: No space left on device");
	EXPECT_EQ(RecordFrame(tally, 2, {"capture/frame2.bmp", "No space left on device"}), "");
	EXPECT_EQ(RecordFrame(tally, 3, {}), "");
	EXPECT_EQ(RecordFrame(tally, 4, {"capture/frame4.bmp", "No space left on device"}), "");
	EXPECT_EQ(RecordFrame(tally, 5, {"capture/frame5.bmp.tmp", "Is a directory"}),
	          "Could not write capture/frame5.bmp.tmp: Is a directory");
	EXPECT_EQ(RecordFrame(tally, 6, {}), "");
	EXPECT_EQ(LossSummary(tally), "Could not write 4 of 7 frames (first capture/frame1.bmp, last capture/frame5.bmp)");
}
