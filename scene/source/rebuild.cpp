// The rules of a rebuild: see rebuild.h.
#include "scene/rebuild.h"

void ReportBuild(BuildReports &reports, OverlayKind kind, const std::string &header, const std::string &text)
{
	ReportBuild(reports, kind, header, text, text);
}

void ReportBuild(BuildReports &reports, OverlayKind kind, const std::string &header, const std::string &text,
                 const std::string &errorsText)
{
	ReportOnce &report = kind == OverlayKind::Error ? reports.failure : reports.warnings;
	if(!IsNewReport(report, header + "\n" + text))
		return;
	*reports.errors << errorsText << std::flush;
	if(!reports.onOverlay)
		return;
	if(text.empty())
		OverlayHide(kind);
	else
		OverlayShow(kind, header, text);
}

RebuildOutcome RebuildIfChanged(RebuildMemory &memory, BuildReports &reports, const RebuildSteps &steps)
{
	RebuildOutcome outcome = RebuildOutcome::Unchanged;
	if(memory.haveBuilt && steps.filesHold(memory.built))
		outcome = RebuildOutcome::Unchanged;
	else if(memory.haveFailed && steps.filesHold(memory.failed))
		return RebuildOutcome::StillFailing;
	else
	{
		const SceneInputs inputs = steps.read();
		if(!ShadersSettled(inputs))
			return RebuildOutcome::Unsettled;
		BuildFailure failure;
		if(!steps.build(inputs, &failure))
		{
			ReportBuild(reports, OverlayKind::Error, failure.file, failure.message + "\n",
			            StartUpMessage(failure) + "\n");
			memory.failed = inputs;
			memory.haveFailed = true;
			return RebuildOutcome::Failed;
		}
		memory.built = inputs;
		memory.haveBuilt = true;
		outcome = RebuildOutcome::Built;
	}
	ReportBuild(reports, OverlayKind::Error, "", "");
	memory.haveFailed = false;
	return outcome;
}
