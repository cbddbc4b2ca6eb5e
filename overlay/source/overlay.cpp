// The failure overlay: the glyph atlas, its GL program and the panel's and
// glyphs' quads.
#include "overlay/overlay.h"

#include <glload/gl_3_3.hpp>

#include <stb/stb_truetype.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "framework/texture_units.h"
#include "glutil/Shader.h"

const char *const kOverlayFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

namespace
{
	// The atlas is rasterised at this line height (ascender to descender),
	// large enough that glyphs stay clean when scaled down to the smallest
	// rows and not much blurred when scaled up for a large window.
	const float kAtlasLineHeight = 32.0f;
	// Empty texels around each glyph's cell, so that neither linear filtering
	// nor the smaller mipmap levels mix neighbouring glyphs.
	const int kCellPadding = 4;
	const int kAtlasColumns = 16;
	// The cell after the glyphs holds a solid block of this many texels
	// square; the panel samples its middle.
	const int kSolidCell = kOverlayGlyphCount;
	const int kSolidSize = 4;
	const GLenum kAtlasUnit = gl::GL_TEXTURE0 + TextureUnit::kOverlay;

	// Position (x, y in clip space), atlas coordinate (u, v), colour (RGBA).
	const int kFloatsPerVertex = 8;
	const int kVerticesPerQuad = 6;

	struct Colour
	{
		float r, g, b, a;
	};
	const Colour kPanelColour = {0.05f, 0.05f, 0.07f, 0.8f};
	const Colour kTextColour = {0.92f, 0.92f, 0.90f, 1.0f};
	const Colour kErrorHeaderColour = {1.0f, 0.45f, 0.40f, 1.0f};
	const Colour kWarningHeaderColour = {1.0f, 0.82f, 0.30f, 1.0f};

	const char *const kVertexShader = "#version 330\n"
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

	// Where a glyph lies: its box around the pen position on the baseline, in
	// atlas pixels (y grows downwards), and the same box in the atlas.
	struct Glyph
	{
		float left, top, right, bottom;
		float u0, v0, u1, v1;
	};

	// What drawing needs to know of the rasterised font.
	struct Font
	{
		std::array<Glyph, kOverlayGlyphCount> glyphs{};
		float solidU = 0.0f;  // the middle of the solid block
		float solidV = 0.0f;
		float ascent = 0.0f;          // atlas pixels above the baseline
		double advancePerLine = 0.0;  // advance width / line height
	};

	// The font rasterised into coverage bytes.
	struct Atlas
	{
		int width = 0;
		int height = 0;
		std::vector<unsigned char> coverage;
		Font font;
	};

	struct Overlay
	{
		bool enabled = false;
		GLuint program = 0;
		GLuint texture = 0;
		GLuint vertexArray = 0;
		GLuint buffer = 0;
		Font font;

		int width = 0;
		int height = 0;
		// Indexed by OverlayKind; an error is laid out above a warning.
		std::array<bool, 2> shown{};
		std::array<OverlayMessage, 2> messages;
		int panelHeight = 0;
		GLsizei vertexCount = 0;  // in the buffer; 0 while nothing shows
	};
	Overlay overlay;

	size_t KindIndex(OverlayKind kind)
	{
		return kind == OverlayKind::Error ? 0 : 1;
	}

