// Monospace text over the picture: the glyph atlas, its texture and program,
// and the quads of panels and rows of text.
#include "overlay/glyph_atlas.h"

#include <stb/stb_truetype.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "glutil/Shader.h"

namespace
{
	// Empty texels around each glyph's cell, so that neither linear filtering
	// nor the smaller mipmap levels mix neighbouring glyphs.
	const int kCellPadding = 4;
	const int kAtlasColumns = 16;
	// The cell after the glyphs holds a solid block of this many texels
	// square; panels sample its middle.
	const int kSolidCell = kOverlayGlyphCount;
	const int kSolidSize = 4;

	// The atlas holds coverage in its red channel: the glyph's colour with
	// the coverage as opacity, or the panel's colour where it is solid.
	// Scaled-down strokes spread over more pixels with less coverage each;
	// raising it keeps small text as light as large text.
	const char *const kFragmentShader =
	    "#version 330\n"
	    "uniform sampler2D atlas;\n"
	    "in vec2 atlasCoord;\n"
	    "in vec4 tint;\n"
	    "out vec4 fragColour;\n"
	    "void main()\n"
	    "{\n"
	    "    fragColour = vec4(tint.rgb, tint.a * min(1.0, 1.5 * texture(atlas, atlasCoord).r));\n"
	    "}\n";

	// A font file's bytes, or the system's reason it could not be read.
	struct FontBytes
	{
		std::vector<unsigned char> bytes;
		Error error;
	};

