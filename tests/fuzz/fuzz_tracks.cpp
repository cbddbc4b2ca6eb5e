// Fuzzes the sync tracks' file: ParseTracks on any bytes, then, for a good
// file, key edits written out and read back. Invariants: a document gives
// back the bytes it was read from, bad lines are reported once each in
// order, every track's keys are in time order with finite values everywhere;
// an edited document's text reads back without error as the same tracks, and
// undoing every edit gives back the original bytes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tracks/track_edit.h"
#include "tracks/tracks.h"

namespace
{
	const std::vector<std::string> kSupplied = {"iTime"};

	void Check(bool holds)
	{
		if(!holds)
			std::abort();
	}

	void CheckTracks(const std::vector<Track> &tracks, double seconds)
	{
		std::vector<float> values;
		EvaluateTracks(tracks, seconds, values);
		for(float value : values)
			Check(std::isfinite(value));
		for(const Track &track : tracks)
			for(size_t index = 1; index < track.keys.size(); ++index)
				Check(track.keys[index - 1].time < track.keys[index].time && track.keys[index].time <= kLastKeyTime);
	}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const std::string input(reinterpret_cast<const char *>(data), size);
	const ParsedTracks parsed = ParseTracks(input, kSupplied);
	Check(SerialiseTracks(parsed.document) == input);
	for(size_t index = 0; index < parsed.errors.size(); ++index)
		Check(parsed.errors[index].line >= 1 &&
		      parsed.errors[index].line <= static_cast<int>(parsed.document.lines.size()) &&
		      (index == 0 || parsed.errors[index - 1].line < parsed.errors[index].line));
	const std::vector<Track> tracks = DocumentTracks(parsed.document);
	CheckTracks(tracks, static_cast<double>(size) / 7.0);
	if(!parsed.errors.empty() || tracks.empty())
		return 0;

	// Edits on the first track's first key and a millisecond after it, and
	// a key of a new track.
	TrackEditor editor{parsed.document, {}, {}};
	const std::string &name = tracks[0].name;
	const double seconds = static_cast<double>(tracks[0].keys[0].time) / 1000.0;
	int edits = 0;
	edits += NudgeKeyValue(editor, name, seconds, 0.1);
	edits += CycleKeyInterpolation(editor, name, seconds);
	edits += KeyCurrentValue(editor, name, seconds + 0.001);
	edits += SetKeyValue(editor, name, seconds + 0.001, static_cast<float>(size));
	edits += KeyCurrentValue(editor, "fuzzTrack", seconds);
	edits += DeleteKey(editor, name, seconds);
	const ParsedTracks edited = ParseTracks(SerialiseTracks(editor.document), kSupplied);
	Check(edited.errors.empty());
	Check(DocumentTracks(edited.document) == DocumentTracks(editor.document));
	CheckTracks(DocumentTracks(editor.document), seconds);
	while(Undo(editor))
		--edits;
	Check(edits == 0 && SerialiseTracks(editor.document) == input);
	return 0;
}
