// The scene: the program built from the shader files, its uniforms, the
// message texture, the quad and the rebuild rules, and the report of a
// build's failure and warnings. A player calls SceneInit once, then each
// frame reload (when it is time to look for edits) and SceneDraw.
//
// GL state between frames. At the start of every frame, and whenever one
// module hands over to the next within a frame, GL is in this state; a
// module may rely on it and must leave it so, without reading state back:
// - the current program is 0;
// - GL_TEXTURE0 is the active texture unit, and each unit of
//   framework/texture_units.h holds its owner's texture (only its owner
//   binds there);
// - blending, the depth test, the scissor test and face culling are off;
// - GL_UNPACK_ALIGNMENT and GL_PACK_ALIGNMENT are 1 (set once by SceneInit),
//   so rows of any width upload and read back unpadded;
// - the viewport covers the frame being drawn.
// The vertex array, the GL_ARRAY_BUFFER binding and the clear colour are not
// part of it: whoever draws binds and sets its own. The framebuffer being
// drawn into is the player's choice; no module changes it.
#ifndef SCENE_SCENE_H
#define SCENE_SCENE_H

#include <ostream>

// Builds the program from data/standard.vert and data/intro.frag, a shader
// that has not settled read again for up to half a second first, records its
// uniform locations, loads the texture and sets the per-build inputs. Throws
// std::runtime_error with the lookup's or reader's message when a file is
// missing or cannot be used, or the file's name on a line of its own and the
// driver's log when it fails to compile or link (StartUpMessage), and then
// leaves the current program and texture as they were.
void InitializeProgram();

// Sets the scene up on the current context: the program (InitializeProgram,
// whose failure passes on), the quad and its vertex array, and the frame-state
// rule above. Later build reports go to errors, and with onOverlay also over
// the picture (the overlay must then have been set up by the caller).
void SceneInit(std::ostream &errors, bool onOverlay);

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

// The rebuild for a player that looks every frame: nothing while
// SceneFilesTouched is false; otherwise reload.
void ReloadIfTouched();

// Takes the frame's new size in pixels: the viewport and the size inputs.
void SceneResize(int width, int height);

// The frame's size in pixels, as last given to SceneResize.
int SceneWidth();
int SceneHeight();

// Draws one frame at shaderSeconds into the current framebuffer: clears it,
// sets the per-frame inputs (the sound is analysed only when the program
// reads it) and draws the quad. Leaves the frame-state rule's state.
void SceneDraw(float shaderSeconds);

#endif
