// The scene's look at the tracks file: a good file in use, a bad one reported
// with the last good tracks kept, the same tracks after a bad file a change.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "scene/scene_tracks.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

namespace
{
	class SceneTracks : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			previous = fs::current_path();
			fs::create_directory(scratch.path / "data");
			fs::current_path(scratch.path);
		}
		void TearDown() override
		{
			fs::current_path(previous);
		}
		// Writes data/tracks.txt as a save a second ago, settled.
		static void Save(const std::string &text)
		{
			std::ofstream("data/tracks.txt", std::ios::binary) << text;
			fs::last_write_time("data/tracks.txt", fs::file_time_type::clock::now() - std::chrono::seconds(1));
		}
		TracksLook Look()
		{
			const TracksFinding finding = LookAtTracks(set, {"iTime"});
			error = finding.error;
			return finding.look;
		}

		ScratchFolder scratch{"scene-tracks"};
		fs::path previous;
		SceneTrackSet set;
		Error error;
	};
}

TEST_F(SceneTracks, AGoodFileIsUsedABadOneKeepsTheLastGoodTracksUntilMended)
{
	EXPECT_EQ(Look(), TracksLook::Unchanged);  // no file: no tracks
	Save("glow 1 0.5 step\n");
	EXPECT_EQ(Look(), TracksLook::Changed);
	ASSERT_EQ(set.tracks.size(), 1u);
	EXPECT_EQ(Look(), TracksLook::Unchanged);

	Save("glow 1 0.5 step\niTime 2 1 linear\n");
	EXPECT_EQ(Look(), TracksLook::Bad);
	EXPECT_EQ(error.message, "data/tracks.txt:2: \"iTime\" is an input the scene supplies");
	EXPECT_EQ(set.tracks.size(), 1u);

	// Mended to the same tracks: a change all the same, so that the report goes.
	Save("# mended\nglow 1 0.5 step\n");
	EXPECT_EQ(Look(), TracksLook::Changed);
	const int revision = set.revision;
	// Another comment alone is a new revision of the text, not of the tracks.
	Save("# mended again\nglow 1 0.5 step\n");
	EXPECT_EQ(Look(), TracksLook::Unchanged);
	EXPECT_EQ(set.revision, revision + 1);

	fs::remove("data/tracks.txt");
	EXPECT_EQ(Look(), TracksLook::Changed);
	EXPECT_TRUE(set.tracks.empty());

	// A FIFO of the name, which the lookup passes over, is said, never waited on.
	ASSERT_EQ(mkfifo("data/tracks.txt", 0600), 0);
	EXPECT_EQ(Look(), TracksLook::Bad);
	EXPECT_EQ(error.message, "Could not read data/tracks.txt: not a regular file");
	EXPECT_EQ(Look(), TracksLook::Unchanged) << "said once";
}
