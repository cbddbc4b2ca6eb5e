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

#endif
