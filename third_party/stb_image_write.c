/* The PNG encoder behind the studio's stills: Debian's stb_image_write,
 * compiled here once. */
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
