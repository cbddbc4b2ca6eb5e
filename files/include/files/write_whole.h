// Writing a file whole: made under a temporary name and then renamed, never
// through a link or onto a special file, and the temporary removed when a
// signal ends the run.
#ifndef FILES_WRITE_WHOLE_H
#define FILES_WRITE_WHOLE_H

#include <cstddef>
#include <string>

// Why a file could not be written: the path that failed (the file itself, or
// its temporary when something stands in the way there) and the system's
// reason. An empty reason means the file was written.
struct WriteFailure
{
	std::string path;
	std::string reason;
};

// Writes bytes to path through the temporary path + ".tmp" and a rename, so
// that a reader never sees a partial file. The temporary is always created
// new (a leftover file, link or FIFO of that name is removed first, never
// followed or opened), and it is removed again after a failure. Returns the
// failure, or an empty one.
WriteFailure WriteFileWhole(const std::string &path, const unsigned char *bytes, size_t size);

// Replaces a file the user keeps (a file of keys the user also edits) as
// WriteFileWhole does, but through a link, to the file it names, and with that
// file's permissions; a new file gets the default ones.
WriteFailure ReplaceFileWhole(const std::string &path, const unsigned char *bytes, size_t size);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary that WriteFileWhole
// is writing before they end the process as they would have. A signal that
// is ignored stays ignored.
void RemoveTemporaryOnSignals();

#endif
