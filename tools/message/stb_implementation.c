/* The implementations of the stb single-header libraries make_message uses.
   They live in this file alone so that its build settings, which silence the
   libraries' own warnings, touch no other code. */
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
