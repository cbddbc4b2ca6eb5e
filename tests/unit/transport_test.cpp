// The studio's time control on a fake clock: seeking and clamping, pause,
// frame steps, the A-B loop, the end, bar.beat, and what the music is told.
#include <gtest/gtest.h>

#include "frames/capture.h"
#include "studio/transport.h"

namespace
{
	const double kEnd = 135.0;

	MusicOrder Playing(double position)
	{
		return {true, position};
	}

	MusicOrder Paused(double position)
	{
		return {false, position};
	}
}

TEST(Transport, PlaysFromItsStartAndClampsEverySeek)
{
	Transport t = MakeTransport(kEnd, 90.0, 1000.0);
	EXPECT_DOUBLE_EQ(TransportTime(t, 1002.5), 92.5);
	EXPECT_EQ(SeekBy(t, 1002.5, 60.0), Playing(kEnd));
	EXPECT_EQ(SeekBy(t, 1002.5, -500.0), Playing(0.0));
	EXPECT_EQ(SeekTo(t, 1003.0, 200.0), Playing(kEnd));
	EXPECT_DOUBLE_EQ(MakeTransport(kEnd, -3.0, 0.0).position, 0.0);
	EXPECT_DOUBLE_EQ(MakeTransport(kEnd, 999.0, 0.0).position, kEnd);
}

TEST(Transport, PauseHoldsTheTimeAndSeeksWhilePausedStayPaused)
{
	Transport t = MakeTransport(kEnd, 10.0, 0.0);
	EXPECT_EQ(TogglePause(t, 2.0), Paused(12.0));
	EXPECT_DOUBLE_EQ(TransportTime(t, 50.0), 12.0);
	EXPECT_EQ(SeekBy(t, 50.0, 5.0), Paused(17.0));
	EXPECT_EQ(SeekBy(t, 51.0, -1.0), Paused(16.0));
	EXPECT_EQ(TogglePause(t, 60.0), Playing(16.0));
	EXPECT_DOUBLE_EQ(TransportTime(t, 61.0), 17.0);
}

TEST(Transport, FrameStepsPauseOnTheNeighboursOfTheFrameShown)
{
	Transport t = MakeTransport(kEnd, 1.0, 0.0);
	// 1.0123 s shows frame round(60.738) = 61; a step lands on the capture's
	// own time for the frame, the sum of its steps.
	EXPECT_EQ(StepFrame(t, 0.0123, 1, 60), Paused(CaptureFrameSeconds(62)));
	EXPECT_EQ(StepFrame(t, 5.0, 1, 60), Paused(CaptureFrameSeconds(63)));
	EXPECT_EQ(StepFrame(t, 5.0, -1, 60), Paused(CaptureFrameSeconds(62)));
	EXPECT_NE(CaptureFrameSeconds(62), 62.0 / 60) << "the sum of steps, not a quotient";
	SeekTo(t, 5.0, 0.0);
	EXPECT_EQ(StepFrame(t, 5.0, -1, 60), Paused(0.0)) << "clamped at the start";
	EXPECT_EQ(FrameAt(kEnd, 60), 8100);
}

TEST(Transport, PlaybackPausesAtTheEndAndResumesFromTheStart)
{
	Transport t = MakeTransport(kEnd, 134.0, 0.0);
	MusicOrder order;
	EXPECT_FALSE(TransportTick(t, 0.5, &order));
	ASSERT_TRUE(TransportTick(t, 1.2, &order));
	EXPECT_EQ(order, Paused(kEnd));
	EXPECT_FALSE(TransportTick(t, 9.0, &order)) << "it stays paused, and says so once";
	EXPECT_DOUBLE_EQ(TransportTime(t, 9.0), kEnd);
	EXPECT_EQ(TogglePause(t, 10.0), Playing(0.0));
}

TEST(Transport, TheLoopKeyMarksAThenLoopsABThenClears)
{
	Transport t = MakeTransport(kEnd, 30.0, 0.0);
	MusicOrder order;
	EXPECT_FALSE(PressLoop(t, 0.0, &order));
	EXPECT_EQ(t.loop, LoopState::MarkedA);
	ASSERT_TRUE(PressLoop(t, 2.0, &order));
	EXPECT_EQ(t.loop, LoopState::Looping);
	EXPECT_EQ(order, Playing(30.0)) << "looping starts again from A";

	EXPECT_FALSE(TransportTick(t, 3.9, &order));
	ASSERT_TRUE(TransportTick(t, 4.5, &order));
	EXPECT_EQ(order, Playing(30.5)) << "past B it goes on from A by the overshoot";

	EXPECT_FALSE(PressLoop(t, 5.0, &order));
	EXPECT_EQ(t.loop, LoopState::Off);
	EXPECT_FALSE(TransportTick(t, 7.0, &order)) << "a cleared loop no longer wraps";
	EXPECT_DOUBLE_EQ(TransportTime(t, 7.0), 33.0);
}

TEST(Transport, BIsTheLaterMarkAndALoopNeedsALength)
{
	Transport t = MakeTransport(kEnd, 40.0, 0.0);
	MusicOrder order;
	TogglePause(t, 0.0);
	PressLoop(t, 0.0, &order);
	EXPECT_FALSE(PressLoop(t, 1.0, &order)) << "a second press at A itself";
	SeekTo(t, 1.0, 35.0);
	ASSERT_TRUE(PressLoop(t, 1.0, &order));
	EXPECT_DOUBLE_EQ(t.loopA, 35.0);
	EXPECT_DOUBLE_EQ(t.loopB, 40.0);
	EXPECT_EQ(order, Paused(35.0)) << "a paused transport stays paused";
}

TEST(Transport, TimesAndBarsReadAsTheStatusShowsThem)
{
	EXPECT_EQ(FormatTime(0.0), "0:00.00");
	EXPECT_EQ(FormatTime(kEnd), "2:15.00");
	EXPECT_EQ(FormatTime(61.239), "1:01.23");
	EXPECT_EQ(FormatTime(59.999), "0:59.99");
	// 128 BPM: a beat is 0.46875 s, a bar 1.875 s.
	EXPECT_DOUBLE_EQ(BarSeconds(128.0), 1.875);
	EXPECT_EQ(FormatBarBeat(0.0, 128.0), "1.1");
	EXPECT_EQ(FormatBarBeat(0.46875, 128.0), "1.2");
	EXPECT_EQ(FormatBarBeat(1.874, 128.0), "1.4");
	EXPECT_EQ(FormatBarBeat(1.875, 128.0), "2.1");
	EXPECT_EQ(FormatBarBeat(90.0, 128.0), "49.1");
}
