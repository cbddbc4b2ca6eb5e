// A sync track's curve as the studio's timeline draws it, apart from GL: the
// track's value sampled at evenly spaced columns over the piece, scaled to
// the range it spans there, and the columns that hold its keys.
#ifndef STUDIO_TRACK_CURVE_H
#define STUDIO_TRACK_CURVE_H

#include <vector>

#include "tracks/tracks.h"

struct TrackCurve
{
	// Per column: 0 at the track's lowest value over the columns, 1 at its
	// highest, linear between; 0.5 throughout when the track is flat there.
	std::vector<float> levels;
	// Per column: 1 where a key of the track falls, else 0.
	std::vector<unsigned char> keys;
	float lowest = 0.0f;   // the track's value where levels are 0
	float highest = 0.0f;  // and where they are 1
};

// The curve of track over a piece of `end` seconds (above 0) in `columns`
// columns (at least 2): column c at the time c * end / (columns - 1), its
// level TrackValue's there; a key at a time within [0, end] marks the column
// nearest it, later keys mark none.
TrackCurve TraceTrackCurve(const Track &track, double end, int columns);

#endif
