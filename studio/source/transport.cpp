// The studio's time control: see transport.h.
#include "studio/transport.h"

#include "frames/capture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
	double Clamp(const Transport &transport, double t)
	{
		return std::min(std::max(t, 0.0), transport.end);
	}

	// Takes the time shown as the new anchor.
	void Settle(Transport &transport, double now)
	{
		transport.position = TransportTime(transport, now);
		transport.anchor = now;
	}

	MusicOrder Order(const Transport &transport)
	{
		return {transport.playing, transport.position};
	}
}

bool MusicOrder::operator==(const MusicOrder &other) const
{
	return playing == other.playing && position == other.position;
}

Transport MakeTransport(double end, double from, double now)
{
	Transport transport;
	transport.end = end;
	transport.position = Clamp(transport, from);
	transport.anchor = now;
	transport.playing = true;
	return transport;
}

double TransportTime(const Transport &transport, double now)
{
	const double elapsed = transport.playing ? now - transport.anchor : 0.0;
	return Clamp(transport, transport.position + elapsed);
}

bool TransportTick(Transport &transport, double now, MusicOrder *order)
{
	if(!transport.playing)
		return false;
	const double unclamped = transport.position + (now - transport.anchor);
	if(transport.loop == LoopState::Looping && unclamped >= transport.loopB)
	{
		const double length = transport.loopB - transport.loopA;
		transport.position =
		    length > 0.0 ? transport.loopA + std::fmod(unclamped - transport.loopA, length) : transport.loopA;
		transport.anchor = now;
		*order = Order(transport);
		return true;
	}
	if(unclamped >= transport.end)
	{
		transport.position = transport.end;
		transport.anchor = now;
		transport.playing = false;
		*order = Order(transport);
		return true;
	}
	return false;
}

MusicOrder TogglePause(Transport &transport, double now)
{
	Settle(transport, now);
	if(!transport.playing && transport.position >= transport.end)
		transport.position = transport.loop == LoopState::Looping ? transport.loopA : 0.0;
	transport.playing = !transport.playing;
	return Order(transport);
}

MusicOrder SeekTo(Transport &transport, double now, double t)
{
	transport.position = Clamp(transport, t);
	transport.anchor = now;
	return Order(transport);
}

MusicOrder SeekBy(Transport &transport, double now, double delta)
{
	return SeekTo(transport, now, TransportTime(transport, now) + delta);
}

MusicOrder StepFrame(Transport &transport, double now, int step, int framesPerSecond)
{
	const int frame = FrameAt(TransportTime(transport, now), framesPerSecond) + step;
	transport.playing = false;
	return SeekTo(transport, now, CaptureFrameSeconds(frame));
}

bool PressLoop(Transport &transport, double now, MusicOrder *order)
{
	const double t = TransportTime(transport, now);
	switch(transport.loop)
	{
	case LoopState::Off:
		transport.loop = LoopState::MarkedA;
		transport.loopA = t;
		return false;
	case LoopState::MarkedA:
		// A loop needs a length: a second press at A changes nothing.
		if(t == transport.loopA)
			return false;
		transport.loopB = std::max(t, transport.loopA);
		transport.loopA = std::min(t, transport.loopA);
		transport.loop = LoopState::Looping;
		*order = SeekTo(transport, now, transport.loopA);
		return true;
	case LoopState::Looping: transport.loop = LoopState::Off; return false;
	}
	return false;
}

int FrameAt(double t, int framesPerSecond)
{
	return static_cast<int>(std::lround(t * framesPerSecond));
}

std::string FormatTime(double t)
{
	const long hundredths = static_cast<long>(std::floor(std::max(t, 0.0) * 100.0 + 1e-6));
	char text[32];
	std::snprintf(text, sizeof text, "%ld:%02ld.%02ld", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
	return text;
}

double BarSeconds(double bpm)
{
	return 4.0 * 60.0 / bpm;
}

std::string FormatBarBeat(double t, double bpm)
{
	const long beat = static_cast<long>(std::floor(std::max(t, 0.0) * bpm / 60.0 + 1e-9));
	return std::to_string(beat / 4 + 1) + "." + std::to_string(beat % 4 + 1);
}
