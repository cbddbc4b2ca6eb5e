// Reading the scene's input files: see input_files.h.
#include "scene/input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "framework/framework.h"

bool FileStamp::operator==(const FileStamp &other) const
{
	return device == other.device && inode == other.inode && mode == other.mode && size == other.size &&
	       modifiedNanoseconds == other.modifiedNanoseconds && changedNanoseconds == other.changedNanoseconds;
}

bool FileBytes::operator==(const FileBytes &other) const
{
	return path == other.path && found == other.found && complete == other.complete && bytes == other.bytes &&
	       error == other.error && (complete || stamp == other.stamp);
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

	// An open file and what it is; closes the descriptor when it goes.
	class OpenFile
	{
	public:
		// Opens path without waiting: a FIFO or a device opens at once and is
		// then refused by IsRegular rather than read.
		explicit OpenFile(const std::string &path)
		    : descriptor(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)),
		      openError(descriptor < 0 ? errno : 0)
		{
			struct stat status;
			if(descriptor >= 0 && fstat(descriptor, &status) == 0)
			{
				stamp = StampOf(status);
				regular = S_ISREG(status.st_mode);
			}
		}
		~OpenFile()
		{
			if(descriptor >= 0)
				close(descriptor);
		}
		OpenFile(const OpenFile &) = delete;
		OpenFile &operator=(const OpenFile &) = delete;

		bool IsOpen() const
		{
			return descriptor >= 0;
		}
		bool IsRegular() const
		{
			return regular;
		}
		std::string OpenError() const
		{
			return std::strerror(openError);
		}
		const FileStamp &Stamp() const
		{
			return stamp;
		}

		// Hands the file's bytes to consume(block, size) a block at a time,
		// until consume returns false or the file ends. Returns "" or the
		// reason the file could not be read.
		template <typename Consume>
		std::string Stream(Consume consume)
		{
			static char block[65536];
			for(;;)
			{
				const ssize_t count = read(descriptor, block, sizeof block);
				if(count < 0 && errno == EINTR)
					continue;
				if(count < 0)
					return std::strerror(errno);
				if(count == 0 || !consume(block, static_cast<size_t>(count)))
					return "";
			}
		}

	private:
		int descriptor;
		int openError;
		bool regular = false;
		FileStamp stamp;
	};
}

FileBytes ReadFile(const std::string &path)
{
	FileBytes file;
	file.path = path;
	OpenFile stream(path);
	if(!stream.IsOpen())
	{
		file.error = stream.OpenError();
		return file;
	}
	file.found = true;
	file.stamp = stream.Stamp();
	if(!stream.IsRegular())
	{
		file.error = kNotRegular;
		return file;
	}
	bool tooLarge = false;
	file.error = stream.Stream([&](const char *block, size_t count) {
		tooLarge = file.bytes.size() + count > kMaxInputBytes;
		if(!tooLarge)
			file.bytes.append(block, count);
		return !tooLarge;
	});
	if(file.error.empty() && tooLarge)
		file.error = "larger than 256 MiB";
	file.complete = file.error.empty();
	if(!file.complete)
		file.bytes.clear();
	return file;
}

bool FileMatches(const FileBytes &known)
{
	OpenFile stream(known.path);
	if(!stream.IsOpen())
		return !known.found && known.error == stream.OpenError();
	if(!known.found)
		return false;
	if(!known.complete)
		return stream.Stamp() == known.stamp;
	if(!stream.IsRegular())
		return false;
	// Compared block by block without keeping a copy, so that the check
	// every rebuild makes costs little.
	size_t offset = 0;
	bool same = true;
	const std::string error = stream.Stream([&](const char *block, size_t count) {
		same = offset + count <= known.bytes.size() && std::memcmp(known.bytes.data() + offset, block, count) == 0;
		offset += count;
		return same;
	});
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
		return known.path.empty() && known.error == e.what();
	}
}

std::string DataFileFailure(const FileBytes &file)
{
	if(file.complete)
		return "";
	if(file.path.empty())
		return file.error;
	return "Could not read " + file.path + ": " + file.error;
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
