// The studio's track keys: selecting, typing a value, nudging, undoing.
#include <gtest/gtest.h>

#include "frames/capture.h"
#include "studio/track_keys.h"

TEST(TrackKeys, SelectTypeNudgeAndUndoAtTheFrameShown)
{
	TrackKeys keys;
	const std::vector<std::string> names = {"flash", "glow"};
	// Without a track nothing is keyed, and = types nothing.
	EXPECT_FALSE(ApplyTrackCommand(keys, TrackCommand::SetKey, names, 1.0));
	ApplyTrackCommand(keys, TrackCommand::StartTyping, names, 1.0);
	EXPECT_FALSE(keys.typing);

	ApplyTrackCommand(keys, TrackCommand::PreviousTrack, names, 1.0);
	EXPECT_EQ(keys.selected, "glow");
	ApplyTrackCommand(keys, TrackCommand::NextTrack, names, 1.0);
	EXPECT_EQ(keys.selected, "flash");

	ApplyTrackCommand(keys, TrackCommand::StartTyping, names, 1.0);
	for(char c : std::string("-1.25x"))
		ApplyTrackCommand(keys, TrackCommand::Type, names, 1.0, c);
	ApplyTrackCommand(keys, TrackCommand::Erase, names, 1.0);
	EXPECT_EQ(TrackStatus(keys, DocumentTracks(keys.editor.document), 1.0), "flash = -1.25_");
	EXPECT_TRUE(ApplyTrackCommand(keys, TrackCommand::EndTyping, names, 1.0));
	EXPECT_EQ(SerialiseTracks(keys.editor.document), "flash 1.000 -1.25 step\n");
	EXPECT_EQ(TrackStatus(keys, DocumentTracks(keys.editor.document), 1.0), "flash -1.25 (key, step)");

	EXPECT_TRUE(ApplyTrackCommand(keys, TrackCommand::RaiseMore, names, 1.0));
	EXPECT_TRUE(ApplyTrackCommand(keys, TrackCommand::CycleInterpolation, names, 1.0));
	EXPECT_EQ(SerialiseTracks(keys.editor.document), "flash 1.000 -0.25 linear\n");
	// A nudge where no key is changes nothing; a cancelled number neither.
	EXPECT_FALSE(ApplyTrackCommand(keys, TrackCommand::Raise, names, 2.0));
	ApplyTrackCommand(keys, TrackCommand::StartTyping, names, 2.0);
	ApplyTrackCommand(keys, TrackCommand::Type, names, 2.0, '5');
	ApplyTrackCommand(keys, TrackCommand::CancelTyping, names, 2.0);
	EXPECT_FALSE(ApplyTrackCommand(keys, TrackCommand::EndTyping, names, 2.0));

	EXPECT_TRUE(ApplyTrackCommand(keys, TrackCommand::Undo, names, 1.0));
	EXPECT_EQ(SerialiseTracks(keys.editor.document), "flash 1.000 -0.25 step\n");
	EXPECT_EQ(TrackKeyTimeFrom(keys, 0.0, true), 1.0);
	EXPECT_EQ(TrackKeyTimeFrom(keys, 0.0, false), std::nullopt);
}

// A key on a beat between two frames (31.875 s, frame 1912.5) belongs to
// frame 1913: an edit there acts on it, and going key to key passes it.
TEST(TrackKeys, AKeyBetweenFramesIsTheKeyOfTheNearerFrame)
{
	TrackKeys keys;
	keys.editor.document = ParseTracks("flash 31.875 1 step\nflash 40 0 step\n", {}).document;
	keys.selected = "flash";
	const double frame1913 = CaptureFrameSeconds(1913);
	EXPECT_TRUE(ApplyTrackCommand(keys, TrackCommand::Raise, {"flash"}, frame1913));
	EXPECT_EQ(SerialiseTracks(keys.editor.document), "flash 31.875 1.1 step\nflash 40 0 step\n");
	EXPECT_EQ(TrackStatus(keys, DocumentTracks(keys.editor.document), frame1913), "flash 1.1 (key, step)");
	EXPECT_EQ(TrackKeyTimeFrom(keys, frame1913, true), 40.0);
	EXPECT_EQ(TrackKeyTimeFrom(keys, frame1913, false), std::nullopt);
	EXPECT_EQ(TrackKeyTimeFrom(keys, CaptureFrameSeconds(1912), true), 31.875);
}
