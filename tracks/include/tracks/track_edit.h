// Editing sync tracks as the studio does, key by key at the current time,
// with undo and redo. Each edit works on a TrackEditor's document and says
// whether it changed it; after a change the caller writes
// SerialiseTracks(editor.document) to the file and takes its tracks afresh
// with DocumentTracks.
//
// "The key at a time" is the track's key whose time is KeyTime(seconds): the
// time rounded to the millisecond, as a key set then is stored. A changed
// key's line is rewritten in place with its comment kept; a new key goes
// right after the last line of its track with an earlier key (before the
// track's first line when it is the earliest), or at the end of the file for
// a track the file has no key of; a deleted key's line goes. Track names are
// taken as given: those that MergeTrackNames lists are the ones a saved file
// reads back with.
#ifndef TRACKS_TRACK_EDIT_H
#define TRACKS_TRACK_EDIT_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "tracks/tracks.h"

// The most edits that Undo can take back; the oldest is forgotten past it.
constexpr size_t kUndoDepth = 1000;

// A document being edited with its history: the whole document before each
// edit (the latest last), and after each undone one. Each step held costs a
// copy of the document, about 200 bytes a line.
struct TrackEditor
{
	TrackDocument document;
	std::deque<TrackDocument> undo;
	std::deque<TrackDocument> redo;
};

// Sets a step key on track name at seconds holding the value the track has
// there (kUnkeyedTrackValue for a track without keys). False, with nothing
// changed, when the track has a key there already.
bool KeyCurrentValue(TrackEditor &editor, const std::string &name, double seconds);

// Gives the key at seconds the value, setting a step key there when there is
// none. False when the key has that value already, or value is not finite.
bool SetKeyValue(TrackEditor &editor, const std::string &name, double seconds, float value);

// Adds delta to the value of the key at seconds, taken as the value is
// written (so that 0.6 + 0.1 writes 0.7, not 0.70000005). False when there
// is no key there, or the sum is past a float's range or is the same float.
bool NudgeKeyValue(TrackEditor &editor, const std::string &name, double seconds, double delta);

// Gives the key at seconds the next interpolation (NextInterpolation). False
// when there is no key there.
bool CycleKeyInterpolation(TrackEditor &editor, const std::string &name, double seconds);

// Deletes the key at seconds. False when there is none.
bool DeleteKey(TrackEditor &editor, const std::string &name, double seconds);

// The time in seconds (milliseconds / 1000) of track name's first key after,
// or last key before, the millisecond of seconds; none when there is none.
std::optional<double> NextKeyTime(const TrackDocument &document, const std::string &name, double seconds);
std::optional<double> PreviousKeyTime(const TrackDocument &document, const std::string &name, double seconds);

// Puts the document back as it was before the latest edit (or after the
// latest undone one). False when there is nothing to undo (redo).
bool Undo(TrackEditor &editor);
bool Redo(TrackEditor &editor);

// Takes a document read afresh from the file (changed in a text editor),
// one that ParseTracks found no error in, as an edit: Undo brings the one before back. False, with the history kept as
// it is, when it writes the same text as the current one, as a file the
// studio has just saved does.
bool ReplaceDocument(TrackEditor &editor, TrackDocument document);

#endif
