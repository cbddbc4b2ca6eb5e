// Writing captured frames: each file is written whole (files/write_whole.h),
// and lost frames are tallied for one report at the end.
#ifndef CAPTURE_H
#define CAPTURE_H

#include <string>

#include "files/write_whole.h"
#include "report/report_once.h"

// Where frame number frame is stored: "capture/frame<N>.bmp".
std::string CaptureFramePath(int frame);

// The shader time of frame number frame in a capture: the sum of frame steps
// of 1/60 s in double precision. Every route to frame N (the capture, the
// render mode, stills, frame steps, the buffers' ticks) takes its time from
// here, so that each draws the capture's picture of it.
double CaptureFrameSeconds(int frame);

// The frame a capture shows at a time: seconds x 60, rounded.
int CaptureFrameAt(double seconds);

// The outcome of a capture so far.
struct CaptureTally
{
	int frames = 0;  // frames attempted
	int lost = 0;    // frames that could not be written
	int firstLost = -1;
	int lastLost = -1;
	ReportOnce reason;  // the reason of the last loss printed
};

// Records the result of writing frame number frame. Returns the line to print
// on standard error now: "Could not write PATH: REASON" for the first lost
// frame and for each one whose reason differs from the last printed; else "".
std::string RecordFrame(CaptureTally &tally, int frame, const WriteFailure &failure);

// "Could not write N of M frames (first capture/frameA.bmp, last
// capture/frameB.bmp)" when any frame was lost, else "".
std::string LossSummary(const CaptureTally &tally);

#endif
