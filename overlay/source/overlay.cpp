// The failure overlay: its messages laid out as a panel and rows of glyphs
// (glyph_atlas.h) at the top of the window.
#include "overlay/overlay.h"

#include <glload/gl_3_3.hpp>

#include <array>
#include <exception>
#include <vector>

#include "framework/texture_units.h"
#include "overlay/glyph_atlas.h"

const char *const kOverlayFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

namespace
{
	const GlyphColour kPanelColour = {0.05f, 0.05f, 0.07f, 0.8f};
	const GlyphColour kTextColour = {0.92f, 0.92f, 0.90f, 1.0f};
	const GlyphColour kErrorHeaderColour = {1.0f, 0.45f, 0.40f, 1.0f};
	const GlyphColour kWarningHeaderColour = {1.0f, 0.82f, 0.30f, 1.0f};

	struct Overlay
	{
		bool enabled = false;
		GLuint program = 0;
		GLuint texture = 0;
		GLuint vertexArray = 0;
		GLuint buffer = 0;
		GlyphFont font;

		int width = 0;
		int height = 0;
		// Indexed by OverlayKind, laid out in its order.
		std::array<bool, kOverlayKindCount> shown{};
		std::array<OverlayMessage, kOverlayKindCount> messages;
		int panelHeight = 0;
		GLsizei vertexCount = 0;  // in the buffer; 0 while nothing shows
	};
	Overlay overlay;

	size_t KindIndex(OverlayKind kind)
	{
		return static_cast<size_t>(kind);
	}

	const GlyphColour &RowColour(const OverlayRow &row)
	{
		if(!row.header)
			return kTextColour;
		return row.kind == OverlayKind::Warning ? kWarningHeaderColour : kErrorHeaderColour;
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
		AddGlyphPanel(vertices, overlay.width, overlay.height, overlay.font, 0.0f, 0.0f,
		              static_cast<float>(overlay.width), static_cast<float>(layout.panelHeight), kPanelColour);
		for(size_t row = 0; row < layout.rows.size(); ++row)
		{
			const float top = layout.margin + static_cast<float>(row) * layout.lineHeight;
			AddGlyphRow(vertices, overlay.width, overlay.height, overlay.font, layout.rows[row].text,
			            static_cast<float>(layout.margin), top, layout.lineHeight, layout.advance,
			            RowColour(layout.rows[row]));
		}
		overlay.vertexCount = static_cast<GLsizei>(vertices.size() / kGlyphFloatsPerVertex);

		gl::BindBuffer(gl::GL_ARRAY_BUFFER, overlay.buffer);
		gl::BufferData(gl::GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(float)), vertices.data(),
		               gl::GL_STATIC_DRAW);
	}
}

Error OverlayInit(const std::string &fontFile)
{
	OverlayShutdown();
	const GlyphAtlasLoading loading = LoadGlyphAtlas(fontFile, "overlay font");
	if(loading.error)
		return loading.error;
	try
	{
		overlay.program = BuildGlyphProgram(TextureUnit::kOverlay);
	}
	catch(const std::exception &e)
	{
		return Error{std::string("Could not build the overlay's program: ") + e.what()};
	}
	overlay.texture = UploadGlyphAtlas(loading.atlas, TextureUnit::kOverlay);
	MakeGlyphVertexArray(&overlay.vertexArray, &overlay.buffer);
	overlay.font = loading.atlas.font;
	overlay.enabled = true;
	return {};
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
	DrawGlyphQuads(overlay.program, overlay.vertexArray, 0, overlay.vertexCount);
}

bool OverlayVisible()
{
	return overlay.vertexCount > 0;
}

int OverlayPanelHeight()
{
	return overlay.panelHeight;
}
