// The intro's clock and its time limit, without GL.
#include <gtest/gtest.h>

#include <chrono>

#include "intro_constants.h"
#include "main.h"

TEST(Clock, ReadingsInOneMillisecondAreEqual)
{
	for(int attempt = 0; attempt < 1000; ++attempt)
	{
		const int64_t before = cur_time_millis();
		const double first = seconds_since_program_start();
		const double second = seconds_since_program_start();
		if(cur_time_millis() != before)
			continue;
		EXPECT_EQ(first, second);
		EXPECT_EQ(first, static_cast<double>(before - program_start_millis) / 1000.0);
		return;
	}
	FAIL() << "never two readings within one millisecond";
}

TEST(Clock, FollowsTheWallClock)
{
	using namespace std::chrono;
	const int64_t wall = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
	const int64_t reading = cur_time_millis();
	EXPECT_GE(reading, wall);
	EXPECT_LE(reading, wall + 1000);
	EXPECT_LE(program_start_millis, reading);
	EXPECT_GE(seconds_since_program_start(), 0.0);
}

TEST(TimeLimit, ANormalRunEndsOnlyAfter135Seconds)
{
	EXPECT_FALSE(TimeIsUp(false, 0.0, 0.0));
	EXPECT_FALSE(TimeIsUp(false, 0.0, 134.999));
	EXPECT_FALSE(TimeIsUp(false, 0.0, 135.0)) << "exactly 135 s still draws";
	EXPECT_FALSE(TimeIsUp(false, 0.0, static_cast<float>(135000) / 1000.0f));
	EXPECT_TRUE(TimeIsUp(false, 0.0, 135.001));
	EXPECT_TRUE(TimeIsUp(false, 0.0, static_cast<float>(135001) / 1000.0f));
	EXPECT_FALSE(TimeIsUp(false, 500.0, 1.0)) << "the capture clock does not count";
}

TEST(TimeLimit, ACaptureEndsAfterTheFrameAt135Seconds)
{
	EXPECT_FALSE(TimeIsUp(true, 135.0, 0.0));
	EXPECT_FALSE(TimeIsUp(true, 135.0 + 1.0 / 120.0, 0.0));
	EXPECT_TRUE(TimeIsUp(true, 135.0 + 1.0 / 60.0, 0.0));
	EXPECT_FALSE(TimeIsUp(true, 0.0, 500.0)) << "the toolkit clock does not count";

	// The frame loop's own sum of 1/60-s steps: frames 0 to 8100 are drawn.
	double captureTime = 0.0;
	int frames = 0;
	while(!TimeIsUp(true, captureTime, 0.0) && frames < 10000)
	{
		++frames;
		captureTime += 1.0 / 60.0;
	}
	EXPECT_EQ(frames, kCaptureFrameCount);
}
