// The studio's render mode: frames of the piece drawn off screen at any size
// and handed on as raw pixels, for the video export.
#ifndef STUDIO_RENDER_H
#define STUDIO_RENDER_H

#include "report/error.h"
#include "studio/options.h"

// Fails when descriptor fd cannot take the render mode's frames ("--render
// 3: descriptor 3 is not open", "... is not open for writing"). Asked before
// anything else opens a descriptor, which could take fd's number.
Error CheckRenderDescriptor(int fd);

// Fails when a width x height framebuffer is beyond this driver, naming the
// limit ("--size 99999x99999 is larger than this driver's limit of 16384 x
// 16384"). Needs a current context.
Error CheckRenderSize(int width, int height);

// Draws the frames of range, frame n at the capture's own time for n, into an
// off-screen framebuffer of width x height, and writes each to descriptor fd
// in format, every plane top row first: width x height x 3 bytes of rgb24, or
// yuv420p as RgbaToYuv420 (frames/yuv420.h) converts it; the read-back and
// writing of each frame overlap the drawing of the next. Needs the scene set
// up. Fails with the reason it stopped (the descriptor's write failing).
Error RenderFrames(int fd, const FrameRange &range, int width, int height, PixelFormat format);

#endif
