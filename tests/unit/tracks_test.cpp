// Sync tracks without GL: the file read and written back, the values at a
// frame's time, the studio's key edits and their undo.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "tracks/track_edit.h"
#include "tracks/tracks.h"

namespace
{
	const std::vector<std::string> kSupplied = {"iTime", "width"};

	// The time of frame n as the frame loop has it: n steps of 1/60 s.
	double FrameTime(int frame)
	{
		double seconds = 0.0;
		for(int step = 0; step < frame; ++step)
			seconds += 1.0 / 60.0;
		return seconds;
	}

	TrackEditor Editing(const std::string &text)
	{
		const ParsedTracks parsed = ParseTracks(text, kSupplied);
		EXPECT_TRUE(parsed.errors.empty()) << text;
		return TrackEditor{parsed.document, {}, {}};
	}
}

TEST(TracksFile, ReadsKeysAroundCommentsBlanksAndLineEnds)
{
	const std::string text = "\xEF\xBB\xBF# glow rises\r\n"
	                         "glow 2 +1.5 smooth  # peak\r\n"
	                         "\n"
	                         "\tspin\t.5\t-2e-1\tramp\t\n"
	                         "glow 1.0004 1e3 linear\n"
	                         "glow 30. 0 step\n"
	                         "spin 0.0005 7 step";
	const ParsedTracks parsed = ParseTracks(text, kSupplied);
	ASSERT_TRUE(parsed.errors.empty()) << parsed.errors[0].what;
	const std::vector<Track> expected = {
	    {"glow",
	     {{1000, 1000.0f, Interpolation::Linear},
	      {2000, 1.5f, Interpolation::Smooth},
	      {30000, 0.0f, Interpolation::Step}}},
	    {"spin", {{1, 7.0f, Interpolation::Step}, {500, -0.2f, Interpolation::Ramp}}},
	};
	EXPECT_EQ(DocumentTracks(parsed.document), expected);
	EXPECT_EQ(SerialiseTracks(parsed.document), text);
}

TEST(TracksFile, EveryBadLineIsReportedWithWhatIsWrong)
{
	const struct
	{
		const char *line;
		const char *what;
	} cases[] = {
	    {"glow 1.0 2.0", "expected NAME TIME VALUE INTERPOLATION"},
	    {"glow 1.0 2.0 step extra", "expected NAME TIME VALUE INTERPOLATION"},
	    {"2x 1 1 step", "\"2x\" is not a GLSL name"},
	    {"gl_glow 1 1 step", "\"gl_glow\" is not a GLSL name: gl_ begins the GL's own"},
	    {"a__b 1 1 step", "\"a__b\" is not a GLSL name: GLSL reserves names with __"},
	    {"float 1 1 step", "\"float\" is a word GLSL reserves"},
	    {"filter 1 1 step", "\"filter\" is a word GLSL reserves"},
	    {"iTime 1 1 step", "\"iTime\" is an input the scene supplies"},
	    {"glow 1e3 1 step", "the time \"1e3\" is not a number of seconds, such as 30.000"},
	    {"glow -1 1 step", "the time \"-1\" is negative"},
	    {"glow 999999.9996 1 step", "the time \"999999.9996\" is past 999999.999 s"},
	    {"glow 1 nan step", "the value \"nan\" is not a number"},
	    {"glow 1 0x1p3 step", "the value \"0x1p3\" is not a number"},
	    {"glow 1 1e39 step", "the value \"1e39\" is outside a float's range"},
	    {"glow 1 1 cubic", "unknown interpolation \"cubic\" (step, linear, smooth or ramp)"},
	    {"glow 5.0001 1 step", "\"glow\" has a key at 5.000 already, on line 1"},
	};
	std::string text = "glow 5 0 step\n";
	for(const auto &bad : cases)
		text += std::string(bad.line) + "\n";
	const ParsedTracks parsed = ParseTracks(text, kSupplied);
	ASSERT_EQ(parsed.errors.size(), std::size(cases));
	for(size_t index = 0; index < std::size(cases); ++index)
	{
		EXPECT_EQ(parsed.errors[index].line, static_cast<int>(index) + 2) << cases[index].line;
		EXPECT_EQ(parsed.errors[index].what, cases[index].what) << cases[index].line;
	}
	EXPECT_EQ(FormatTrackError("data/tracks.txt", parsed.errors[2]), "data/tracks.txt:4: \"2x\" is not a GLSL name");
	EXPECT_EQ(DocumentTracks(parsed.document).size(), 1u) << "a bad line holds no key";
}

