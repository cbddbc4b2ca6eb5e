// The studio's time control, apart from the window and the sound: where the
// piece is, whether it plays, the A-B loop, and what the music must be told
// after each change. Every function takes the wall clock's reading `now`
// (seconds, any origin), so that the rules run on a fake clock.
#ifndef STUDIO_TRANSPORT_H
#define STUDIO_TRANSPORT_H

#include <string>

// What the music must do after a change: play from `position`, or hold
// there paused.
struct MusicOrder
{
	bool playing = false;
	double position = 0.0;

	bool operator==(const MusicOrder &other) const;
};

// The A-B loop: none, A marked, or A..B looping.
enum class LoopState
{
	Off,
	MarkedA,
	Looping,
};

struct Transport
{
	double end = 0.0;       // the piece's length: times are clamped to [0, end]
	double position = 0.0;  // the time at `anchor` on the wall clock
	double anchor = 0.0;    // when position was taken
	bool playing = false;
	LoopState loop = LoopState::Off;
	double loopA = 0.0;
	double loopB = 0.0;
};

// A transport for a piece of `end` seconds, at `from` (clamped), playing.
Transport MakeTransport(double end, double from, double now);

// The time shown at now: the position, plus the wall time since the anchor
// while playing; clamped to [0, end]. Does not apply the loop or the end
// (TransportTick does).
double TransportTime(const Transport &transport, double now);

// Applies what time does by itself: playing past B of a loop goes back to A;
// playing up to the end pauses there. Returns true, with *order set, when
// the music must be told.
bool TransportTick(Transport &transport, double now, MusicOrder *order);

// Pauses a playing transport at its time, or resumes a paused one (from the
// start when it was paused at the end).
MusicOrder TogglePause(Transport &transport, double now);

// Moves to time t (clamped); a paused transport stays paused.
MusicOrder SeekTo(Transport &transport, double now, double t);

// Moves by delta seconds from the time shown.
MusicOrder SeekBy(Transport &transport, double now, double delta);

// Pauses on the frame after (+1) or before (-1) the one shown: frame
// N + step, where N = round(t x framesPerSecond), at the capture's time for
// that frame (CaptureFrameSeconds; framesPerSecond must be the capture's).
MusicOrder StepFrame(Transport &transport, double now, int step, int framesPerSecond);

// The A-B key: marks A at the time shown, then B (the later of the two
// becomes B; a press at A itself changes nothing) and loops between them
// from A, then clears the loop. Returns
// true, with *order set, when the music must be told.
bool PressLoop(Transport &transport, double now, MusicOrder *order);

// The frame shown at time t: round(t x framesPerSecond).
int FrameAt(double t, int framesPerSecond);

// "m:ss.cc", hundredths truncated: 135 s is "2:15.00".
std::string FormatTime(double t);

// The bar and beat at t for a tempo of bpm beats per minute and 4 beats a
// bar, both counted from 1: "1.1" at 0 s.
std::string FormatBarBeat(double t, double bpm);

// The length of a bar of 4 beats at bpm, in seconds.
double BarSeconds(double bpm);

#endif
