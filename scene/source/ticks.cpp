// The rules by which the buffers advance: see ticks.h.
#include "scene/ticks.h"

#include <algorithm>

BufferFrame FrameRead(int reader, int buffer)
{
	return buffer < reader ? BufferFrame::Current : BufferFrame::Previous;
}

bool TickRun::operator==(const TickRun &other) const
{
	return skipTo == other.skipTo && first == other.first && last == other.last;
}

TickRun PlanTicks(int held, int target, int maxTicks, bool mayJump)
{
	TickRun run;
	run.skipTo = held;
	if(target <= held)
	{
		run.first = held + 1;
		run.last = held;
		return run;
	}
	if(maxTicks > 0 && target - held > maxTicks)
	{
		if(mayJump)
			run.skipTo = target - maxTicks;
		else
			target = held + maxTicks;
	}
	run.first = run.skipTo + 1;
	run.last = target;
	return run;
}

bool ReplayStart::operator==(const ReplayStart &other) const
{
	return restore == other.restore && tick == other.tick;
}

ReplayStart ChooseReplayStart(int held, bool heldExact, const std::vector<int> &checkpoints, int target)
{
	int best = kStartTick;
	for(int tick : checkpoints)
		if(tick <= target)
			best = std::max(best, tick);
	if(heldExact && held <= target && held >= best)
		return {false, held};
	return {true, best};
}

int CheckpointInterval(int totalTicks, int capacity)
{
	if(capacity <= 0)
		return 0;
	return std::max(1, (totalTicks + capacity) / (capacity + 1));
}
