// A failure as a value, carried back to the one place that decides how to
// report it and whether the run ends.
//
// The convention, for every library of this project: a function that can
// fail and gives nothing else returns an Error; one that also gives a value
// returns a result struct whose member `error` is an Error. No failure comes
// back through a string out-parameter or as a string that is empty on
// success. Library code neither prints a failure nor ends the run: its
// caller does. The scene, which meets failures on every rebuild, says them
// itself, but only on the stream and the overlay its program hands it. A
// failure whose parts its callers word each their own way is a struct of
// those parts (a file written whole: the path and the system's reason; a
// shader build: the file and the driver's log). Older paths keep their ways:
// the shader toolkit and the data-file lookup throw, the entry point reports
// what init lets out, and the music's load ends the run itself.
#ifndef REPORT_ERROR_H
#define REPORT_ERROR_H

#include <string>

// What failed: the line (or newline-separated lines) to report, each naming
// the file or thing and why; from a part whose caller names the thing
// itself, the reason alone. Empty: nothing failed.
struct Error
{
	std::string message;

	explicit operator bool() const
	{
		return !message.empty();
	}
};

#endif