TEST(TrackValue, HoldsTheEndsAndFollowsEachInterpolation)
{
	Track track{"glow", {{1000, 2.0f, Interpolation::Step}, {2000, 6.0f, Interpolation::Step}}};
	EXPECT_EQ(TrackValue(track, -5.0), 2.0f) << "before the first key";
	EXPECT_EQ(TrackValue(track, 99.0), 6.0f) << "after the last key";
	EXPECT_EQ(TrackValue(Track{"none", {}}, 1.0), kUnkeyedTrackValue);
	// A quarter of the way from 2 to 6.
	const struct
	{
		Interpolation interpolation;
		float value;
	} cases[] = {
	    {Interpolation::Step, 2.0f},
	    {Interpolation::Linear, 3.0f},
	    {Interpolation::Smooth, 2.0f + 4.0f * 0.15625f},
	    {Interpolation::Ramp, 2.25f},
	};
	for(const auto &expected : cases)
	{
		track.keys[0].interpolation = expected.interpolation;
		EXPECT_FLOAT_EQ(TrackValue(track, 1.25), expected.value) << InterpolationName(expected.interpolation);
		EXPECT_EQ(TrackValue(track, 2.0), 6.0f) << "the next key's value at its time";
	}
}

TEST(TrackValue, AKeyAtThirtySecondsHoldsFromFrame1800)
{
	const std::vector<Track> tracks = {
	    {"cut", {{0, 0.0f, Interpolation::Step}, {30000, 1.0f, Interpolation::Step}}},
	    {"fade", {{29000, 0.0f, Interpolation::Linear}, {30000, 5.0f, Interpolation::Step}}},
	};
	ASSERT_LT(FrameTime(1800), 30.0);
	std::vector<float> values;
	EvaluateTracks(tracks, FrameTime(1800), values);
	EXPECT_EQ(values, (std::vector<float>{1.0f, 5.0f}));
	EvaluateTracks(tracks, FrameTime(1799), values);
	EXPECT_EQ(values[0], 0.0f);
	EXPECT_EQ(values[1], 5.0f * 983.0f / 1000.0f) << "taken at 29.983 s";
}

TEST(TracksSave, EditsRewriteOnlyTheirLinesAndKeepTracksInTimeOrder)
{
	TrackEditor editor = Editing("# intro\r\n"
	                             "  glow 1.000 0 linear   # fade in\r\n"
	                             "spin 0 1 step\r\n"
	                             "glow 4.000 2 step\r\n"
	                             "\r\n"
	                             "spin 9 0 step");
	EXPECT_TRUE(SetKeyValue(editor, "glow", 1.0, 0.5f));
	EXPECT_TRUE(SetKeyValue(editor, "glow", 2.5, 3.0f));
	EXPECT_TRUE(SetKeyValue(editor, "glow", 0.25, -1.0f));
	EXPECT_TRUE(SetKeyValue(editor, "zoom", FrameTime(1800), 1e-3f));
	EXPECT_TRUE(DeleteKey(editor, "spin", 0.0));
	EXPECT_EQ(SerialiseTracks(editor.document), "# intro\r\n"
	                                            "glow 0.250 -1 step\r\n"
	                                            "  glow 1.000 0.5 linear   # fade in\r\n"
	                                            "glow 2.500 3 step\r\n"
	                                            "glow 4.000 2 step\r\n"
	                                            "\r\n"
	                                            "spin 9 0 step\r\n"
	                                            "zoom 30.000 0.001 step\r\n");
	EXPECT_TRUE(ParseTracks(SerialiseTracks(editor.document), kSupplied).errors.empty());

	// A key before the first line takes the file's byte-order mark over.
	TrackEditor marked = Editing("\xEF\xBB\xBFglow 30 1 step\n");
	EXPECT_TRUE(KeyCurrentValue(marked, "glow", 10.0));
	EXPECT_EQ(SerialiseTracks(marked.document), "\xEF\xBB\xBFglow 10.000 1 step\nglow 30 1 step\n");
	EXPECT_TRUE(SetKeyValue(marked, "glow", 30.0, 2.0f));
	EXPECT_EQ(SerialiseTracks(marked.document), "\xEF\xBB\xBFglow 10.000 1 step\nglow 30.000 2 step\n");
}

