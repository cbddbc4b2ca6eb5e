/* The font rasteriser behind the failure overlay's glyph atlas: Debian's
 * stb_truetype, compiled here once. */
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>
