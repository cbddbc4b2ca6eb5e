// Encodes raw 8-bit RGB pixels as the complete bytes of an uncompressed 24-bit
// BMP file, in memory.
#ifndef BITMAP_H
#define BITMAP_H

#include <cstddef>

// rgb holds width x height pixels of red, green, blue, rows of exactly
// width * 3 bytes, the first row the top of the picture. Stores a new array
// holding the whole file in *output (the caller releases it with delete[])
// and returns the file's size. Width and height must not be negative; an
// allocation failure throws std::bad_alloc.
size_t bitmap_encode_rgb(const unsigned char *rgb, int width, int height, unsigned char **output);

// The same for input whose first row is the bottom of the picture, the order
// in which GL reads a frame back and a BMP file stores its rows.
size_t bitmap_encode_rgb_bottom_up(const unsigned char *rgb, int width, int height, unsigned char **output);

#endif