	// The whole file, or false with the reason.
	bool ReadFontFile(const std::string &path, std::vector<unsigned char> &bytes, std::string &reason)
	{
		std::FILE *file = std::fopen(path.c_str(), "rb");
		if(!file)
		{
			reason = std::strerror(errno);
			return false;
		}
		unsigned char buffer[65536];
		size_t count = 0;
		while((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
			bytes.insert(bytes.end(), buffer, buffer + count);
		const bool failed = std::ferror(file);
		const int readError = errno;
		std::fclose(file);
		if(failed)
			reason = std::strerror(readError);
		return !failed;
	}

	// The code point rasterised for a glyph index, as OverlayGlyphIndex
	// numbers them.
	int CodePointOf(int glyphIndex)
	{
		return glyphIndex == kOverlayGlyphCount - 1 ? static_cast<int>(kOverlayEllipsis) : ' ' + glyphIndex;
	}

	// Rasterises every glyph the overlay draws into cells of one size, in
	// rows of kAtlasColumns, followed by the solid block's cell. A code point the
	// font lacks is rasterised as its '?'.
	Atlas RasteriseAtlas(const stbtt_fontinfo &font)
	{
		Atlas atlas;
		const float scale = stbtt_ScaleForPixelHeight(&font, kAtlasLineHeight);
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

		// A small solid block in the middle of its cell: the panel samples
		// its centre, and the smaller mipmap levels of the glyphs' cells
		// stay clear of it.
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
		atlas.font.advancePerLine = advance * scale / kAtlasLineHeight;
		return atlas;
	}

	// Reads and rasterises the font, or returns false with a one-line reason
	// naming the file.
	bool LoadAtlas(const std::string &fontFile, Atlas &atlas, std::string &error)
	{
		std::vector<unsigned char> bytes;
		std::string reason;
		if(!ReadFontFile(fontFile, bytes, reason))
		{
			error = "Could not read the overlay font " + fontFile + ": " + reason;
			return false;
		}
		// The offset table alone is 12 bytes; stb_truetype would read past
		// the end of anything shorter.
		const size_t kOffsetTableSize = 12;
		const int offset = bytes.size() < kOffsetTableSize ? -1 : stbtt_GetFontOffsetForIndex(bytes.data(), 0);
		stbtt_fontinfo font;
		if(offset < 0 || !stbtt_InitFont(&font, bytes.data(), offset) || stbtt_FindGlyphIndex(&font, '?') == 0)
		{
			error = "Could not use the overlay font " + fontFile + ": not a TrueType font with Latin letters";
			return false;
		}
		atlas = RasteriseAtlas(font);
		return true;
	}

	// Uploads the atlas to a new texture, with mipmaps for rows smaller than
	// the atlas's, and leaves it bound on the overlay's unit for good, with
	// GL_TEXTURE0 active.
	GLuint UploadAtlas(const Atlas &atlas)
	{
		GLuint texture = 0;
		gl::GenTextures(1, &texture);
		gl::ActiveTexture(kAtlasUnit);
		gl::BindTexture(gl::GL_TEXTURE_2D, texture);
		gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_R8, atlas.width, atlas.height, 0, gl::GL_RED, gl::GL_UNSIGNED_BYTE,
		               atlas.coverage.data());
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_S, gl::GL_CLAMP_TO_EDGE);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_WRAP_T, gl::GL_CLAMP_TO_EDGE);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_LINEAR_MIPMAP_LINEAR);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAG_FILTER, gl::GL_LINEAR);
		gl::GenerateMipmap(gl::GL_TEXTURE_2D);
		gl::ActiveTexture(gl::GL_TEXTURE0);
		return texture;
	}

	// Builds the overlay's program and points its sampler at the overlay's
	// unit, leaving no program current. Throws the toolkit's exception when
	// it fails.
	GLuint BuildOverlayProgram()
	{
		const GLuint program = glutil::LinkProgram(kVertexShader, kFragmentShader);
		gl::UseProgram(program);
		gl::Uniform1i(gl::GetUniformLocation(program, "atlas"), TextureUnit::kOverlay);
		gl::UseProgram(0);
		return program;
	}

	// Makes the buffer and the vertex array that reads it, and leaves both
	// bound.
	void MakeVertexArray()
	{
		gl::GenVertexArrays(1, &overlay.vertexArray);
		gl::GenBuffers(1, &overlay.buffer);
		gl::BindVertexArray(overlay.vertexArray);
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, overlay.buffer);
		const GLsizei stride = kFloatsPerVertex * sizeof(float);
		gl::EnableVertexAttribArray(0);
		gl::VertexAttribPointer(0, 2, gl::GL_FLOAT, gl::GL_FALSE, stride, nullptr);
		gl::EnableVertexAttribArray(1);
		gl::VertexAttribPointer(1, 2, gl::GL_FLOAT, gl::GL_FALSE, stride,
		                        reinterpret_cast<const void *>(2 * sizeof(float)));
		gl::EnableVertexAttribArray(2);
		gl::VertexAttribPointer(2, 4, gl::GL_FLOAT, gl::GL_FALSE, stride,
		                        reinterpret_cast<const void *>(4 * sizeof(float)));
	}

	// Appends two triangles covering a rectangle given in window pixels from
	// the top-left corner, with its atlas rectangle and colour.
	void AddQuad(std::vector<float> &vertices, float left, float top, float right, float bottom, float u0, float v0,
	             float u1, float v1, const Colour &colour)
	{
		const float x0 = 2.0f * left / overlay.width - 1.0f;
		const float x1 = 2.0f * right / overlay.width - 1.0f;
		const float y0 = 1.0f - 2.0f * top / overlay.height;
		const float y1 = 1.0f - 2.0f * bottom / overlay.height;
		const float corners[kVerticesPerQuad][4] = {
		    {x0, y0, u0, v0}, {x0, y1, u0, v1}, {x1, y1, u1, v1}, {x0, y0, u0, v0}, {x1, y1, u1, v1}, {x1, y0, u1, v0},
		};
		for(const auto &corner : corners)
			vertices.insert(vertices.end(),
			                {corner[0], corner[1], corner[2], corner[3], colour.r, colour.g, colour.b, colour.a});
	}

	const Colour &RowColour(const OverlayRow &row)
	{
		if(!row.header)
			return kTextColour;
		return row.kind == OverlayKind::Error ? kErrorHeaderColour : kWarningHeaderColour;
	}

	// Lays the messages on show out for the window's size and uploads the
	// panel's and glyphs' quads, leaving the overlay's buffer bound.
	void Rebuild()
	{
		std::vector<OverlayMessage> messages;
		for(size_t i = 0; i < overlay.messages.size(); ++i)
			if(overlay.shown[i])
				messages.push_back(overlay.messages[i]);
		const OverlayLayout layout =
		    LayOutOverlay(messages, overlay.width, overlay.height, overlay.font.advancePerLine);
		overlay.panelHeight = layout.panelHeight;
		overlay.vertexCount = 0;
		if(layout.rows.empty())
			return;

		std::vector<float> vertices;

		AddQuad(vertices, 0.0f, 0.0f, static_cast<float>(overlay.width), static_cast<float>(layout.panelHeight),
		        overlay.font.solidU, overlay.font.solidV, overlay.font.solidU, overlay.font.solidV, kPanelColour);
		const float scale = layout.lineHeight / kAtlasLineHeight;
		for(size_t row = 0; row < layout.rows.size(); ++row)
		{
			const float baseline =
			    std::round(layout.margin + static_cast<float>(row) * layout.lineHeight + overlay.font.ascent * scale);
			const std::u32string &text = layout.rows[row].text;
			const Colour &colour = RowColour(layout.rows[row]);
			for(size_t column = 0; column < text.size(); ++column)
			{
				if(text[column] == U' ')
					continue;
				const Glyph &glyph = overlay.font.glyphs[OverlayGlyphIndex(text[column])];
				const float pen = static_cast<float>(layout.margin + static_cast<int>(column) * layout.advance);
				AddQuad(vertices, pen + glyph.left * scale, baseline + glyph.top * scale, pen + glyph.right * scale,
				        baseline + glyph.bottom * scale, glyph.u0, glyph.v0, glyph.u1, glyph.v1, colour);
			}
		}
		overlay.vertexCount = static_cast<GLsizei>(vertices.size() / kFloatsPerVertex);

		gl::BindBuffer(gl::GL_ARRAY_BUFFER, overlay.buffer);
		gl::BufferData(gl::GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(float)), vertices.data(),
		               gl::GL_STATIC_DRAW);
	}
}

