/* The PNG decoder behind the intro's texture: Debian's stb_image, compiled
 * here once. Images larger than the largest texture the intro relies on are
 * refused before any pixel memory is allocated. */
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_MAX_DIMENSIONS 16384
#include <stb/stb_image.h>
