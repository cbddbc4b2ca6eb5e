// Opening an input file without ever waiting, and telling what it is from the
// descriptor that was opened: no rename between a check and an open can slip
// a FIFO or a device in where a plain file was judged.
#ifndef FILES_OPEN_INPUT_H
#define FILES_OPEN_INPUT_H

#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <string>

#include "report/error.h"

// A file opened for reading with O_NONBLOCK and its status from fstat on the
// same descriptor, which closes when the object goes. A FIFO, a device or a
// directory opens at once like a plain file; IsRegular tells them apart, and
// only a regular file should be read.
class InputFile
{
public:
	// Nothing open: IsOpen is false and OpenError is empty.
	InputFile() = default;
	// Opens path (after links) for reading. Never blocks; when the open (or
	// the fstat after it) fails, IsOpen is false and OpenError gives the
	// system's reason, such as "No such file or directory".
	explicit InputFile(const std::string &path);
	~InputFile();
	InputFile(InputFile &&other) noexcept;
	InputFile &operator=(InputFile &&other) noexcept;
	InputFile(const InputFile &) = delete;
	InputFile &operator=(const InputFile &) = delete;

	bool IsOpen() const;
	// Open, and a regular file.
	bool IsRegular() const;
	// Why the open failed, the system's reason; empty when it did not.
	Error OpenError() const;
	// The file's status as fstat gave it at the open; zeros when not open.
	const struct stat &StatusAtOpen() const;
	// Its status now, from fstat on the same descriptor; false when that
	// fails (or nothing is open).
	bool StatusNow(struct stat *now) const;
	// The descriptor, or -1; it stays owned by this object.
	int Descriptor() const;
	// Hands the descriptor over to the caller, who must close it; this object
	// is then empty.
	int Release();

	// Hands the bytes from the descriptor's current offset to
	// consume(block, size) a block at a time, until consume returns false or
	// the file ends. Returns the system's reason when the read fails.
	Error Stream(const std::function<bool(const char *block, size_t size)> &consume);

private:
	int descriptor = -1;
	int openError = 0;
	struct stat status = {};
};

#endif
