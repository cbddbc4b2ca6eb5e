// The texture units of every texture the program's modules bind, in one
// table, so that no two of them share a unit. Each module binds its texture
// on its own unit only and leaves GL_TEXTURE0 active (see the frame-state
// rule in scene/scene.h).
#ifndef FRAMEWORK_TEXTURE_UNITS_H
#define FRAMEWORK_TEXTURE_UNITS_H

namespace TextureUnit
{
	// The scene's message image (images/long.png), the shaders' `message`.
	constexpr int kMessage = 0;
	// The soundtrack's spectrum and samples, the shaders' `spectrum`.
	constexpr int kSound = 1;
	// Bound to no texture, so that it reads black: the channels that a
	// pasted shader may name but the intro does not fill.
	constexpr int kEmpty = 2;
	// Where the scene binds a texture it is making or copying, and leaves
	// none bound.
	constexpr int kScratch = 3;
	// The studio's timeline: the selected sync track's curve and keys.
	constexpr int kTimelineTrack = 4;
	// The studio's timeline: its glyph atlas, and the soundtrack's loudness.
	constexpr int kTimelineText = 5;
	constexpr int kTimelineLoudness = 6;
	// The failure overlay's glyph atlas.
	constexpr int kOverlay = 7;
	// A pass's channels iChannel0 to iChannel3, on units kChannel0 + i: each
	// pass binds its own channels' textures and samplers there before it
	// draws, so these units alone hold whatever the last pass bound.
	constexpr int kChannel0 = 8;
}

#endif
