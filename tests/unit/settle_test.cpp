// When a shader file counts as saved: the rule on stamps and a clock given
// here, and the judgement ReadFile makes. No GL.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "scene/input_files.h"

namespace
{
	const int64_t kSecond = 1000000000;

	FileStamp Stamp(int64_t size, int64_t modified)
	{
		FileStamp stamp;
		stamp.inode = 7;
		stamp.size = size;
		stamp.modifiedNanoseconds = modified;
		stamp.changedNanoseconds = modified;
		return stamp;
	}
}

TEST(Settle, AFileLeftAloneForATenthOfASecondHasSettled)
{
	const int64_t now = 1000 * kSecond;
	const FileStamp old = Stamp(120, now - kSettleNanoseconds);
	EXPECT_TRUE(LooksSettled(old, old, now));
	EXPECT_FALSE(LooksSettled(Stamp(0, now - kSecond), Stamp(0, now - kSecond), now)) << "empty";
	EXPECT_TRUE(LooksSettled(Stamp(0, now - kSecond), Stamp(0, now - kSecond), now, EmptyFile::Content))
	    << "empty common code, left so";
	EXPECT_FALSE(LooksSettled(Stamp(0, now), Stamp(0, now), now, EmptyFile::Content)) << "emptied a moment ago";
	EXPECT_FALSE(LooksSettled(old, Stamp(180, now - kSettleNanoseconds), now)) << "grew while it was read";
	const FileStamp recent = Stamp(120, now - kSettleNanoseconds + 1);
	EXPECT_FALSE(LooksSettled(recent, recent, now)) << "modified within the tenth of a second";
	const FileStamp ahead = Stamp(120, now + kSettleNanoseconds / 2);
	EXPECT_FALSE(LooksSettled(ahead, ahead, now)) << "a file time just ahead of a coarse clock";
	const FileStamp future = Stamp(120, now + 3600 * kSecond);
	EXPECT_TRUE(LooksSettled(future, future, now)) << "a file from a skewed clock is not held back for good";
}

TEST(Settle, ReadFileJudgesTheFileItRead)
{
	char pattern[] = "/tmp/settle-test-XXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	const std::string folder = pattern;
	const std::string empty = folder + "/empty.frag";
	const std::string saved = folder + "/saved.frag";
	std::ofstream(empty).close();
	std::ofstream(saved) << "void main() {}\n";
	// Modified in 2001, long settled whenever this runs.
	const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
	ASSERT_EQ(utimensat(AT_FDCWD, saved.c_str(), times, 0), 0);
	ASSERT_EQ(utimensat(AT_FDCWD, empty.c_str(), times, 0), 0);

	const FileBytes emptyFile = ReadFile(empty);
	EXPECT_TRUE(emptyFile.complete);
	EXPECT_FALSE(emptyFile.settled);
	const FileBytes savedFile = ReadFile(saved);
	EXPECT_TRUE(savedFile.complete);
	EXPECT_TRUE(savedFile.settled);
	EXPECT_TRUE(ReadFile(folder + "/absent.frag").settled) << "a failure to open is no save in progress";
	std::filesystem::remove_all(folder);
}
