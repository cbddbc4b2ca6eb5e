// The studio's keys for sync tracks, apart from the window: which track is
// selected, the number being typed, and what each command does to the tracks
// file's document (track_edit.h), at the time of the frame shown.
#ifndef STUDIO_TRACK_KEYS_H
#define STUDIO_TRACK_KEYS_H

#include <optional>
#include <string>
#include <vector>

#include "tracks/track_edit.h"

// What a key asks of the tracks.
enum class TrackCommand
{
	NextTrack,      // Tab: the first Tab selects the first track
	PreviousTrack,  // Shift+Tab
	SetKey,         // k: a step key holding the value there
	StartTyping,    // =
	Type,           // a digit, '-' or '.' while typing
	Erase,          // Backspace while typing
	EndTyping,      // Return: the key there takes the number typed
	CancelTyping,   // Escape while typing
	Raise,          // ]: +0.1
	Lower,          // [: -0.1
	RaiseMore,      // Shift+]: +1
	LowerMore,      // Shift+[: -1
	CycleInterpolation,  // i
	DeleteKey,      // Delete
	Undo,           // Ctrl+Z
	Redo,           // Ctrl+Shift+Z
};

struct TrackKeys
{
	TrackEditor editor;
	std::string selected;  // "" until the first Tab
	bool typing = false;
	std::string typed;
};

// The number typed so far, when it is one.
std::optional<float> TypedValue(const TrackKeys &keys);

// Whether the command may change the document, and so be saved over the file.
bool MayEdit(TrackCommand command);

// Carries out a command at the frame shown, frameSeconds being its time, on
// a selected track among names (the tracks offered, in order); character is
// the one typed, for Type. A key that falls on that frame (such as one on a
// beat between two frames) is the key the command acts on. Returns whether
// the document changed, and is to be saved. Commands that need a track do
// nothing without one.
bool ApplyTrackCommand(TrackKeys &keys, TrackCommand command, const std::vector<std::string> &names,
                       double frameSeconds, char character = 0);

// The selected track's first key on a frame after the frame shown at
// frameSeconds (forward), or last on one before it: the time to go to, or
// none.
std::optional<double> TrackKeyTimeFrom(const TrackKeys &keys, double frameSeconds, bool forward);

// The selected track among tracks (the document's, DocumentTracks), or null
// when none is selected or it has no key yet.
const Track *SelectedTrack(const TrackKeys &keys, const std::vector<Track> &tracks);

// The status line's words for the tracks, tracks being the document's:
// "glow 1.5 (key, smooth)", "glow = 1.2_" while typing, "" with no track
// selected.
std::string TrackStatus(const TrackKeys &keys, const std::vector<Track> &tracks, double seconds);

#endif