TEST(TrackEdit, KeysAtTheMillisecondOfTheFrame)
{
	TrackEditor editor = Editing("glow 29 0 linear\nglow 31 4 step\n");
	EXPECT_TRUE(KeyCurrentValue(editor, "glow", FrameTime(1800)));
	EXPECT_FALSE(KeyCurrentValue(editor, "glow", 30.0)) << "a key stands there already";
	EXPECT_TRUE(KeyCurrentValue(editor, "fresh", 1.0));
	EXPECT_EQ(DocumentTracks(editor.document)[0].keys, (std::vector<TrackKey>{{1000, 0.0f, Interpolation::Step}}));
	EXPECT_EQ(DocumentTracks(editor.document)[1].keys[1], (TrackKey{30000, 2.0f, Interpolation::Step}));

	EXPECT_TRUE(SetKeyValue(editor, "glow", 30.0, 0.6f));
	EXPECT_FALSE(SetKeyValue(editor, "glow", 30.0, 0.6f)) << "the same value";
	EXPECT_FALSE(SetKeyValue(editor, "glow", 30.0, NAN));
	EXPECT_TRUE(NudgeKeyValue(editor, "glow", 30.0, 0.1));
	EXPECT_FALSE(NudgeKeyValue(editor, "glow", 30.5, 1.0)) << "no key there";
	const std::vector<Interpolation> cycle = {Interpolation::Linear, Interpolation::Smooth, Interpolation::Ramp,
	                                          Interpolation::Step};
	for(Interpolation interpolation : cycle)
	{
		EXPECT_TRUE(CycleKeyInterpolation(editor, "glow", FrameTime(1800)));
		EXPECT_EQ(DocumentTracks(editor.document)[1].keys[1].interpolation, interpolation);
	}
	EXPECT_EQ(SerialiseTracks(editor.document), "glow 29 0 linear\nglow 30.000 0.7 step\nglow 31 4 step\n"
	                                            "fresh 1.000 0 step\n");

	EXPECT_EQ(NextKeyTime(editor.document, "glow", FrameTime(1800)), 31.0);
	EXPECT_EQ(PreviousKeyTime(editor.document, "glow", FrameTime(1800)), 29.0);
	EXPECT_EQ(NextKeyTime(editor.document, "glow", 31.0), std::nullopt);
	EXPECT_EQ(PreviousKeyTime(editor.document, "fresh", 1.0), std::nullopt);
	EXPECT_TRUE(DeleteKey(editor, "glow", FrameTime(1800)));
	EXPECT_FALSE(DeleteKey(editor, "glow", 30.0));
}

TEST(TrackEdit, UndoAndRedoRestoreWholeDocuments)
{
	const std::string original = "glow 1 0 step # keep\n";
	TrackEditor editor = Editing(original);
	EXPECT_FALSE(Undo(editor));
	ASSERT_TRUE(SetKeyValue(editor, "glow", 1.0, 5.0f));
	const std::string edited = SerialiseTracks(editor.document);
	ASSERT_TRUE(Undo(editor));
	EXPECT_EQ(SerialiseTracks(editor.document), original);
	ASSERT_TRUE(Redo(editor));
	EXPECT_EQ(SerialiseTracks(editor.document), edited);
	ASSERT_TRUE(Undo(editor));
	ASSERT_TRUE(DeleteKey(editor, "glow", 1.0));
	EXPECT_FALSE(Redo(editor)) << "a new edit forgets what was undone";

	// A reload of what the studio saved is no edit; another text is one.
	EXPECT_FALSE(ReplaceDocument(editor, ParseTracks(SerialiseTracks(editor.document), kSupplied).document));
	EXPECT_TRUE(ReplaceDocument(editor, ParseTracks("spin 2 1 ramp\n", kSupplied).document));
	ASSERT_TRUE(Undo(editor));
	EXPECT_EQ(SerialiseTracks(editor.document), "");
	ASSERT_TRUE(Undo(editor));
	EXPECT_EQ(SerialiseTracks(editor.document), original);

	for(size_t edit = 0; edit < kUndoDepth + 5; ++edit)
		ASSERT_TRUE(SetKeyValue(editor, "glow", 1.0, static_cast<float>(edit + 1)));
	size_t undone = 0;
	while(Undo(editor))
		++undone;
	EXPECT_EQ(undone, kUndoDepth);
	EXPECT_EQ(DocumentTracks(editor.document)[0].keys[0].value, 5.0f) << "the oldest edits are forgotten";
}

TEST(TrackNames, ListsAlphabeticallyWithoutRepeatsOrUnusableNames)
{
	const TrackDocument document =
	    ParseTracks("zoom 0 0 step\nGlow 0 0 step\nbloom 0 0 step\nzoom 1 0 step\n", kSupplied).document;
	EXPECT_EQ(TrackNames(document), (std::vector<std::string>{"bloom", "Glow", "zoom"}));
	EXPECT_EQ(DocumentTracks(document)[1].name, "Glow") << "the tracks in the same order";
	EXPECT_EQ(MergeTrackNames(TrackNames(document), {"glow", "zoom", "iTime", "gl_Foo", "Alpha"}, kSupplied),
	          (std::vector<std::string>{"Alpha", "bloom", "Glow", "glow", "zoom"}));
}
