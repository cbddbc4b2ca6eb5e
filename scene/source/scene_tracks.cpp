// The sync tracks the scene sets: see scene_tracks.h.
#include "scene/scene_tracks.h"

#include <sys/stat.h>

const char *const kTracksFile = "tracks.txt";

namespace
{
	// Whether a look at the status alone finds the file as set.file saw it:
	// found in the same place with the same stamp, or still not found.
	bool StampUnchanged(const SceneTrackSet &set)
	{
		return DataFileStampMatches(kTracksFile, set.file);
	}

	// Where the lookup found no file: a FIFO, directory or device of the
	// name that it passed over ("data/tracks.txt"), which is no tracks file
	// but a mistake to say; "" when there is none.
	std::string PassedOver()
	{
		for(const std::string folder : {"data/", "../data/"})
		{
			struct stat status;
			const std::string path = folder + kTracksFile;
			if(stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
				return path;
		}
		return "";
	}
}

TracksFinding LookAtTracks(SceneTrackSet &set, const std::vector<std::string> &suppliedNames, bool settled)
{
	if(StampUnchanged(set))
		return {TracksLook::Unchanged, {}};
	FileBytes file = ReadDataFile(kTracksFile, EmptyFile::Content);
	if(file.found && file.complete && !file.settled && settled)
		return {TracksLook::Unchanged, {}};
	const std::string passedOver = !file.found && file.path.empty() ? PassedOver() : "";
	const bool sameFile = file == set.file && passedOver == set.passedOver;
	set.file = file;
	set.passedOver = passedOver;
	if(sameFile)
		return {TracksLook::Unchanged, {}};
	// A good file after a bad one is a change, whatever its tracks.
	const bool wasBad = set.bad;
	set.bad = false;
	if(!file.found && file.path.empty() && passedOver.empty())
		return {UseTrackDocument(set, TrackDocument()) || wasBad ? TracksLook::Changed : TracksLook::Unchanged, {}};
	set.bad = true;
	if(!passedOver.empty())
		return {TracksLook::Bad, {"Could not read " + passedOver + ": not a regular file"}};
	const Error unreadable = DataFileFailure(file);
	if(unreadable)
		return {TracksLook::Bad, unreadable};
	const ParsedTracks parsed = ParseTracks(file.bytes, suppliedNames);
	if(!parsed.errors.empty())
	{
		TracksFinding finding = {TracksLook::Bad, {}};
		for(const TrackError &bad : parsed.errors)
			finding.error.message += (finding.error ? "\n" : "") + FormatTrackError(file.path, bad);
		return finding;
	}
	set.bad = false;
	return {UseTrackDocument(set, parsed.document) || wasBad ? TracksLook::Changed : TracksLook::Unchanged, {}};
}

bool UseTrackDocument(SceneTrackSet &set, const TrackDocument &document)
{
	if(SerialiseTracks(document) != SerialiseTracks(set.document))
		++set.revision;
	set.document = document;
	std::vector<Track> tracks = DocumentTracks(document);
	if(tracks == set.tracks)
		return false;
	set.tracks = std::move(tracks);
	return true;
}
