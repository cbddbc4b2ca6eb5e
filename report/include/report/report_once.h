// Saying a message once while it stays the same: a failure that repeats every
// frame or every rebuild is printed the first time, and again only after it
// has changed.
#ifndef REPORT_REPORT_ONCE_H
#define REPORT_REPORT_ONCE_H

#include <string>

// What was last said about one thing (a build, a file, the frames written).
struct ReportOnce
{
	std::string last;
};

// True when message differs from the last one passed for this report, which
// it then becomes; false when it is the same, so that the caller stays
// silent. The empty message counts like any other: passing "" makes the next
// non-empty message new again.
bool IsNewReport(ReportOnce &report, const std::string &message);

#endif
