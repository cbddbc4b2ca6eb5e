// Saying a message once while it stays the same: see report_once.h.
#include "report/report_once.h"

bool IsNewReport(ReportOnce &report, const std::string &message)
{
	if(message == report.last)
		return false;
	report.last = message;
	return true;
}
