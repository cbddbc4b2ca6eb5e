// Writing captured frames: see capture.h.
#include "frames/capture.h"

#include "intro_constants.h"

#include <cmath>

std::string CaptureFramePath(int frame)
{
	return "capture/frame" + std::to_string(frame) + ".bmp";
}

double CaptureFrameSeconds(int frame)
{
	const double step = 1.0 / kCaptureFramesPerSecond;
	double seconds = 0.0;
	for(int i = 0; i < frame; ++i)
		seconds += step;
	return seconds;
}

int CaptureFrameAt(double seconds)
{
	return static_cast<int>(std::lround(seconds * kCaptureFramesPerSecond));
}

std::string RecordFrame(CaptureTally &tally, int frame, const WriteFailure &failure)
{
	++tally.frames;
	if(failure.reason.empty())
		return "";
	++tally.lost;
	if(tally.firstLost < 0)
		tally.firstLost = frame;
	tally.lastLost = frame;
	if(!IsNewReport(tally.reason, failure.reason))
		return "";
	return "Could not write " + failure.path + ": " + failure.reason;
}

std::string LossSummary(const CaptureTally &tally)
{
	if(tally.lost == 0)
		return "";
	return "Could not write " + std::to_string(tally.lost) + " of " + std::to_string(tally.frames) + " frames (first " +
	       CaptureFramePath(tally.firstLost) + ", last " + CaptureFramePath(tally.lastLost) + ")";
}
