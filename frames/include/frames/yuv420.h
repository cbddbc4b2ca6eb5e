// Frames as yuv420p, the layout an H.264 encoder takes, converted on the
// processor: a few times cheaper here than the encoder's own conversion from
// RGB, and what halves the bytes a frame takes on its way to the encoder.
#ifndef FRAMES_YUV420_H
#define FRAMES_YUV420_H

#include <cstddef>

// The bytes of a width x height yuv420p frame: the luma plane, width x
// height, then the Cb and the Cr planes, each ceil(width / 2) x ceil(height /
// 2), as ffmpeg's raw yuv420p.
size_t Yuv420Bytes(int width, int height);

// Converts a width x height frame of RGBA pixels (4 bytes each, alpha unread),
// bottom row first as GL reads a framebuffer back, into yuv420p (Yuv420Bytes
// at yuv) with every plane top row first. BT.601 weights in limited range,
// what ffmpeg takes for an untagged yuv420p video: luma 16 to 235, chroma 16
// to 240 about 128; each chroma sample the mean of its 2 x 2 pixels, the edge
// pixel counted twice where an odd width or height ends in a single one.
// Every value is within 1 of the exact conversion rounded.
void RgbaToYuv420(const unsigned char *rgba, int width, int height, unsigned char *yuv);

#endif
