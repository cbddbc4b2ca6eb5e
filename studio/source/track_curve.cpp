// A sync track's curve over the piece: see track_curve.h.
#include "studio/track_curve.h"

#include <algorithm>
#include <cmath>

TrackCurve TraceTrackCurve(const Track &track, double end, int columns)
{
	TrackCurve curve;
	const double secondsPerColumn = end / (columns - 1);
	curve.levels.resize(static_cast<size_t>(columns));
	for(int column = 0; column < columns; ++column)
		curve.levels[static_cast<size_t>(column)] = TrackValue(track, column * secondsPerColumn);
	const auto range = std::minmax_element(curve.levels.begin(), curve.levels.end());
	curve.lowest = *range.first;
	curve.highest = *range.second;
	const float span = curve.highest - curve.lowest;
	for(float &level : curve.levels)
		level = span > 0.0f ? (level - curve.lowest) / span : 0.5f;

	curve.keys.assign(static_cast<size_t>(columns), 0);
	for(const TrackKey &key : track.keys)
	{
		const double seconds = static_cast<double>(key.time) / 1000.0;
		if(seconds > end)
			break;
		curve.keys[static_cast<size_t>(std::lround(seconds / secondsPerColumn))] = 1;
	}
	return curve;
}
