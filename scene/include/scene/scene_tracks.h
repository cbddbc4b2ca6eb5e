// The sync tracks the scene sets in its passes: tracks.txt, found by the
// data-file lookup and optional, read again whenever its status changes. A
// good file replaces the tracks in use; a bad one leaves the last good ones
// in use and is reported. A change of tracks never rebuilds a program.
#ifndef SCENE_SCENE_TRACKS_H
#define SCENE_SCENE_TRACKS_H

#include <string>
#include <vector>

#include "report/error.h"
#include "scene/input_files.h"
#include "tracks/tracks.h"

// The data file of the tracks, through the data-file lookup.
extern const char *const kTracksFile;

// The tracks file as last read, and the last good tracks it gave.
struct SceneTrackSet
{
	FileBytes file;          // as last read; path "" while the lookup finds none
	TrackDocument document;  // the last good file's lines
	std::vector<Track> tracks;
	int revision = 0;  // counts the changes of the document in use, comments too
	bool bad = false;  // the file as last read is bad
	std::string passedOver;  // a tracks.txt the lookup passed over, not being a regular file
};

// What a look at the tracks file found.
enum class TracksLook
{
	Unchanged,  // the same tracks: the same file, one still being written, or other comments
	Changed,    // a good file, or none, with other tracks now in use, or after a bad one
	Bad,        // a bad file: the last good tracks stay
};

// A look and, on Bad, the lines to report, each "PATH:LINE: what is wrong"
// or "Could not read PATH: REASON".
struct TracksFinding
{
	TracksLook look = TracksLook::Unchanged;
	Error error;
};

// Looks at the tracks file: reads it again when the lookup finds another file
// or its status changed (a file caught mid-write is left for a later look).
// suppliedNames are the inputs the scene sets itself, which no track may be
// named.
// With settled false, a file that looks mid-write is taken as it is: an
// edit about to be saved over it must start from what is there.
TracksFinding LookAtTracks(SceneTrackSet &set, const std::vector<std::string> &suppliedNames, bool settled = true);

// Makes document the one in use (a good file's, or the studio's edit, which
// the studio saves), counting a revision when its text differs; returns
// whether its tracks differ.
bool UseTrackDocument(SceneTrackSet &set, const TrackDocument &document);

#endif
