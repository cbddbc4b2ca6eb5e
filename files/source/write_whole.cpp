// Writing a file whole: see write_whole.h.
#include "files/write_whole.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <csignal>
#include <cstring>

namespace
{
	// The temporary being written, for the signal handler: set before the
	// file is created, cleared once it is renamed or removed.
	char pendingTemporary[4096];
	volatile std::sig_atomic_t temporaryPending = 0;

	void RemoveTemporaryAndDie(int signalNumber)
	{
		if(temporaryPending)
			unlink(pendingTemporary);
		// The handler was reset on entry, so this ends the process as the
		// signal would have.
		raise(signalNumber);
	}

	// Creates path exclusively for writing. A leftover of that name (a file
	// of an earlier run, a link, a FIFO) is removed and the creation tried
	// once more. Returns the descriptor, or -1 with errno set; *blocked tells
	// whether the name itself stands in the way.
	int CreateNew(const std::string &path, bool *blocked)
	{
		const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
		*blocked = false;
		int descriptor = open(path.c_str(), flags, 0666);
		if(descriptor < 0 && errno == EEXIST)
		{
			if(unlink(path.c_str()) != 0)
			{
				*blocked = true;
				return -1;
			}
			descriptor = open(path.c_str(), flags, 0666);
		}
		return descriptor;
	}

	// Writes all bytes; returns 0 or the errno of the failure.
	int WriteAll(int descriptor, const unsigned char *bytes, size_t size)
	{
		while(size > 0)
		{
			const ssize_t written = write(descriptor, bytes, size);
			if(written < 0 && errno == EINTR)
				continue;
			if(written <= 0)
				return written < 0 ? errno : EIO;
			bytes += written;
			size -= static_cast<size_t>(written);
		}
		return 0;
	}
}

namespace
{
	// WriteFileWhole, giving the file the permission bits `mode` when it is
	// not negative.
	WriteFailure WriteWhole(const std::string &path, const unsigned char *bytes, size_t size, int mode)
	{
		const std::string temporary = path + ".tmp";
		if(temporary.size() >= sizeof pendingTemporary)
			return {path, std::strerror(ENAMETOOLONG)};
		std::memcpy(pendingTemporary, temporary.c_str(), temporary.size() + 1);
		temporaryPending = 1;

		bool blocked = false;
		const int descriptor = CreateNew(temporary, &blocked);
		if(descriptor < 0)
		{
			const int error = errno;
			temporaryPending = 0;
			return {blocked ? temporary : path, std::strerror(error)};
		}
		int error = WriteAll(descriptor, bytes, size);
		if(error == 0 && mode >= 0 && fchmod(descriptor, static_cast<mode_t>(mode)) != 0)
			error = errno;
		if(close(descriptor) != 0 && error == 0)
			error = errno;
		if(error == 0 && rename(temporary.c_str(), path.c_str()) != 0)
			error = errno;
		if(error != 0)
			unlink(temporary.c_str());
		temporaryPending = 0;
		if(error != 0)
			return {path, std::strerror(error)};
		return {};
	}
}

WriteFailure WriteFileWhole(const std::string &path, const unsigned char *bytes, size_t size)
{
	return WriteWhole(path, bytes, size, -1);
}

WriteFailure ReplaceFileWhole(const std::string &path, const unsigned char *bytes, size_t size)
{
	std::string file = path;
	char target[PATH_MAX];
	if(realpath(path.c_str(), target))
		file = target;
	struct stat status;
	const int mode = stat(file.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
	return WriteWhole(file, bytes, size, mode);
}

void RemoveTemporaryOnSignals()
{
	struct sigaction action;
	std::memset(&action, 0, sizeof action);
	action.sa_handler = RemoveTemporaryAndDie;
	action.sa_flags = SA_RESETHAND;
	sigemptyset(&action.sa_mask);
	for(int signalNumber : {SIGINT, SIGTERM, SIGHUP})
	{
		// A signal the process was started to ignore stays ignored.
		struct sigaction previous;
		if(sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
			sigaction(signalNumber, &action, nullptr);
	}
}
