// Editing sync tracks key by key, with undo: see track_edit.h.
#include "tracks/track_edit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace
{
	// The line that holds track name's key at the millisecond time, or
	// lines.size() when none does.
	size_t KeyLine(const TrackDocument &document, const std::string &name, int64_t time)
	{
		const auto line = std::find_if(document.lines.begin(), document.lines.end(), [&](const TrackLine &line) {
			return line.holdsKey && line.key.time == time && line.name == name;
		});
		return static_cast<size_t>(line - document.lines.begin());
	}

	Track TrackOf(const TrackDocument &document, const std::string &name)
	{
		Track track{name, {}};
		for(const TrackLine &line : document.lines)
			if(line.holdsKey && line.name == name)
				track.keys.push_back(line.key);
		std::sort(track.keys.begin(), track.keys.end(),
		          [](const TrackKey &first, const TrackKey &second) { return first.time < second.time; });
		return track;
	}

	// The line end that new lines get: that of the first line ending in a
	// newline, else "\n".
	std::string LineEnd(const TrackDocument &document)
	{
		for(const TrackLine &line : document.lines)
			if(!line.end.empty() && line.end.back() == '\n')
				return line.end;
		return "\n";
	}

	// Makes document the editor's, keeping the one before for Undo and
	// forgetting what was undone.
	void Commit(TrackEditor &editor, TrackDocument document)
	{
		editor.undo.push_back(std::move(editor.document));
		if(editor.undo.size() > kUndoDepth)
			editor.undo.pop_front();
		editor.redo.clear();
		editor.document = std::move(document);
	}

	// Gives the key on the document's line index the fields of key, the
	// line's text around them kept, as an edit; false when key is the same.
	bool ChangeKey(TrackEditor &editor, size_t index, const TrackKey &key)
	{
		if(editor.document.lines[index].key == key)
			return false;
		TrackDocument document = editor.document;
		TrackLine &line = document.lines[index];
		const std::string fields = FormatKeyFields(line.name, key);
		line.text.replace(line.fieldsBegin, line.fieldsEnd - line.fieldsBegin, fields);
		line.fieldsEnd = line.fieldsBegin + fields.size();
		line.key = key;
		Commit(editor, std::move(document));
		return true;
	}

	// Adds a line for track name's new key, after the last line of the track
	// with an earlier key, else before the track's first line, else at the
	// end, as an edit.
	void AddKey(TrackEditor &editor, const std::string &name, const TrackKey &key)
	{
		TrackDocument document;
		std::vector<TrackLine> &lines = document.lines;
		lines.reserve(editor.document.lines.size() + 1);
		lines.assign(editor.document.lines.begin(), editor.document.lines.end());
		size_t at = lines.size();
		for(size_t index = lines.size(); index-- > 0;)
			if(lines[index].holdsKey && lines[index].name == name)
			{
				at = index;
				if(lines[index].key.time < key.time)
				{
					at = index + 1;
					break;
				}
			}
		// A last line without a newline gets one before the new line.
		if(at == lines.size() && !lines.empty() && lines.back().end.empty())
			lines.back().end = LineEnd(document);
		else if(at == lines.size() && !lines.empty() && lines.back().end == "\r")
			lines.back().end += "\n";
		TrackLine line;
		line.text = FormatKeyFields(name, key);
		line.end = LineEnd(document);
		line.holdsKey = true;
		line.name = name;
		line.key = key;
		line.fieldsEnd = line.text.size();
		// A new first line takes the byte-order mark over.
		if(at == 0 && !lines.empty() && lines[0].text.compare(0, kByteOrderMarkSize, kByteOrderMark) == 0)
		{
			TrackLine &first = lines[0];
			first.text.erase(0, kByteOrderMarkSize);
			if(first.holdsKey)
			{
				first.fieldsBegin -= kByteOrderMarkSize;
				first.fieldsEnd -= kByteOrderMarkSize;
			}
			line.text.insert(0, kByteOrderMark);
			line.fieldsBegin = kByteOrderMarkSize;
			line.fieldsEnd += kByteOrderMarkSize;
		}
		lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
		Commit(editor, std::move(document));
	}

	// The value that the text written for value reads as in double
	// precision: 0.6 for 0.6f, which is 0.60000002 in float.
	double AsWritten(float value)
	{
		const std::string text = FormatKeyValue(value);
		double written = value;
		std::from_chars(text.data(), text.data() + text.size(), written);
		return written;
	}

	// The time in seconds of track name's key nearest to the millisecond of
	// seconds on the side that side gives: 1 after it, -1 before it.
	std::optional<double> NearestKeyTime(const TrackDocument &document, const std::string &name, double seconds,
	                                     double side)
	{
		const double millisecond = std::round(seconds * 1000.0);
		std::optional<double> nearest;
		for(const TrackLine &line : document.lines)
		{
			const double time = static_cast<double>(line.key.time);
			if(line.holdsKey && line.name == name && (time - millisecond) * side > 0.0 &&
			   (!nearest || (*nearest - time) * side > 0.0))
				nearest = time;
		}
		return nearest ? std::optional<double>(*nearest / 1000.0) : std::nullopt;
	}
}

