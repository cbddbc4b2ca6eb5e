// The intro's clock, without GL.
#include <gtest/gtest.h>

#include <chrono>

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
