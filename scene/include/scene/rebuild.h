// The rules of a rebuild, apart from GL: files that still hold what the
// program in use was built from are not built again, files that still hold
// what last failed are not retried, a shader caught mid-save waits for the
// next rebuild, and a build's failure is said once while it stays the same
// and cleared by the next good build.
#ifndef SCENE_REBUILD_H
#define SCENE_REBUILD_H

#include <functional>
#include <ostream>
#include <string>

#include "overlay/overlay.h"
#include "report/report_once.h"
#include "scene/scene_build.h"

// Where a build's reports go, and what was last said of each kind.
struct BuildReports
{
	std::ostream *errors = nullptr;  // every new report's text
	bool onOverlay = false;          // also drawn over the picture
	ReportOnce failure;
	ReportOnce warnings;
};

// Says a report of this kind (a build's failure, or its warnings), given as
// a header (the file concerned) and a text (ending in a newline): the text
// goes to *reports.errors when the report differs from the last of its kind,
// and with reports.onOverlay the header and text to the overlay. An empty
// text clears the kind: nothing is printed, and the overlay hides it.
void ReportBuild(BuildReports &reports, OverlayKind kind, const std::string &header, const std::string &text);

// The same, with errorsText in place of text on *reports.errors.
void ReportBuild(BuildReports &reports, OverlayKind kind, const std::string &header, const std::string &text,
                 const std::string &errorsText);

// What the rules remember from one rebuild to the next.
struct RebuildMemory
{
	bool haveBuilt = false;
	SceneInputs built;  // what the program in use was built from
	bool haveFailed = false;
	SceneInputs failed;  // what the last failed build read
};

// The steps of one rebuild, so that the rules can run on fakes.
struct RebuildSteps
{
	std::function<bool(const SceneInputs &)> filesHold;  // the files still hold these inputs
	std::function<SceneInputs()> read;                   // reads the files
	// Builds a program from the inputs and puts it in use; false with
	// *failure set when the build failed, leaving the program in use.
	std::function<bool(const SceneInputs &, BuildFailure *failure)> build;
};

enum class RebuildOutcome
{
	Unchanged,     // the files hold what the program in use was built from
	StillFailing,  // the files hold what failed last time: not retried
	Built,         // a new program is in use
	Failed,        // the build failed; the program in use stays
	Unsettled,     // a shader looked mid-write: nothing built, said or remembered
};

// Runs one rebuild by the rules above. A failure is reported as an error
// (its file as the header, its message as the text; on *errors as start-up
// prints it, StartUpMessage, so that a driver's log comes under its file's
// name there too) and remembered; an
// unchanged scene or a good build clears the error report. Inputs whose
// shaders had not settled when read (ShadersSettled) are dropped: no build,
// no report either way, nothing remembered, so the next rebuild reads again.
RebuildOutcome RebuildIfChanged(RebuildMemory &memory, BuildReports &reports, const RebuildSteps &steps);

#endif
