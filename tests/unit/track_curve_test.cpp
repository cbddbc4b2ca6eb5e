// The timeline's curve of a sync track: its levels scaled to the track's
// range over the piece, and the columns of its keys.
#include <gtest/gtest.h>

#include <vector>

#include "studio/track_curve.h"

namespace
{
	// Eleven columns over ten seconds: a column a second.
	const double kEnd = 10.0;
	const int kColumns = 11;

	std::vector<unsigned char> KeysAt(std::vector<int> columns)
	{
		std::vector<unsigned char> keys(kColumns, 0);
		for(int column : columns)
			keys[static_cast<size_t>(column)] = 1;
		return keys;
	}
}

TEST(TrackCurve, LevelsSpanTheTrackFromItsLowestToItsHighestValue)
{
	const Track ramp = {"glow", {{0, 2.0f, Interpolation::Linear}, {10000, 4.0f, Interpolation::Step}}};
	const TrackCurve rising = TraceTrackCurve(ramp, kEnd, kColumns);
	for(int column = 0; column < kColumns; ++column)
		EXPECT_NEAR(rising.levels[static_cast<size_t>(column)], column / 10.0, 1e-6) << column;
	EXPECT_EQ(rising.lowest, 2.0f);
	EXPECT_EQ(rising.highest, 4.0f);
	EXPECT_EQ(rising.keys, KeysAt({0, 10}));

	const TrackCurve flat = TraceTrackCurve({"glow", {{3400, 3.0f, Interpolation::Smooth}}}, kEnd, kColumns);
	EXPECT_EQ(flat.levels, std::vector<float>(kColumns, 0.5f));
	EXPECT_EQ(flat.keys, KeysAt({3}));
}

TEST(TrackCurve, KeysAfterThePiecesEndMarkNoColumnAndLeaveTheRangeAlone)
{
	const Track steps = {
	    "glow",
	    {{0, 0.0f, Interpolation::Step}, {4600, 1.0f, Interpolation::Step}, {12000, 100.0f, Interpolation::Step}}};
	const TrackCurve curve = TraceTrackCurve(steps, kEnd, kColumns);
	EXPECT_EQ(curve.keys, KeysAt({0, 5}));
	EXPECT_EQ(curve.highest, 1.0f);
	EXPECT_EQ(curve.levels[4], 0.0f);
	EXPECT_EQ(curve.levels[5], 1.0f);
}
