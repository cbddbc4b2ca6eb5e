// The studio's timeline and status line, drawn over the bottom of the
// picture: a translucent dark band (timeline_layout.h) holding one row of
// status text the studio passes, and under it the bar of the piece's
// length with the soundtrack's loudness (sound/loudness.h) as an envelope
// rising from its bottom, brighter where it has been played, a red mark
// where a soundtrack shorter than the piece ends (the silence after it
// darker), the A-B loop
// (A's mark alone, or the A..B span shaded between its two marks), the
// selected sync track's curve over the envelope with a tick at each of its
// keys (track_curve.h), and the playhead.
//
// The loudness is computed once, on a thread TimelineInit starts, and
// uploaded once as a texture on TextureUnit::kTimelineLoudness; the font's glyph atlas
// (overlay/glyph_atlas.h) lives on TextureUnit::kTimelineText, the track's
// curve and keys on TextureUnit::kTimelineTrack. The band's
// and the status text's quads are uploaded when the window's size or the
// status text changes, and at no other time: the playhead and the loop are
// the band program's uniforms. Every function needs the context that
// TimelineInit ran on to be current, and runs on its thread.
//
// GL state: the functions assume the frame-state rule (scene/scene.h) and
// leave GL in it, reading no state back. They bind their own vertex array
// and array buffer, and leave those bound, which the rule allows.
#ifndef STUDIO_TIMELINE_H
#define STUDIO_TIMELINE_H

#include <string>

#include "report/error.h"
#include "studio/transport.h"
#include "tracks/tracks.h"

// Columns of loudness over the soundtrack's length, and of a sync track's
// curve over the piece's: textures of this width.
constexpr int kTimelineLoudnessColumns = 2048;

// What the timeline shows in a frame.
struct TimelineView
{
	double time = 0.0;  // the playhead, in seconds
	double end = 0.0;   // the piece's length: the bar's right end
	LoopState loop = LoopState::Off;
	double loopA = 0.0;  // A's time, shown while loop is not Off
	double loopB = 0.0;  // B's time, shown while loop is Looping
	std::string status;  // one row of UTF-8 text, cut with "…" when too long
};

// What TimelineInit did: whether the timeline is on, and the line to report,
// naming what failed and why; report it whenever it is set, on or off.
struct TimelineStart
{
	bool on = false;
	Error error;
};

// Sets the timeline up on the current context: the loudness of the
// soundtrack at soundtrackFile (measured on a thread of its own, the
// envelope flat until TimelineMeasuring takes it in), the glyph atlas of the TrueType font at
// fontFile, and the GL objects. Without the soundtrack the envelope is flat
// (none), without the font there is no status text and an error; the band
// is drawn all the same (the soundtrack's failure is TimelineMeasuring's to
// tell). The timeline is off when it cannot draw at all (its program does
// not build), and then stays off. A timeline already set up is shut down
// first.
TimelineStart TimelineInit(const std::string &soundtrackFile, const std::string &fontFile);

// Where the soundtrack's measure stands: whether it is still being measured,
// and, once, the line to report when the soundtrack could not be read
// ("Could not read the soundtrack PATH: ...").
struct TimelineMeasure
{
	bool measuring = false;
	Error error;
};

// Takes the soundtrack's loudness in once its measure is done.
TimelineMeasure TimelineMeasuring();

// Where the soundtrack ends, in seconds, when it is measured and ends a
// frame or more before the piece's end (pieceSeconds); -1 otherwise. (A
// piece's length is the music's rounded to whole frames.)
double TimelineSoundEnd(double pieceSeconds);

// Deletes the timeline's GL objects and forgets its window size; it is off
// until the next TimelineInit.
void TimelineShutdown();

// Tells the timeline the window's size in pixels (the viewport it draws
// into); the next TimelineDraw uploads its quads again when it changed.
void TimelineResize(int width, int height);

// Shows track's curve and keys over the piece of `end` seconds from the next
// TimelineDraw on, or no curve when track is null or end not above 0. Traces and uploads the
// curve only when the track or end differs from the last shown, so it may be
// called every frame; does nothing while the timeline is off.
void TimelineShowTrack(const Track *track, double end);

// Draws the timeline over the current framebuffer, blended, in the layout of
// the size last given to TimelineResize. Uploads the quads only when the
// status text or the size changed since the last draw; does nothing while
// the timeline is off or the window has no area.
void TimelineDraw(const TimelineView &view);

#endif