bool KeyCurrentValue(TrackEditor &editor, const std::string &name, double seconds)
{
	const int64_t time = KeyTime(seconds);
	if(KeyLine(editor.document, name, time) < editor.document.lines.size())
		return false;
	AddKey(editor, name, {time, TrackValue(TrackOf(editor.document, name), seconds), Interpolation::Step});
	return true;
}

bool SetKeyValue(TrackEditor &editor, const std::string &name, double seconds, float value)
{
	if(!std::isfinite(value))
		return false;
	const int64_t time = KeyTime(seconds);
	const size_t index = KeyLine(editor.document, name, time);
	if(index < editor.document.lines.size())
	{
		TrackKey key = editor.document.lines[index].key;
		key.value = value;
		return ChangeKey(editor, index, key);
	}
	AddKey(editor, name, {time, value, Interpolation::Step});
	return true;
}

bool NudgeKeyValue(TrackEditor &editor, const std::string &name, double seconds, double delta)
{
	const size_t index = KeyLine(editor.document, name, KeyTime(seconds));
	if(index == editor.document.lines.size())
		return false;
	const double sum = AsWritten(editor.document.lines[index].key.value) + delta;
	if(!(std::fabs(sum) <= static_cast<double>(std::numeric_limits<float>::max())))
		return false;
	TrackKey key = editor.document.lines[index].key;
	key.value = static_cast<float>(sum);
	return ChangeKey(editor, index, key);
}

bool CycleKeyInterpolation(TrackEditor &editor, const std::string &name, double seconds)
{
	const size_t index = KeyLine(editor.document, name, KeyTime(seconds));
	if(index == editor.document.lines.size())
		return false;
	TrackKey key = editor.document.lines[index].key;
	key.interpolation = NextInterpolation(key.interpolation);
	return ChangeKey(editor, index, key);
}

bool DeleteKey(TrackEditor &editor, const std::string &name, double seconds)
{
	const size_t index = KeyLine(editor.document, name, KeyTime(seconds));
	if(index == editor.document.lines.size())
		return false;
	TrackDocument document = editor.document;
	document.lines.erase(document.lines.begin() + static_cast<std::ptrdiff_t>(index));
	Commit(editor, std::move(document));
	return true;
}

std::optional<double> NextKeyTime(const TrackDocument &document, const std::string &name, double seconds)
{
	return NearestKeyTime(document, name, seconds, 1.0);
}

std::optional<double> PreviousKeyTime(const TrackDocument &document, const std::string &name, double seconds)
{
	return NearestKeyTime(document, name, seconds, -1.0);
}

bool Undo(TrackEditor &editor)
{
	if(editor.undo.empty())
		return false;
	editor.redo.push_back(std::move(editor.document));
	editor.document = std::move(editor.undo.back());
	editor.undo.pop_back();
	return true;
}

bool Redo(TrackEditor &editor)
{
	if(editor.redo.empty())
		return false;
	editor.undo.push_back(std::move(editor.document));
	editor.document = std::move(editor.redo.back());
	editor.redo.pop_back();
	return true;
}

bool ReplaceDocument(TrackEditor &editor, TrackDocument document)
{
	if(SerialiseTracks(document) == SerialiseTracks(editor.document))
		return false;
	Commit(editor, std::move(document));
	return true;
}
