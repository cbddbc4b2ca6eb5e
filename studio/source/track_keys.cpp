// The studio's keys for sync tracks: see track_keys.h.
#include "studio/track_keys.h"

#include <algorithm>
#include <cstdlib>

#include "frames/capture.h"

namespace
{
	// The track after (step 1) or before (step -1) the selected one, going
	// round; the first or the last when none is selected or it is gone.
	std::string Neighbour(const std::vector<std::string> &names, const std::string &selected, int step)
	{
		if(names.empty())
			return "";
		const auto at = std::find(names.begin(), names.end(), selected);
		if(at == names.end())
			return step > 0 ? names.front() : names.back();
		const int count = static_cast<int>(names.size());
		const int index = (static_cast<int>(at - names.begin()) + step + count) % count;
		return names[static_cast<size_t>(index)];
	}

	// The time of track name's key that falls on the frame shown at seconds
	// (a key between two frames, on a beat, belongs to the nearer), else
	// seconds itself: where an edit at that frame acts.
	double KeyTimeInFrame(const TrackDocument &document, const std::string &name, double seconds)
	{
		const int frame = CaptureFrameAt(seconds);
		for(const TrackLine &line : document.lines)
		{
			const double time = static_cast<double>(line.key.time) / 1000.0;
			if(line.holdsKey && line.name == name && CaptureFrameAt(time) == frame)
				return time;
		}
		return seconds;
	}

}

std::optional<float> TypedValue(const TrackKeys &keys)
{
	if(keys.typed.empty())
		return std::nullopt;
	char *end = nullptr;
	const float value = std::strtof(keys.typed.c_str(), &end);
	if(*end != '\0')
		return std::nullopt;
	return value;
}

bool MayEdit(TrackCommand command)
{
	switch(command)
	{
	case TrackCommand::NextTrack:
	case TrackCommand::PreviousTrack:
	case TrackCommand::StartTyping:
	case TrackCommand::Type:
	case TrackCommand::Erase:
	case TrackCommand::CancelTyping: return false;
	default: return true;
	}
}

bool ApplyTrackCommand(TrackKeys &keys, TrackCommand command, const std::vector<std::string> &names,
                       double frameSeconds, char character)
{
	const std::string &name = keys.selected;
	const double seconds = KeyTimeInFrame(keys.editor.document, name, frameSeconds);
	switch(command)
	{
	case TrackCommand::NextTrack: keys.selected = Neighbour(names, keys.selected, 1); return false;
	case TrackCommand::PreviousTrack: keys.selected = Neighbour(names, keys.selected, -1); return false;
	case TrackCommand::StartTyping:
		keys.typing = !name.empty();
		keys.typed.clear();
		return false;
	case TrackCommand::Type:
		if(keys.typing && keys.typed.size() < 32)
			keys.typed += character;
		return false;
	case TrackCommand::Erase:
		if(!keys.typed.empty())
			keys.typed.pop_back();
		return false;
	case TrackCommand::CancelTyping: keys.typing = false; return false;
	case TrackCommand::EndTyping:
	{
		if(!keys.typing)
			return false;
		keys.typing = false;
		const std::optional<float> value = TypedValue(keys);
		return value && !name.empty() && SetKeyValue(keys.editor, name, seconds, *value);
	}
	case TrackCommand::Undo: return Undo(keys.editor);
	case TrackCommand::Redo: return Redo(keys.editor);
	default: break;
	}
	if(name.empty())
		return false;
	switch(command)
	{
	case TrackCommand::SetKey: return KeyCurrentValue(keys.editor, name, seconds);
	case TrackCommand::Raise: return NudgeKeyValue(keys.editor, name, seconds, 0.1);
	case TrackCommand::Lower: return NudgeKeyValue(keys.editor, name, seconds, -0.1);
	case TrackCommand::RaiseMore: return NudgeKeyValue(keys.editor, name, seconds, 1.0);
	case TrackCommand::LowerMore: return NudgeKeyValue(keys.editor, name, seconds, -1.0);
	case TrackCommand::CycleInterpolation: return CycleKeyInterpolation(keys.editor, name, seconds);
	case TrackCommand::DeleteKey: return DeleteKey(keys.editor, name, seconds);
	default: return false;
	}
}

std::optional<double> TrackKeyTimeFrom(const TrackKeys &keys, double frameSeconds, bool forward)
{
	if(keys.selected.empty())
		return std::nullopt;
	// Keys on the frame shown are passed over: the next one is on another.
	const int frame = CaptureFrameAt(frameSeconds);
	std::optional<double> time = frameSeconds;
	do
		time = forward ? NextKeyTime(keys.editor.document, keys.selected, *time)
		               : PreviousKeyTime(keys.editor.document, keys.selected, *time);
	while(time && CaptureFrameAt(*time) == frame);
	return time;
}

const Track *SelectedTrack(const TrackKeys &keys, const std::vector<Track> &tracks)
{
	for(const Track &track : tracks)
		if(!keys.selected.empty() && track.name == keys.selected)
			return &track;
	return nullptr;
}

std::string TrackStatus(const TrackKeys &keys, const std::vector<Track> &tracks, double seconds)
{
	if(keys.selected.empty())
		return "";
	if(keys.typing)
		return keys.selected + " = " + keys.typed + "_";
	const Track *track = SelectedTrack(keys, tracks);
	if(!track)
		return keys.selected + " " + FormatKeyValue(kUnkeyedTrackValue) + " (no keys)";
	std::string status = keys.selected + " " + FormatKeyValue(TrackValue(*track, seconds));
	const int frame = CaptureFrameAt(seconds);
	for(const TrackKey &key : track->keys)
		if(CaptureFrameAt(static_cast<double>(key.time) / 1000.0) == frame)
			status += std::string(" (key, ") + InterpolationName(key.interpolation) + ")";
	return status;
}
