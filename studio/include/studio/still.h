// The studio's stills: a frame read back from GL and stored as a PNG file.
#ifndef STUDIO_STILL_H
#define STUDIO_STILL_H

#include <string>
#include <vector>

#include <functional>

#include "report/error.h"

// Where the still of frame number frame goes: "stills/frame<N>.png".
std::string StillPath(int frame);

// The first name for a new still of frame that taken does not claim:
// StillPath(frame), then "stills/frame<N>-2.png", "-3", and so on, so that a
// second still of a frame keeps the first.
std::string FreeStillPath(int frame, const std::function<bool(const std::string &)> &taken);

// Encodes rgb (width x height pixels of 3 bytes, bottom row first, as GL
// reads them back) as a PNG, top row first, and writes it to path through a
// temporary and a rename, making path's folder when it is missing. Fails
// with one line naming the file.
Error WriteStill(const std::string &path, const std::vector<unsigned char> &rgb, int width, int height);

#endif
