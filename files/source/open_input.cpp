// Opening an input file without waiting: see open_input.h.
#include "files/open_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

InputFile::InputFile(const std::string &path)
    : descriptor(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
{
	if(descriptor < 0)
	{
		openError = errno;
		return;
	}
	if(fstat(descriptor, &status) != 0)
	{
		openError = errno;
		close(descriptor);
		descriptor = -1;
		status = {};
	}
}

InputFile::~InputFile()
{
	if(descriptor >= 0)
		close(descriptor);
}

InputFile::InputFile(InputFile &&other) noexcept
    : descriptor(other.descriptor), openError(other.openError), status(other.status)
{
	other.descriptor = -1;
}

InputFile &InputFile::operator=(InputFile &&other) noexcept
{
	if(this != &other)
	{
		if(descriptor >= 0)
			close(descriptor);
		descriptor = other.descriptor;
		openError = other.openError;
		status = other.status;
		other.descriptor = -1;
	}
	return *this;
}

bool InputFile::IsOpen() const
{
	return descriptor >= 0;
}

bool InputFile::IsRegular() const
{
	return descriptor >= 0 && S_ISREG(status.st_mode);
}

Error InputFile::OpenError() const
{
	return Error{openError == 0 ? "" : std::strerror(openError)};
}

const struct stat &InputFile::StatusAtOpen() const
{
	return status;
}

bool InputFile::StatusNow(struct stat *now) const
{
	return descriptor >= 0 && fstat(descriptor, now) == 0;
}

int InputFile::Descriptor() const
{
	return descriptor;
}

int InputFile::Release()
{
	const int released = descriptor;
	descriptor = -1;
	return released;
}

Error InputFile::Stream(const std::function<bool(const char *block, size_t size)> &consume)
{
	static char block[65536];
	for(;;)
	{
		const ssize_t count = read(descriptor, block, sizeof block);
		if(count < 0 && errno == EINTR)
			continue;
		if(count < 0)
			return Error{std::strerror(errno)};
		if(count == 0 || !consume(block, static_cast<size_t>(count)))
			return {};
	}
}