bool OverlayInit(const std::string &fontFile, std::string *error)
{
	OverlayShutdown();
	Atlas atlas;
	if(!LoadAtlas(fontFile, atlas, *error))
		return false;
	try
	{
		overlay.program = BuildOverlayProgram();
	}
	catch(const std::exception &e)
	{
		*error = std::string("Could not build the overlay's program: ") + e.what();
		return false;
	}
	overlay.texture = UploadAtlas(atlas);
	MakeVertexArray();
	overlay.font = atlas.font;
	overlay.enabled = true;
	return true;
}

void OverlayShutdown()
{
	if(overlay.enabled)
	{
		gl::DeleteProgram(overlay.program);
		gl::DeleteTextures(1, &overlay.texture);
		gl::DeleteVertexArrays(1, &overlay.vertexArray);
		gl::DeleteBuffers(1, &overlay.buffer);
	}
	overlay = Overlay();
}

void OverlayShow(OverlayKind kind, const std::string &header, const std::string &body)
{
	if(!overlay.enabled)
		return;
	const size_t index = KindIndex(kind);
	OverlayMessage &message = overlay.messages[index];
	if(overlay.shown[index] && message.header == header && message.body == body)
		return;
	overlay.shown[index] = true;
	message.kind = kind;
	message.header = header;
	message.body = body;
	Rebuild();
}

void OverlayHide(OverlayKind kind)
{
	const size_t index = KindIndex(kind);
	if(!overlay.shown[index])
		return;
	overlay.shown[index] = false;
	overlay.messages[index] = OverlayMessage();
	Rebuild();
}

void OverlayHideAll()
{
	overlay.shown = {};
	overlay.messages = {};
	overlay.vertexCount = 0;
	overlay.panelHeight = 0;
}

void OverlayResize(int width, int height)
{
	if(!overlay.enabled || (width == overlay.width && height == overlay.height))
		return;
	overlay.width = width;
	overlay.height = height;
	if(overlay.shown[0] || overlay.shown[1])
		Rebuild();
}

void OverlayDraw()
{
	if(overlay.vertexCount == 0)
		return;
	// The atlas has been on its unit since OverlayInit.
	gl::UseProgram(overlay.program);
	gl::BindVertexArray(overlay.vertexArray);
	gl::Enable(gl::GL_BLEND);
	gl::BlendFuncSeparate(gl::GL_SRC_ALPHA, gl::GL_ONE_MINUS_SRC_ALPHA, gl::GL_ONE, gl::GL_ONE_MINUS_SRC_ALPHA);
	gl::DrawArrays(gl::GL_TRIANGLES, 0, overlay.vertexCount);
	gl::Disable(gl::GL_BLEND);
	gl::UseProgram(0);
}

bool OverlayVisible()
{
	return overlay.vertexCount > 0;
}

int OverlayPanelHeight()
{
	return overlay.panelHeight;
}
