// The scene: the passes built from the shader files (the buffers' passes,
// A to D, each drawing into its buffer, then the picture's), their uniforms
// and channels, the message texture, the quad, the buffers with their ticks
// and checkpoints, and the rebuild rules with the report of a build's
// failure and warnings. A player calls SceneInit once, then each frame
// reload (when it is time to look for edits), SceneAdvance and SceneDraw.
//
// GL state between frames. At the start of every frame, and whenever one
// module hands over to the next within a frame, GL is in this state; a
// module may rely on it and must leave it so, without reading state back:
// - the current program is 0;
// - GL_TEXTURE0 is the active texture unit, and each unit of
//   framework/texture_units.h holds its owner's texture (only its owner
//   binds there); the channel units, kChannel0 to kChannel0 + 3, hold the
//   textures and samplers the last pass drawn bound, and no other unit has a
//   sampler bound;
// - blending, the depth test, the scissor test and face culling are off;
// - GL_UNPACK_ALIGNMENT and GL_PACK_ALIGNMENT are 1 (set once by SceneInit),
//   so rows of any width upload and read back unpadded;
// - the viewport covers the frame being drawn;
// - GL_FRAMEBUFFER (read and draw) is the player's framebuffer, given by
//   SceneSetFramebuffer: the scene binds its buffers' framebuffers only
//   within its own calls.
// The vertex array, the GL_ARRAY_BUFFER binding and the clear colour are not
// part of it: whoever draws binds and sets its own.
#ifndef SCENE_SCENE_H
#define SCENE_SCENE_H

#include <glload/gl_3_3.hpp>

#include <array>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "tracks/tracks.h"

// Builds the passes from data/standard.vert, data/intro.frag and the
// optional bufferA.frag to bufferD.frag and common.frag, a shader that has
// not settled read again for up to half a second first, records their
// uniform locations, loads the textures and sets the per-build inputs.
// Throws std::runtime_error with the lookup's or reader's message when a
// file is missing or cannot be used, a channel line's message when one is
// bad, or the file's name on a line of its own and the driver's log when it
// fails to compile or link (StartUpMessage), and then leaves the passes in
// use as they were.
void InitializeProgram();

// How SceneInit takes a build that fails at start-up: the intro's way, the
// exception of InitializeProgram, which ends the run; or the studio's, a
// report like a later rebuild's (on errors, and on the overlay), with no
// passes, so a black picture, until the first good build.
enum class StartUpFailure
{
	Ends,
	Waits,
};

// Sets the scene up on the current context: the passes (InitializeProgram),
// the quad and its vertex array, and the frame-state rule above. Later build
// reports go to errors, and with onOverlay also over the picture (the
// overlay must then have been set up by the caller).
void SceneInit(std::ostream &errors, bool onOverlay, StartUpFailure onFailure = StartUpFailure::Ends);

// Rebuilds the program when its files changed and restores the size inputs.
// A failure keeps the last program that built and is reported once while it
// stays the same; files that still hold what failed are not built again, and
// a shader caught mid-save (empty, changed while read, or modified within
// kSettleNanoseconds) is left for a later rebuild.
void reload();

// Whether a look at the files' status alone (no open, no read) finds any of
// them changed since they were last read, or the last rebuild left a shader
// that was still settling: cheap enough for every frame.
bool SceneFilesTouched();

// What that look finds changed, for a status line: "intro.frag", or
// several names joined by ", "; empty when nothing changed but a shader
// still settling waits for a rebuild.
std::string SceneTouchedFiles();

// The rebuild for a player that looks every frame: nothing while
// SceneFilesTouched is false; otherwise reload.
void ReloadIfTouched();

// Sync tracks (tracks.txt, through the data-file lookup, optional): each
// track sets `uniform float NAME` in every pass that declares it, at the
// draw's shader time. SceneInit reads the file (a bad one ends an intro's
// start-up like a shader's failure; elsewhere it is reported as later), and
// reload looks again; a bad file is reported once, on standard error and the
// overlay, and leaves the last good tracks in use. A change of tracks never
// rebuilds a program.

// A look at the tracks file alone, cheap enough for every frame.
void SceneLookAtTracks();

// Takes the tracks file in at once, even one that looks mid-save, before an
// edit is saved over it; false while the file is bad, when no edit may
// replace it.
bool SceneTakeTracksNow();

// The last good tracks file's lines, and a count that changes whenever the
// tracks in use change.
const TrackDocument &SceneTrackDocument();
int SceneTracksRevision();

// The tracks file as the lookup found it, or where a new one goes: beside
// the picture's shader ("data/tracks.txt").
std::string SceneTracksPath();

// Puts document's tracks in use at once (the studio's edit, which it saves).
void SceneUseTracks(const TrackDocument &document);

// The single float uniforms the passes declare that the scene does not
// supply, pass by pass, possibly repeated: the names a track may set.
std::vector<std::string> SceneDeclaredFloats();

// Takes the frame's new size in pixels: the viewport, the size inputs, and
// the buffers, made anew all zero at that size (back before tick 0, with no
// checkpoint kept).
void SceneResize(int width, int height);

// The frame's size in pixels, as last given to SceneResize.
int SceneWidth();
int SceneHeight();

// The framebuffer the picture is drawn into and left bound: 0, the window's,
// until this says otherwise.
void SceneSetFramebuffer(GLuint framebuffer);

// Whether any buffer has a pass.
bool SceneHasBuffers();

// Where the buffers stand.
struct BufferProgress
{
	int held = 0;        // the tick whose output they hold (the target when there are no buffers)
	int skipped = 0;     // ticks this call skipped to keep up (a start from zero aside)
	int replayFrom = 0;  // the tick this call's run started after
};

// Runs the buffers' ticks toward tick target, tick k at the time of frame k
// (CaptureFrameSeconds) with iFrame k. Buffers holding a later tick than
// target, or (without mayJump) not holding an exact one, start again from
// the latest checkpoint before target, or from all zero. budgetSeconds 0
// runs every tick up to target; otherwise the run stops once it has taken
// that long, having run at least one tick, and a later call goes on, unless
// mayJump, which lets the buffers skip the ticks that would not fit, so that
// they always reach target (a live player that must keep up with its
// music). Without buffers this only notes the target.
BufferProgress SceneAdvance(int target, double budgetSeconds, bool mayJump);

// Keeps checkpoints of the buffers, at most budgetBytes of them spread evenly
// over a piece of totalTicks ticks, for SceneAdvance to start from.
void SceneKeepCheckpoints(size_t budgetBytes, int totalTicks);

// Draws the picture of frame `frame` at shaderSeconds into the player's
// framebuffer: clears it, sets the per-frame inputs (the sound is analysed
// only when the pass reads it), binds the channels (each buffer's latest
// output) and draws the quad. Leaves the frame-state rule's state. mouse is
// the picture's iMouse, 0 in a frame of the piece; the buffers' ticks always
// see 0, so that they stay the piece's.
void SceneDraw(float shaderSeconds, int frame, const std::array<float, 4> &mouse = {});

// Frame `frame` exactly as a capture draws it: the buffers advanced to it
// with every tick, then the picture at the capture's time for it.
void SceneDrawFrame(int frame);

#endif
