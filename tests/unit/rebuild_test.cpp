// The rebuild rules and the report-once helper, on a fake build step: no GL,
// no files.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "report/report_once.h"
#include "scene/rebuild.h"

namespace
{
	// One shader's text stands for the scene's files; a build fails on any
	// text that starts with "broken", its first eight characters standing
	// for the driver's log, which start-up and later reports put under the
	// file's name. While settled is false the text reads as caught
	// mid-write.
	struct FakeScene
	{
		std::string onDisk = "good 1";
		bool settled = true;
		int reads = 0;
		int builds = 0;
		std::string inUse;

		RebuildSteps Steps()
		{
			return {
			    [this](const SceneInputs &inputs) { return inputs.fragmentShader.bytes == onDisk; },
			    [this] {
				    ++reads;
				    SceneInputs inputs;
				    inputs.fragmentShader.path = "data/intro.frag";
				    inputs.fragmentShader.bytes = onDisk;
				    inputs.fragmentShader.settled = settled;
				    return inputs;
			    },
			    [this](const SceneInputs &inputs, BuildFailure *failure) {
				    ++builds;
				    if(inputs.fragmentShader.bytes.rfind("broken", 0) == 0)
				    {
					    *failure = {inputs.fragmentShader.path, "log of " + inputs.fragmentShader.bytes.substr(0, 8), true};
					    return false;
				    }
				    inUse = inputs.fragmentShader.bytes;
				    return true;
			    },
			};
		}
	};

	struct Rebuilder
	{
		FakeScene scene;
		RebuildMemory memory;
		std::ostringstream errors;
		BuildReports reports;

		Rebuilder()
		{
			reports.errors = &errors;
		}

		RebuildOutcome Rebuild()
		{
			return RebuildIfChanged(memory, reports, scene.Steps());
		}

		// What the rebuilds printed since the last call.
		std::string Printed()
		{
			const std::string text = errors.str();
			errors.str("");
			return text;
		}
	};
}

TEST(ReportOnce, SaysAMessageOnceWhileItStaysTheSame)
{
	ReportOnce report;
	EXPECT_TRUE(IsNewReport(report, "a"));
	EXPECT_FALSE(IsNewReport(report, "a"));
	EXPECT_TRUE(IsNewReport(report, "b"));
	EXPECT_TRUE(IsNewReport(report, "a")) << "a message that comes back after another is new again";
	EXPECT_TRUE(IsNewReport(report, ""));
	EXPECT_TRUE(IsNewReport(report, "a")) << "the empty message clears the report";
	EXPECT_FALSE(IsNewReport(report, "a"));
}

TEST(Rebuild, FilesThatStillHoldTheProgramInUseAreNotReadOrBuilt)
{
	Rebuilder r;
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Built);
	EXPECT_EQ(r.scene.inUse, "good 1");
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Unchanged);
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Unchanged);
	EXPECT_EQ(r.scene.reads, 1);
	EXPECT_EQ(r.scene.builds, 1);

	r.scene.onDisk = "good 2";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Built);
	EXPECT_EQ(r.scene.inUse, "good 2");
	EXPECT_EQ(r.Printed(), "");
}

TEST(Rebuild, AFailureIsReportedOnceAndNotRetriedUntilItsFilesChange)
{
	Rebuilder r;
	r.Rebuild();
	r.scene.onDisk = "broken A";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Failed);
	EXPECT_EQ(r.Printed(), "data/intro.frag:\nlog of broken A\n");
	EXPECT_EQ(r.scene.inUse, "good 1") << "the last good program stays in use";

	EXPECT_EQ(r.Rebuild(), RebuildOutcome::StillFailing);
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::StillFailing);
	EXPECT_EQ(r.scene.builds, 2) << "the same files are not built again";
	EXPECT_EQ(r.Printed(), "");

	r.scene.onDisk = "broken B";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Failed);
	EXPECT_EQ(r.scene.builds, 3);
	EXPECT_EQ(r.Printed(), "data/intro.frag:\nlog of broken B\n") << "a different failure is new";
}

TEST(Rebuild, TheSameFailureFromChangedFilesIsNotSaidAgain)
{
	Rebuilder r;
	r.scene.onDisk = "broken A";
	r.Rebuild();
	EXPECT_EQ(r.Printed(), "data/intro.frag:\nlog of broken A\n");
	// Each change is built again, but while the failure stays the same it is
	// not said again.
	r.scene.onDisk = "broken A, edited";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Failed);
	r.scene.onDisk = "broken A, edited again";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Failed);
	EXPECT_EQ(r.scene.builds, 3);
	EXPECT_EQ(r.Printed(), "");
}

TEST(Rebuild, AGoodBuildClearsTheFailureSoThatItIsSaidAgainLater)
{
	Rebuilder r;
	r.scene.onDisk = "broken A";
	r.Rebuild();
	r.scene.onDisk = "good 1";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Built);
	r.scene.onDisk = "broken A";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Failed);
	EXPECT_EQ(r.Printed(), "data/intro.frag:\nlog of broken A\ndata/intro.frag:\nlog of broken A\n");
}

TEST(Rebuild, FilesRestoredToTheProgramInUseClearTheFailureWithoutABuild)
{
	Rebuilder r;
	r.Rebuild();
	r.scene.onDisk = "broken A";
	r.Rebuild();
	r.scene.onDisk = "good 1";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Unchanged);
	EXPECT_EQ(r.scene.builds, 2);
	r.scene.onDisk = "broken A";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Failed) << "the failure is no longer remembered";
	EXPECT_EQ(r.Printed(), "data/intro.frag:\nlog of broken A\ndata/intro.frag:\nlog of broken A\n");
}

// An editor that saves by rewriting in place leaves the file empty, then
// half written: such a read is neither built, nor said, nor remembered as a
// failure, and the next rebuild reads again.
TEST(Rebuild, AShaderCaughtMidWriteIsLeftUntilItSettles)
{
	Rebuilder r;
	r.Rebuild();
	r.scene.onDisk = "";
	r.scene.settled = false;
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Unsettled);
	r.scene.onDisk = "broken half";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Unsettled);
	EXPECT_EQ(r.scene.builds, 1);
	EXPECT_EQ(r.scene.inUse, "good 1") << "the last good program stays in use";
	EXPECT_EQ(r.Printed(), "");

	r.scene.onDisk = "good 2";
	r.scene.settled = true;
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Built);
	EXPECT_EQ(r.scene.inUse, "good 2");

	// A real error is still said once, and a save in progress after it
	// neither clears it nor says it again.
	r.scene.onDisk = "broken A";
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Failed);
	r.scene.onDisk = "";
	r.scene.settled = false;
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::Unsettled);
	r.scene.onDisk = "broken A";
	r.scene.settled = true;
	EXPECT_EQ(r.Rebuild(), RebuildOutcome::StillFailing) << "the failure was remembered through the save";
	EXPECT_EQ(r.Printed(), "data/intro.frag:\nlog of broken A\n");
	EXPECT_EQ(r.scene.builds, 3);
}
