// Writing captured frames: each file is made whole under a temporary name and
// then renamed, never through a link or onto a special file, and removed when
// a signal ends the run; lost frames are tallied for one report at the end.
#ifndef CAPTURE_H
#define CAPTURE_H

#include <cstddef>
#include <string>

// Where frame number frame is stored: "capture/frame<N>.bmp".
std::string CaptureFramePath(int frame);

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

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary that WriteFileWhole
// is writing before they end the process as they would have. A signal that
// is ignored stays ignored.
void RemoveTemporaryOnSignals();

// The outcome of a capture so far.
struct CaptureTally
{
	int frames = 0;  // frames attempted
	int lost = 0;    // frames that could not be written
	int firstLost = -1;
	int lastLost = -1;
	std::string lastReason;  // the reason last printed
};

// Records the result of writing frame number frame. Returns the line to print
// on standard error now: "Could not write PATH: REASON" for the first lost
// frame and for each one whose reason differs from the last printed; else "".
std::string RecordFrame(CaptureTally &tally, int frame, const WriteFailure &failure);

// "Could not write N of M frames (first capture/frameA.bmp, last
// capture/frameB.bmp)" when any frame was lost, else "".
std::string LossSummary(const CaptureTally &tally);

#endif
