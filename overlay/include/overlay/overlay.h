// The failure overlay: draws why the last shader build failed, or what it
// warned about, as light monospace text on a translucent dark panel across
// the top of the window, over whatever the frame already holds. The layout
// follows overlay_layout.h; an error is shown above a warning, each with its
// header in its own colour.
//
// The font is rasterised once, at start-up, into a glyph atlas
// (glyph_atlas.h) that the overlay's own program samples on the overlay's
// texture unit, TextureUnit::kOverlay (framework/texture_units.h);
// OverlayInit binds it there, and nothing else binds that unit. A message's text is laid out and
// uploaded once per new text or window size; while nothing is shown,
// OverlayDraw returns at once, without any GL call. Every function needs the
// context that OverlayInit ran on to be current, and runs on its thread.
//
// GL state: the functions assume the frame-state rule (scene/scene.h) and
// leave GL in it, reading no state back (OverlayInit queries its own program
// alone). They bind their own vertex array and array buffer, and leave those
// bound, which the rule allows.
#ifndef OVERLAY_H
#define OVERLAY_H

#include "overlay/overlay_layout.h"
#include "report/error.h"

#include <string>

// The font the intro's overlay uses (Debian's fonts-dejavu-core).
extern const char *const kOverlayFontFile;

// Loads the TrueType font at fontFile, rasterises its atlas and makes the GL
// objects. Fails with one line (naming the font file when the font is at
// fault) when it cannot; the overlay then stays disabled, and the other
// functions do nothing. An overlay already set up is shut down first.
Error OverlayInit(const std::string &fontFile);

// Deletes the overlay's GL objects and forgets its messages and window size;
// the overlay is disabled until the next OverlayInit.
void OverlayShutdown();

// Shows a message of this kind with a header line (such as the shader file's
// name) and a log (the driver's words, UTF-8), replacing the kind's earlier
// message; the same message again changes nothing.
void OverlayShow(OverlayKind kind, const std::string &header, const std::string &body);

// Removes the message of this kind, if any.
void OverlayHide(OverlayKind kind);

// Tells the overlay the window's size in pixels (the viewport it draws into);
// a message on show is laid out and uploaded again when the size changed.
void OverlayResize(int width, int height);

// Draws the messages on show over the current framebuffer, blended with the
// overlay's program, vertex array and factors; it leaves no program current,
// blending off and GL_TEXTURE0 active.
void OverlayDraw();

// Whether OverlayDraw draws: a message is on show in a window with area.
bool OverlayVisible();

// The panel's height in pixels from the window's top; 0 while nothing shows.
int OverlayPanelHeight();

#endif
