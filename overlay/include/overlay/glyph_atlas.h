// Monospace text over the picture, shared by the failure overlay and the
// studio's timeline: a TrueType font rasterised once into a glyph atlas of
// coverage bytes (the characters overlay_layout.h draws, and a solid block
// for panels), the atlas's texture and the program that draws from it, and
// the quads of a panel or a row of text.
//
// Vertices are kGlyphFloatsPerVertex floats: the position in clip space
// (x, y), the atlas coordinate (u, v) and the colour (RGBA). Quads are given
// in window pixels from the top-left corner of a window of the size passed.
// The program draws each vertex's colour with the atlas's coverage as
// opacity, so a quad over the solid block is a plain translucent panel.
//
// The GL functions need a current context and follow the frame-state rule
// (scene/scene.h): they leave no program current and GL_TEXTURE0 active, and
// read no state back.
#ifndef OVERLAY_GLYPH_ATLAS_H
#define OVERLAY_GLYPH_ATLAS_H

#include <glload/gl_3_3.hpp>

#include <array>
#include <string>
#include <vector>

#include "overlay/overlay_layout.h"
#include "report/error.h"

// The line height, ascender to descender, the atlas is rasterised at: large
// enough that glyphs stay clean when scaled down to the smallest rows and
// not much blurred when scaled up for a large window.
constexpr float kGlyphAtlasLineHeight = 32.0f;
// Floats per vertex: position, atlas coordinate, colour.
constexpr int kGlyphFloatsPerVertex = 8;
constexpr int kGlyphVerticesPerQuad = 6;

// Where a glyph lies: its box around the pen position on the baseline, in
// atlas pixels (y grows downwards), and the same box in the atlas.
struct Glyph
{
	float left, top, right, bottom;
	float u0, v0, u1, v1;
};

// What drawing needs to know of the rasterised font.
struct GlyphFont
{
	std::array<Glyph, kOverlayGlyphCount> glyphs{};  // indexed by OverlayGlyphIndex
	float solidU = 0.0f;                             // the middle of the solid block
	float solidV = 0.0f;
	float ascent = 0.0f;          // atlas pixels above the baseline
	double advancePerLine = 0.0;  // advance width / line height
};

// The font rasterised into coverage bytes, rows of a multiple of four bytes.
struct GlyphAtlas
{
	int width = 0;
	int height = 0;
	std::vector<unsigned char> coverage;
	GlyphFont font;
};

struct GlyphColour
{
	float r, g, b, a;
};

// A font's atlas as LoadGlyphAtlas made it: empty when error is set.
struct GlyphAtlasLoading
{
	GlyphAtlas atlas;
	Error error;
};

// Reads the TrueType font at fontFile and rasterises its atlas; a code point
// the font lacks is drawn as its '?'. Fails with one line naming the file as
// `role` (such as "overlay font"): "Could not read the ROLE FILE: REASON"
// when it cannot be read, "Could not use the ROLE FILE: not a TrueType font
// with Latin letters" when it is no usable font.
GlyphAtlasLoading LoadGlyphAtlas(const std::string &fontFile, const std::string &role);

// Uploads width x height bytes of one channel, rows unpadded, to a new
// GL_R8 texture, clamped to the edge, linear with mipmaps (for drawing it
// smaller than it is), and leaves it bound on texture unit `unit` for good
// (a unit of framework/texture_units.h that only the caller binds), with
// GL_TEXTURE0 active. Returns its name.
GLuint UploadCoverageTexture(const unsigned char *bytes, int width, int height, int unit);

// Uploads the atlas as UploadCoverageTexture does.
GLuint UploadGlyphAtlas(const GlyphAtlas &atlas, int unit);

// The vertex stage of the glyph program: passes the atlas coordinate on as
// `atlasCoord` and the colour as `tint`, for programs that draw the same
// vertices in their own way.
extern const char *const kGlyphVertexShader;

// Builds the glyph program, its sampler on texture unit `unit`. Throws the
// shader toolkit's exception when it fails.
GLuint BuildGlyphProgram(int unit);

// Makes a vertex buffer and the vertex array that reads it as glyph
// vertices, and leaves both bound.
void MakeGlyphVertexArray(GLuint *vertexArray, GLuint *buffer);

// Appends two triangles covering the rectangle [left, right) x [top, bottom)
// of a width x height window, with the atlas rectangle (u0, v0)..(u1, v1).
void AddGlyphQuad(std::vector<float> &vertices, int width, int height, float left, float top, float right, float bottom,
                  float u0, float v0, float u1, float v1, const GlyphColour &colour);

// Appends a panel over the rectangle: a quad on the solid block.
void AddGlyphPanel(std::vector<float> &vertices, int width, int height, const GlyphFont &font, float left, float top,
                   float right, float bottom, const GlyphColour &colour);

// Appends the glyphs of a row of text (characters as OverlayDrawableText
// gives them; spaces take no quad) whose top-left corner is at (left, top),
// in cells of `advance` pixels and rows of `lineHeight`; the baseline falls
// on a whole pixel.
void AddGlyphRow(std::vector<float> &vertices, int width, int height, const GlyphFont &font, const std::u32string &text,
                 float left, float top, int lineHeight, int advance, const GlyphColour &colour);

// Draws `count` vertices from `first` of the vertex array with the program,
// blended over the frame by their opacity (the frame's alpha becomes the
// coverage's "over"); leaves no program current and blending off, and the
// vertex array bound.
void DrawGlyphQuads(GLuint program, GLuint vertexArray, GLint first, GLsizei count);

#endif