	// Reads the file at path whole.
	FontBytes ReadFontFile(const std::string &path)
	{
		FontBytes font;
		std::FILE *file = std::fopen(path.c_str(), "rb");
		if(!file)
		{
			font.error = Error{std::strerror(errno)};
			return font;
		}
		unsigned char buffer[65536];
		size_t count = 0;
		while((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
			font.bytes.insert(font.bytes.end(), buffer, buffer + count);
		const bool failed = std::ferror(file);
		const int readError = errno;
		std::fclose(file);
		if(failed)
			font.error = Error{std::strerror(readError)};
		return font;
	}

	// The code point rasterised for a glyph index, as OverlayGlyphIndex
	// numbers them.
	int CodePointOf(int glyphIndex)
	{
		return glyphIndex == kOverlayGlyphCount - 1 ? static_cast<int>(kOverlayEllipsis) : ' ' + glyphIndex;
	}

	// Rasterises every glyph into cells of one size, in rows of
	// kAtlasColumns, followed by the solid block's cell. A code point the
	// font lacks is rasterised as its '?'.
	GlyphAtlas RasteriseAtlas(const stbtt_fontinfo &font)
	{
		GlyphAtlas atlas;
		const float scale = stbtt_ScaleForPixelHeight(&font, kGlyphAtlasLineHeight);
		std::array<int, kOverlayGlyphCount> codePoints{};
		int cellWidth = 0;
		int cellHeight = 0;
		for(int i = 0; i < kOverlayGlyphCount; ++i)
		{
			codePoints[i] = stbtt_FindGlyphIndex(&font, CodePointOf(i)) != 0 ? CodePointOf(i) : '?';
			int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
			stbtt_GetCodepointBitmapBox(&font, codePoints[i], scale, scale, &x0, &y0, &x1, &y1);
			cellWidth = std::max(cellWidth, x1 - x0);
			cellHeight = std::max(cellHeight, y1 - y0);
		}
		cellWidth += 2 * kCellPadding;
		cellHeight += 2 * kCellPadding;
		const int cells = kOverlayGlyphCount + 1;
		// Rows of a multiple of four bytes upload alike under GL's default
		// unpack alignment and the frame-state rule's.
		atlas.width = (kAtlasColumns * cellWidth + 3) / 4 * 4;
		atlas.height = (cells + kAtlasColumns - 1) / kAtlasColumns * cellHeight;
		atlas.coverage.assign(static_cast<size_t>(atlas.width) * atlas.height, 0);

		const float texelWidth = 1.0f / atlas.width;
		const float texelHeight = 1.0f / atlas.height;
		for(int i = 0; i < kOverlayGlyphCount; ++i)
		{
			int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
			stbtt_GetCodepointBitmapBox(&font, codePoints[i], scale, scale, &x0, &y0, &x1, &y1);
			const int left = i % kAtlasColumns * cellWidth + kCellPadding;
			const int top = i / kAtlasColumns * cellHeight + kCellPadding;
			stbtt_MakeCodepointBitmap(&font, &atlas.coverage[static_cast<size_t>(top) * atlas.width + left], x1 - x0,
			                          y1 - y0, atlas.width, scale, scale, codePoints[i]);
			// One empty texel around the ink, so that its edges fade out.
			Glyph &glyph = atlas.font.glyphs[i];
			glyph.left = static_cast<float>(x0 - 1);
			glyph.top = static_cast<float>(y0 - 1);
			glyph.right = static_cast<float>(x1 + 1);
			glyph.bottom = static_cast<float>(y1 + 1);
			glyph.u0 = (left - 1) * texelWidth;
			glyph.v0 = (top - 1) * texelHeight;
			glyph.u1 = (left + x1 - x0 + 1) * texelWidth;
			glyph.v1 = (top + y1 - y0 + 1) * texelHeight;
		}

		// A small solid block in the middle of its cell: panels sample its
		// centre, and the smaller mipmap levels of the glyphs' cells stay
		// clear of it.
		const int solidLeft = kSolidCell % kAtlasColumns * cellWidth + cellWidth / 2 - kSolidSize / 2;
		const int solidTop = kSolidCell / kAtlasColumns * cellHeight + cellHeight / 2 - kSolidSize / 2;
		for(int y = solidTop; y < solidTop + kSolidSize; ++y)
			std::fill_n(&atlas.coverage[static_cast<size_t>(y) * atlas.width + solidLeft], kSolidSize, 255);
		atlas.font.solidU = (solidLeft + kSolidSize / 2.0f) * texelWidth;
		atlas.font.solidV = (solidTop + kSolidSize / 2.0f) * texelHeight;

		int ascent = 0, descent = 0, lineGap = 0;
		stbtt_GetFontVMetrics(&font, &ascent, &descent, &lineGap);
		atlas.font.ascent = ascent * scale;
		int advance = 0, leftBearing = 0;
		stbtt_GetCodepointHMetrics(&font, 'M', &advance, &leftBearing);
		atlas.font.advancePerLine = advance * scale / kGlyphAtlasLineHeight;
		return atlas;
	}
}

const char *const kGlyphVertexShader = "#version 330\n"
                                       "layout(location = 0) in vec2 position;\n"
                                       "layout(location = 1) in vec2 texCoord;\n"
                                       "layout(location = 2) in vec4 colour;\n"
                                       "out vec2 atlasCoord;\n"
                                       "out vec4 tint;\n"
                                       "void main()\n"
                                       "{\n"
                                       "    gl_Position = vec4(position, 0.0, 1.0);\n"
                                       "    atlasCoord = texCoord;\n"
                                       "    tint = colour;\n"
                                       "}\n";

GlyphAtlasLoading LoadGlyphAtlas(const std::string &fontFile, const std::string &role)
{
	GlyphAtlasLoading loading;
	const FontBytes read = ReadFontFile(fontFile);
	if(read.error)
	{
		loading.error = Error{"Could not read the " + role + " " + fontFile + ": " + read.error.message};
		return loading;
	}
	const std::vector<unsigned char> &bytes = read.bytes;
	// The offset table alone is 12 bytes; stb_truetype would read past the
	// end of anything shorter.
	const size_t kOffsetTableSize = 12;
	const int offset = bytes.size() < kOffsetTableSize ? -1 : stbtt_GetFontOffsetForIndex(bytes.data(), 0);
	stbtt_fontinfo font;
	if(offset < 0 || !stbtt_InitFont(&font, bytes.data(), offset) || stbtt_FindGlyphIndex(&font, '?') == 0)
	{
		loading.error =
		    Error{"Could not use the " + role + " " + fontFile + ": not a TrueType font with Latin letters"};
		return loading;
	}
	loading.atlas = RasteriseAtlas(font);
	return loading;
}

GLuint UploadCoverageTexture(const unsigned char *bytes, int width, int height, int unit)
{
	GLuint texture = 0;
	gl::GenTextures(1, &texture);
	gl::ActiveTexture(gl::GL_TEXTURE0 + unit);
	gl::BindTexture(gl::GL_TEXTURE_2D, texture);
	gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_R8, width, height, 0, gl::GL_RED, gl::GL_UNSIGNED_BYTE, bytes);
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_S, gl::GL_CLAMP_TO_EDGE);
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_T, gl::GL_CLAMP_TO_EDGE);
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_LINEAR_MIPMAP_LINEAR);
	gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAG_FILTER, gl::GL_LINEAR);
	gl::GenerateMipmap(gl::GL_TEXTURE_2D);
	gl::ActiveTexture(gl::GL_TEXTURE0);
	return texture;
}

