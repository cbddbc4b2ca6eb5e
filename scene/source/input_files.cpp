// Reading the scene's input files: see input_files.h.
#include "scene/input_files.h"

#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <stdexcept>

#include "framework/framework.h"

bool FileStamp::operator==(const FileStamp &other) const
{
	return device == other.device && inode == other.inode && mode == other.mode && size == other.size &&
	       modifiedNanoseconds == other.modifiedNanoseconds && changedNanoseconds == other.changedNanoseconds;
}

bool LooksSettled(const FileStamp &before, const FileStamp &after, int64_t nowNanoseconds, EmptyFile empty)
{
	const int64_t age = nowNanoseconds - after.modifiedNanoseconds;
	return (after.size > 0 || empty == EmptyFile::Content) && before == after && (age >= kSettleNanoseconds || age <= -kSettleNanoseconds);
}

bool FileBytes::operator==(const FileBytes &other) const
{
	return path == other.path && found == other.found && complete == other.complete && bytes == other.bytes &&
	       error.message == other.error.message && (complete || stamp == other.stamp);
}

namespace
{
	const char *const kNotRegular = "not a regular file";

	int64_t Nanoseconds(const struct timespec &time)
	{
		return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
	}

	FileStamp StampOf(const struct stat &status)
	{
		FileStamp stamp;
		stamp.device = status.st_dev;
		stamp.inode = status.st_ino;
		stamp.mode = status.st_mode;
		stamp.size = status.st_size;
		stamp.modifiedNanoseconds = Nanoseconds(status.st_mtim);
		stamp.changedNanoseconds = Nanoseconds(status.st_ctim);
		return stamp;
	}

	// Reads the open file at path whole into a FileBytes. Only a regular
	// file is read; anything else fails with "not a regular file", a file
	// over kMaxInputBytes with "larger than 256 MiB".
	FileBytes ReadOpened(const std::string &path, InputFile &stream, EmptyFile empty)
	{
		FileBytes file;
		file.path = path;
		file.empty = empty;
		if(!stream.IsOpen())
		{
			file.error = stream.OpenError();
			return file;
		}
		file.found = true;
		file.stamp = StampOf(stream.StatusAtOpen());
		if(!stream.IsRegular())
		{
			file.error = Error{kNotRegular};
			return file;
		}
		bool tooLarge = false;
		file.error = stream.Stream([&](const char *block, size_t count) {
			tooLarge = file.bytes.size() + count > kMaxInputBytes;
			if(!tooLarge)
				file.bytes.append(block, count);
			return !tooLarge;
		});
		if(!file.error && tooLarge)
			file.error = Error{"larger than 256 MiB"};
		file.complete = !file.error;
		if(!file.complete)
		{
			file.bytes.clear();
			return file;
		}
		struct stat after;
		struct timespec now;
		file.settled = stream.StatusNow(&after) && clock_gettime(CLOCK_REALTIME, &now) == 0 &&
		               LooksSettled(file.stamp, StampOf(after), Nanoseconds(now), empty);
		return file;
	}

	// Whether the open file holds what known recorded; see FileMatches.
	bool OpenedMatches(const FileBytes &known, InputFile &stream)
	{
		if(!stream.IsOpen())
			return !known.found && known.error.message == stream.OpenError().message;
		if(!known.found)
			return false;
		if(!known.complete)
			return StampOf(stream.StatusAtOpen()) == known.stamp;
		if(!stream.IsRegular())
			return false;
		// Compared block by block without keeping a copy, so that the check
		// every rebuild makes costs little.
		size_t offset = 0;
		bool same = true;
		const Error error = stream.Stream([&](const char *block, size_t count) {
			same = offset + count <= known.bytes.size() && std::memcmp(known.bytes.data() + offset, block, count) == 0;
			offset += count;
			return same;
		});
		return same && !error && offset == known.bytes.size();
	}
}

FileBytes ReadFile(const std::string &path, EmptyFile empty)
{
	InputFile stream(path);
	return ReadOpened(path, stream, empty);
}

bool FileMatches(const FileBytes &known)
{
	InputFile stream(known.path);
	return OpenedMatches(known, stream);
}

FileBytes ReadDataFile(const std::string &basename, EmptyFile empty)
{
	try
	{
		Framework::DataFile found = Framework::OpenDataFileOrThrow(basename);
		return ReadOpened(found.path, found.file, empty);
	}
	catch(const Framework::UnreadableDataFile &e)
	{
		FileBytes unreadable;
		unreadable.path = e.path;
		unreadable.found = true;
		unreadable.error = Error{e.reason};
		return unreadable;
	}
	catch(const std::runtime_error &e)
	{
		FileBytes missing;
		missing.error = Error{e.what()};
		return missing;
	}
}

bool DataFileMatches(const std::string &basename, const FileBytes &known)
{
	try
	{
		Framework::DataFile found = Framework::OpenDataFileOrThrow(basename);
		return found.path == known.path && OpenedMatches(known, found.file);
	}
	catch(const Framework::UnreadableDataFile &e)
	{
		return known.path == e.path && !known.complete && known.error.message == e.reason;
	}
	catch(const std::runtime_error &e)
	{
		return known.path.empty() && known.error.message == e.what();
	}
}

Error DataFileFailure(const FileBytes &file)
{
	if(file.complete)
	{
		const size_t nul = file.bytes.find('\0');
		if(nul == std::string::npos)
			return {};
		return Error{file.path + " holds a NUL byte at offset " + std::to_string(nul)};
	}
	if(file.path.empty())
		return file.error;
	return Error{"Could not read " + file.path + ": " + file.error.message};
}

bool StampMatches(const FileBytes &known)
{
	struct stat status;
	if(stat(known.path.c_str(), &status) != 0)
		return !known.found;
	return known.found && StampOf(status) == known.stamp;
}

bool DataFileStampMatches(const std::string &basename, const FileBytes &known)
{
	if(known.path.empty())
	{
		struct stat status;
		return stat(("data/" + basename).c_str(), &status) != 0 && stat(("../data/" + basename).c_str(), &status) != 0;
	}
	if(known.path.rfind("../", 0) == 0)
	{
		struct stat status;
		if(stat(("data/" + basename).c_str(), &status) == 0 && S_ISREG(status.st_mode))
			return false;
	}
	return StampMatches(known);
}
