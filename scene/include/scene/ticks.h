// The rules by which the buffers advance, apart from GL. The buffers advance
// in ticks: tick k runs every buffer pass once, at the time of frame k, and
// the picture of frame n is drawn after tick n. Before tick 0 every buffer
// is all zero.
#ifndef SCENE_TICKS_H
#define SCENE_TICKS_H

#include <vector>

#include "scene/channels.h"

// The tick the buffers hold before tick 0: all zero.
constexpr int kStartTick = -1;

// The picture's pass, which runs after the buffers' passes 0 to 3.
constexpr int kPicturePass = kBufferCount;

// Which of a buffer's outputs a pass reads.
enum class BufferFrame
{
	Current,   // this tick's
	Previous,  // the tick before's (all zero at tick 0)
};

// The rule of which output a pass reads: the current tick's of a buffer
// whose pass runs before the reader, the previous tick's of the reader's own
// buffer and of any that runs after it. reader is 0 to 3 for the buffers'
// passes, kPicturePass for the picture, which reads every buffer's current
// output.
BufferFrame FrameRead(int reader, int buffer);

// The ticks a frame runs: from first to last, both included (none when last
// is below first), after the buffers jump to skipTo without running the
// ticks between (skipTo is the tick held when nothing is skipped).
struct TickRun
{
	int skipTo = kStartTick;
	int first = 0;
	int last = -1;

	bool operator==(const TickRun &other) const;
};

// The ticks that bring buffers holding tick held to tick target, at most
// maxTicks of them (0: no limit), oldest first. When target is further
// ahead than that: with mayJump the buffers jump so that the last maxTicks
// ticks up to target run; without, the run stops short of target (a later
// frame goes on). A target at or behind held runs nothing.
TickRun PlanTicks(int held, int target, int maxTicks, bool mayJump);

// Where a replay to tick target starts: the buffers as they are (when they
// hold an exact tick no later than target), or a checkpoint, the latest at
// or before target (kStartTick, all zero, when none is), whichever is later.
struct ReplayStart
{
	bool restore = false;  // restore the checkpoint of tick `tick` first
	int tick = kStartTick;

	bool operator==(const ReplayStart &other) const;
};

// checkpoints lists the ticks kept, in any order; heldExact says whether the
// buffers hold tick held exactly (no tick skipped since the start).
ReplayStart ChooseReplayStart(int held, bool heldExact, const std::vector<int> &checkpoints, int target);

// Ticks between checkpoints so that a piece of totalTicks ticks needs at
// most capacity of them, kept at every multiple of the interval from tick
// interval on; 0 when capacity is 0 (none kept: every replay starts at the
// zero start).
int CheckpointInterval(int totalTicks, int capacity);

#endif