GLuint UploadGlyphAtlas(const GlyphAtlas &atlas, int unit)
{
	return UploadCoverageTexture(atlas.coverage.data(), atlas.width, atlas.height, unit);
}

GLuint BuildGlyphProgram(int unit)
{
	const GLuint program = glutil::LinkProgram(kGlyphVertexShader, kFragmentShader);
	gl::UseProgram(program);
	gl::Uniform1i(gl::GetUniformLocation(program, "atlas"), unit);
	gl::UseProgram(0);
	return program;
}

void MakeGlyphVertexArray(GLuint *vertexArray, GLuint *buffer)
{
	gl::GenVertexArrays(1, vertexArray);
	gl::GenBuffers(1, buffer);
	gl::BindVertexArray(*vertexArray);
	gl::BindBuffer(gl::GL_ARRAY_BUFFER, *buffer);
	const GLsizei stride = kGlyphFloatsPerVertex * sizeof(float);
	gl::EnableVertexAttribArray(0);
	gl::VertexAttribPointer(0, 2, gl::GL_FLOAT, gl::GL_FALSE, stride, nullptr);
	gl::EnableVertexAttribArray(1);
	gl::VertexAttribPointer(1, 2, gl::GL_FLOAT, gl::GL_FALSE, stride,
	                        reinterpret_cast<const void *>(2 * sizeof(float)));
	gl::EnableVertexAttribArray(2);
	gl::VertexAttribPointer(2, 4, gl::GL_FLOAT, gl::GL_FALSE, stride,
	                        reinterpret_cast<const void *>(4 * sizeof(float)));
}

void AddGlyphQuad(std::vector<float> &vertices, int width, int height, float left, float top, float right, float bottom,
                  float u0, float v0, float u1, float v1, const GlyphColour &colour)
{
	const float x0 = 2.0f * left / width - 1.0f;
	const float x1 = 2.0f * right / width - 1.0f;
	const float y0 = 1.0f - 2.0f * top / height;
	const float y1 = 1.0f - 2.0f * bottom / height;
	const float corners[kGlyphVerticesPerQuad][4] = {
	    {x0, y0, u0, v0}, {x0, y1, u0, v1}, {x1, y1, u1, v1}, {x0, y0, u0, v0}, {x1, y1, u1, v1}, {x1, y0, u1, v0},
	};
	for(const auto &corner : corners)
		vertices.insert(vertices.end(),
		                {corner[0], corner[1], corner[2], corner[3], colour.r, colour.g, colour.b, colour.a});
}

void AddGlyphPanel(std::vector<float> &vertices, int width, int height, const GlyphFont &font, float left, float top,
                   float right, float bottom, const GlyphColour &colour)
{
	AddGlyphQuad(vertices, width, height, left, top, right, bottom, font.solidU, font.solidV, font.solidU, font.solidV,
	             colour);
}

void AddGlyphRow(std::vector<float> &vertices, int width, int height, const GlyphFont &font, const std::u32string &text,
                 float left, float top, int lineHeight, int advance, const GlyphColour &colour)
{
	const float scale = lineHeight / kGlyphAtlasLineHeight;
	const float baseline = std::round(top + font.ascent * scale);
	for(size_t column = 0; column < text.size(); ++column)
	{
		if(text[column] == U' ')
			continue;
		const Glyph &glyph = font.glyphs[OverlayGlyphIndex(text[column])];
		const float pen = left + static_cast<float>(static_cast<int>(column) * advance);
		AddGlyphQuad(vertices, width, height, pen + glyph.left * scale, baseline + glyph.top * scale,
		             pen + glyph.right * scale, baseline + glyph.bottom * scale, glyph.u0, glyph.v0, glyph.u1, glyph.v1,
		             colour);
	}
}

void DrawGlyphQuads(GLuint program, GLuint vertexArray, GLint first, GLsizei count)
{
	gl::UseProgram(program);
	gl::BindVertexArray(vertexArray);
	gl::Enable(gl::GL_BLEND);
	gl::BlendFuncSeparate(gl::GL_SRC_ALPHA, gl::GL_ONE_MINUS_SRC_ALPHA, gl::GL_ONE, gl::GL_ONE_MINUS_SRC_ALPHA);
	gl::DrawArrays(gl::GL_TRIANGLES, first, count);
	gl::Disable(gl::GL_BLEND);
	gl::UseProgram(0);
}
