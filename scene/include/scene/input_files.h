// The files a build of the scene reads: read whole and remembered, so that a
// later rebuild can tell whether anything changed without building again.
#ifndef INPUT_FILES_H
#define INPUT_FILES_H

#include <cstdint>
#include <string>

#include "report/error.h"

// The most of an input file a build reads: far more than any shader or image
// the intro can use, far less than would exhaust memory.
constexpr size_t kMaxInputBytes = 256u << 20;

// Which file a path named when it was opened and how it looked then; two
// stamps are equal while nobody has replaced, written or resized the file.
struct FileStamp
{
	uint64_t device = 0;
	uint64_t inode = 0;
	uint32_t mode = 0;
	int64_t size = 0;
	int64_t modifiedNanoseconds = 0;
	int64_t changedNanoseconds = 0;

	bool operator==(const FileStamp &other) const;
};

// How long a file must have been left alone to count as saved: an editor
// that rewrites a file in place leaves it empty, then partly written, for
// moments shorter than this.
constexpr int64_t kSettleNanoseconds = 100000000;

// How a read takes an empty file: as a save in progress, for a shader that
// is never empty once saved; or as content like any other, for an optional
// file whose emptiness means nothing to add (the common code).
enum class EmptyFile
{
	MidSave,
	Content,
};

// Whether a file read whole looks saved rather than mid-write: it is not
// empty (unless empty counts as content), its stamp after the read (after)
// is the one before it (before), and
// it was last modified at least kSettleNanoseconds away from now (the
// system's real-time clock, in nanoseconds, as file times are; a time that
// far in the future counts as settled too, so that a skewed clock cannot hold
// a file back for good).
bool LooksSettled(const FileStamp &before, const FileStamp &after, int64_t nowNanoseconds,
                  EmptyFile empty = EmptyFile::MidSave);

// A file as a build read it.
struct FileBytes
{
	std::string path;       // "" when a data file's lookup failed
	bool found = false;     // located and opened
	bool complete = false;  // a regular file, read to its end
	// False for a file read whole that looked mid-write when it was read
	// (LooksSettled, with the clock at the end of the read).
	bool settled = true;
	EmptyFile empty = EmptyFile::MidSave;  // how the read took an empty file
	std::string bytes;
	Error error;        // why it was not found or not read whole
	FileStamp stamp;    // set when found: as the file was opened

	// The same outcome: the same bytes read whole, or the same failure of
	// the same file.
	bool operator==(const FileBytes &other) const;
};

// Reads the file at path whole and judges whether it looked settled. Only a
// regular file (after links) is read:
// anything else fails with "not a regular file" without blocking, as does a
// file over kMaxInputBytes with "larger than 256 MiB"; a file that does not
// open fails with the system's reason.
FileBytes ReadFile(const std::string &path, EmptyFile empty = EmptyFile::MidSave);

// Whether the file at known.path is now as known saw it: the same bytes, or
// the same failure. A file that was found but could not be read counts as
// unchanged until its stamp changes, so a failure that stays is not read
// again; one that was not found, while it still fails to open the same way.
bool FileMatches(const FileBytes &known);

// Finds the data file basename as Framework::OpenDataFileOrThrow does and
// reads the very file the lookup opened and judged. A failed lookup gives a FileBytes with an empty path and the lookup's
// message as its error.
FileBytes ReadDataFile(const std::string &basename, EmptyFile empty = EmptyFile::MidSave);

// Whether the lookup of basename still finds known.path and the file there
// matches known, or the lookup still fails as it did.
bool DataFileMatches(const std::string &basename, const FileBytes &known);

// Fails when a data file cannot be used: with the lookup's message when it
// was not found, "Could not read PATH: REASON" when it was found but not
// read whole, "PATH holds a NUL byte at offset N" (the first) when it holds
// one, which no shader text may.
Error DataFileFailure(const FileBytes &file);

// Whether a look at the file's status alone (no open, no read) finds it as
// known saw it: the same stamp, or still absent when it was not found. Cheap
// enough for every frame; a false answer means FileMatches should decide.
bool StampMatches(const FileBytes &known);

// The same look for a data file: the lookup would still find known.path
// (no data/ file has appeared in front of a ../data/ one), and its stamp
// matches.
bool DataFileStampMatches(const std::string &basename, const FileBytes &known);

#endif
