// The studio's timeline: the band program, the loudness and track textures
// and the band's and status text's quads.
#include "studio/timeline.h"

#include <glload/gl_3_3.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/texture_units.h"
#include "glutil/Shader.h"
#include "overlay/glyph_atlas.h"
#include "intro_constants.h"
#include "sound/loudness.h"
#include "studio/timeline_layout.h"
#include "studio/track_curve.h"

namespace
{
	const GlyphColour kBandColour = {0.05f, 0.05f, 0.07f, 0.8f};
	const GlyphColour kTextColour = {0.92f, 0.92f, 0.90f, 1.0f};
	const int kBandVertices = kGlyphVerticesPerQuad;

	// The band's quad carries the band's colour; inside the bar the program
	// draws the bar's own colours. Positions are whole pixels from the
	// window's top-left corner, as timeline_layout.h gives them, so that each
	// pixel decides alone what it shows.
	const char *const kBandFragmentShader =
	    "#version 330\n"
	    "uniform sampler2D loudness;\n"
	    "// left, top, right, bottom: window pixels from the top-left corner,\n"
	    "// right and bottom excluded\n"
	    "uniform vec4 bar;\n"
	    "uniform float frameHeight;\n"
	    "// the envelope's coordinate at the bar's right end: the piece's length\n"
	    "// over the soundtrack's\n"
	    "uniform float loudnessSpan;\n"
	    "// the playhead's first column and its width in columns\n"
	    "uniform vec2 playhead;\n"
	    "// the loop's state (0 off, 1 A marked, 2 A..B) and A's and B's columns\n"
	    "uniform vec3 loop;\n"
	    "// the column where the soundtrack ends before the piece does, else -1\n"
	    "uniform float soundEnd;\n"
	    "// the shown sync track, read texel by texel: row 0 its curve over the\n"
	    "// piece's length, 0 at its lowest value to 1 at its highest; row 1 1.0\n"
	    "// in the columns that hold a key, else 0.0\n"
	    "uniform sampler2D track;\n"
	    "// 1 while a track is shown, else 0\n"
	    "uniform float trackShown;\n"
	    "in vec2 atlasCoord;\n"
	    "in vec4 tint;\n"
	    "out vec4 fragColour;\n"
	    "const vec4 kBar = vec4(0.13, 0.13, 0.16, 0.85);\n"
	    "const vec4 kEnvelope = vec4(0.32, 0.42, 0.58, 0.95);\n"
	    "const vec4 kPlayed = vec4(0.50, 0.72, 0.98, 0.95);\n"
	    "const vec3 kLoopTint = vec3(1.0, 0.72, 0.20);\n"
	    "const vec4 kLoopMark = vec4(1.0, 0.75, 0.25, 1.0);\n"
	    "const vec4 kPlayhead = vec4(1.0, 1.0, 1.0, 1.0);\n"
	    "const vec4 kSilence = vec4(0.07, 0.07, 0.08, 0.85);\n"
	    "const vec4 kSoundEnd = vec4(0.90, 0.35, 0.35, 1.0);\n"
	    "const vec4 kCurve = vec4(0.72, 0.90, 0.24, 1.0);\n"
	    "const vec4 kKey = vec4(0.93, 1.0, 0.62, 1.0);\n"
	    "// The curve's level at column position c, linear between columns.\n"
	    "float curveAt(float c)\n"
	    "{\n"
	    "    int left = int(c);\n"
	    "    int right = min(left + 1, textureSize(track, 0).x - 1);\n"
	    "    return mix(texelFetch(track, ivec2(left, 0), 0).r, texelFetch(track, ivec2(right, 0), 0).r, fract(c));\n"
	    "}\n"
	    "// The track's colour at this pixel of the bar, p its column from the\n"
	    "// bar's left, or a colour of no alpha where neither curve nor key is.\n"
	    "vec4 trackColour(vec2 pixel, float p)\n"
	    "{\n"
	    "    float last = float(textureSize(track, 0).x - 1);\n"
	    "    float perPixel = last / max(bar.z - bar.x - 1.0, 1.0);\n"
	    "    // A key's tick: the 3 pixel columns about the key's, over the bar's\n"
	    "    // top third, 2 rows at least.\n"
	    "    if(pixel.y < bar.y + max(2.0, floor((bar.w - bar.y) / 3.0)))\n"
	    "    {\n"
	    "        float end = min((p + 1.5) * perPixel, last + 1.0);\n"
	    "        for(float c = max(ceil((p - 1.5) * perPixel), 0.0); c < end; c += 1.0)\n"
	    "            if(texelFetch(track, ivec2(int(c), 1), 0).r > 0.5)\n"
	    "                return kKey;\n"
	    "    }\n"
	    "    // The curve's lowest and highest level over the pixel's width, so\n"
	    "    // that neither a jump nor a short peak leaves a gap.\n"
	    "    float from = clamp((p - 0.5) * perPixel, 0.0, last);\n"
	    "    float to = clamp((p + 0.5) * perPixel, 0.0, last);\n"
	    "    vec2 span = vec2(min(curveAt(from), curveAt(to)), max(curveAt(from), curveAt(to)));\n"
	    "    for(float c = floor(from) + 1.0; c < to; c += 1.0)\n"
	    "    {\n"
	    "        float level = texelFetch(track, ivec2(int(c), 0), 0).r;\n"
	    "        span = vec2(min(span.x, level), max(span.y, level));\n"
	    "    }\n"
	    "    // A line 2 pixels thick about the span, with level 0 on the bar's\n"
	    "    // last 2 rows and 1 on its first 2.\n"
	    "    float rows = bar.w - bar.y - 2.0;\n"
	    "    float centre = pixel.y + 0.5;\n"
	    "    if(centre >= bar.w - 2.0 - span.y * rows && centre < bar.w - span.x * rows)\n"
	    "        return kCurve;\n"
	    "    return vec4(0.0);\n"
	    "}\n"
	    "void main()\n"
	    "{\n"
	    "    vec2 pixel = vec2(floor(gl_FragCoord.x), frameHeight - 1.0 - floor(gl_FragCoord.y));\n"
	    "    float along = (pixel.x - bar.x) / max(bar.z - bar.x - 1.0, 1.0);\n"
	    "    float u = along * loudnessSpan;\n"
	    "    // Sampled outside any branch, so that the mipmap level is defined.\n"
	    "    float level = texture(loudness, vec2(clamp(u, 0.0, 1.0), 0.5)).r;\n"
	    "    if(u > 1.0)\n"
	    "        level = 0.0;\n"
	    "    bool barRows = pixel.y >= bar.y && pixel.y < bar.w;\n"
	    "    fragColour = tint;\n"
	    "    if(barRows && pixel.x >= bar.x && pixel.x < bar.z)\n"
	    "    {\n"
	    "        float rise = (bar.w - pixel.y - 0.5) / (bar.w - bar.y);\n"
	    "        fragColour = soundEnd >= 0.0 && pixel.x > soundEnd ? kSilence : kBar;\n"
	    "        if(rise < level)\n"
	    "            fragColour = pixel.x < playhead.x ? kPlayed : kEnvelope;\n"
	    "        if(loop.x == 2.0 && pixel.x >= loop.y && pixel.x <= loop.z)\n"
	    "            fragColour.rgb = mix(fragColour.rgb, kLoopTint, 0.4);\n"
	    "        vec4 shown = trackShown == 1.0 ? trackColour(pixel, pixel.x - bar.x) : vec4(0.0);\n"
	    "        if(shown.a > 0.0)\n"
	    "            fragColour = shown;\n"
	    "    }\n"
	    "    if(barRows && ((loop.x >= 1.0 && pixel.x == loop.y) || (loop.x == 2.0 && pixel.x == loop.z)))\n"
	    "        fragColour = kLoopMark;\n"
	    "    if(barRows && pixel.x == soundEnd)\n"
	    "        fragColour = kSoundEnd;\n"
	    "    if(barRows && pixel.x >= playhead.x && pixel.x < playhead.x + playhead.y)\n"
	    "        fragColour = kPlayhead;\n"
	    "}\n";

	struct BandUniforms
	{
		GLint bar = -1;
		GLint frameHeight = -1;
		GLint loudnessSpan = -1;
		GLint soundEnd = -1;
		GLint playhead = -1;
		GLint loop = -1;
		GLint trackShown = -1;
	};

	// A measure of the loudness handed between its thread and the studio's.
	struct LoudnessMeasure
	{
		std::mutex lock;
		bool done = false;
		LoudnessOpening loudness;
	};

	struct Timeline
	{
		bool enabled = false;
		bool text = false;  // the font loaded: the status is drawn
		GLuint bandProgram = 0;
		GLuint glyphProgram = 0;
		GLuint atlasTexture = 0;
		GLuint loudnessTexture = 0;
		GLuint trackTexture = 0;
		GLuint vertexArray = 0;
		GLuint buffer = 0;
		BandUniforms uniforms;
		GlyphFont font;
		double loudnessSeconds = 0.0;
		// The loudness being measured on a thread of its own, so that a long
		// soundtrack does not hold the window; null once it is in.
		std::shared_ptr<LoudnessMeasure> measure;
		// The track whose curve the track texture holds, over a piece of
		// trackEnd seconds, drawn while trackShown.
		bool trackShown = false;
		Track track;
		double trackEnd = 0.0;

		TimelineLayout layout;
		// The quads in the buffer are for this layout and status, unless stale.
		bool stale = true;
		std::string status;
		std::vector<float> vertices;
		GLsizei textVertices = 0;
	};
	Timeline timeline;

	// Builds the band's program and points its samplers at the loudness's
	// and the track's units, leaving no program current. Throws the
	// toolkit's exception when it fails.
	GLuint BuildBandProgram(BandUniforms &uniforms)
	{
		const GLuint program = glutil::LinkProgram(kGlyphVertexShader, kBandFragmentShader);
		gl::UseProgram(program);
		gl::Uniform1i(gl::GetUniformLocation(program, "loudness"), TextureUnit::kTimelineLoudness);
		gl::Uniform1i(gl::GetUniformLocation(program, "track"), TextureUnit::kTimelineTrack);
		uniforms.bar = gl::GetUniformLocation(program, "bar");
		uniforms.frameHeight = gl::GetUniformLocation(program, "frameHeight");
		uniforms.loudnessSpan = gl::GetUniformLocation(program, "loudnessSpan");
		uniforms.soundEnd = gl::GetUniformLocation(program, "soundEnd");
		uniforms.playhead = gl::GetUniformLocation(program, "playhead");
		uniforms.loop = gl::GetUniformLocation(program, "loop");
		uniforms.trackShown = gl::GetUniformLocation(program, "trackShown");
		gl::UseProgram(0);
		return program;
	}

	// Uploads the levels as one row of bytes with mipmaps, so that a bar
	// narrower than the row averages its columns, and leaves the texture
	// bound on the loudness's unit for good, with GL_TEXTURE0 active.
	GLuint UploadLoudness(const std::vector<float> &levels)
	{
		std::vector<unsigned char> bytes(levels.size());
		std::transform(levels.begin(), levels.end(), bytes.begin(),
		               [](float level) { return static_cast<unsigned char>(std::lround(255.0f * level)); });
		return UploadCoverageTexture(bytes.data(), static_cast<int>(bytes.size()), 1, TextureUnit::kTimelineLoudness);
	}

	// Makes the track's texture: kTimelineLoudnessColumns x 2 floats, read
	// texel by texel, their rows as the band program's `track` takes them,
	// left unset until UploadTrackCurve. Leaves it bound on the track's unit
	// for good, with GL_TEXTURE0 active.
	GLuint MakeTrackTexture()
	{
		GLuint texture = 0;
		gl::GenTextures(1, &texture);
		gl::ActiveTexture(gl::GL_TEXTURE0 + TextureUnit::kTimelineTrack);
		gl::BindTexture(gl::GL_TEXTURE_2D, texture);
		gl::TexImage2D(gl::GL_TEXTURE_2D, 0, gl::GL_R32F, kTimelineLoudnessColumns, 2, 0, gl::GL_RED, gl::GL_FLOAT,
		               nullptr);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MIN_FILTER, gl::GL_NEAREST);
		gl::TexParameteri(gl::GL_TEXTURE_2D, gl::GL_TEXTURE_MAG_FILTER, gl::GL_NEAREST);
		gl::ActiveTexture(gl::GL_TEXTURE0);
		return texture;
	}

	// Writes the curve's levels and key flags into the track's texture,
	// leaving GL_TEXTURE0 active.
	void UploadTrackCurve(const TrackCurve &curve)
	{
		std::vector<float> rows(curve.levels);
		rows.insert(rows.end(), curve.keys.begin(), curve.keys.end());
		gl::ActiveTexture(gl::GL_TEXTURE0 + TextureUnit::kTimelineTrack);
		gl::BindTexture(gl::GL_TEXTURE_2D, timeline.trackTexture);
		gl::TexSubImage2D(gl::GL_TEXTURE_2D, 0, 0, 0, kTimelineLoudnessColumns, 2, gl::GL_RED, gl::GL_FLOAT,
		                  rows.data());
		gl::ActiveTexture(gl::GL_TEXTURE0);
	}

	// Builds the band's quad and the status text's for the layout and
	// uploads them, leaving the timeline's buffer bound.
	void Rebuild(const std::string &status)
	{
		const TimelineLayout &layout = timeline.layout;
		timeline.vertices.clear();
		AddGlyphPanel(timeline.vertices, layout.width, layout.height, timeline.font, 0.0f,
		              static_cast<float>(layout.bandTop), static_cast<float>(layout.width),
		              static_cast<float>(layout.height), kBandColour);
		if(timeline.text)
		{
			const TimelineStatusRow row = FitTimelineStatus(status, layout, timeline.font.advancePerLine);
			AddGlyphRow(timeline.vertices, layout.width, layout.height, timeline.font, row.text,
			            static_cast<float>(layout.margin), static_cast<float>(layout.textTop), layout.lineHeight,
			            row.advance, kTextColour);
		}
		timeline.textVertices = static_cast<GLsizei>(timeline.vertices.size() / kGlyphFloatsPerVertex) - kBandVertices;
		gl::BindBuffer(gl::GL_ARRAY_BUFFER, timeline.buffer);
		gl::BufferData(gl::GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(timeline.vertices.size() * sizeof(float)),
		               timeline.vertices.data(), gl::GL_DYNAMIC_DRAW);
		timeline.status = status;
		timeline.stale = false;
	}

	float LoopUniform(LoopState loop)
	{
		return loop == LoopState::Off ? 0.0f : loop == LoopState::MarkedA ? 1.0f : 2.0f;
	}
}

TimelineStart TimelineInit(const std::string &soundtrackFile, const std::string &fontFile)
{
	TimelineShutdown();
	TimelineStart start;
	try
	{
		timeline.bandProgram = BuildBandProgram(timeline.uniforms);
	}
	catch(const std::exception &e)
	{
		start.error = Error{std::string("Could not build the timeline's program: ") + e.what()};
		return start;
	}

	const GlyphAtlasLoading loading = LoadGlyphAtlas(fontFile, "timeline font");
	start.error = loading.error;
	if(!loading.error)
	{
		try
		{
			timeline.glyphProgram = BuildGlyphProgram(TextureUnit::kTimelineText);
			timeline.atlasTexture = UploadGlyphAtlas(loading.atlas, TextureUnit::kTimelineText);
			timeline.font = loading.atlas.font;
			timeline.text = true;
		}
		catch(const std::exception &e)
		{
			start.error = Error{std::string("Could not build the timeline's text program: ") + e.what()};
		}
	}

	// Flat until the measure is in. The thread owns its share of the measure
	// and is left to end by itself, even after the timeline is gone.
	timeline.loudnessTexture = UploadLoudness(std::vector<float>(kTimelineLoudnessColumns, 0.0f));
	timeline.trackTexture = MakeTrackTexture();
	timeline.measure = std::make_shared<LoudnessMeasure>();
	std::thread([measure = timeline.measure, soundtrackFile] {
		LoudnessOpening loudness = ComputeLoudness(soundtrackFile, kTimelineLoudnessColumns);
		const std::lock_guard<std::mutex> held(measure->lock);
		measure->loudness = std::move(loudness);
		measure->done = true;
	}).detach();
	MakeGlyphVertexArray(&timeline.vertexArray, &timeline.buffer);
	timeline.enabled = true;
	start.on = true;
	return start;
}

TimelineMeasure TimelineMeasuring()
{
	TimelineMeasure measure;
	if(!timeline.measure)
		return measure;
	{
		const std::lock_guard<std::mutex> held(timeline.measure->lock);
		measure.measuring = !timeline.measure->done;
		if(measure.measuring)
			return measure;
		measure.error = timeline.measure->loudness.error;
		gl::DeleteTextures(1, &timeline.loudnessTexture);
		timeline.loudnessTexture = UploadLoudness(timeline.measure->loudness.levels);
		timeline.loudnessSeconds = timeline.measure->loudness.seconds;
	}
	timeline.measure.reset();
	return measure;
}

void TimelineShutdown()
{
	if(timeline.enabled)
	{
		gl::DeleteProgram(timeline.bandProgram);
		gl::DeleteProgram(timeline.glyphProgram);
		gl::DeleteTextures(1, &timeline.atlasTexture);
		gl::DeleteTextures(1, &timeline.loudnessTexture);
		gl::DeleteTextures(1, &timeline.trackTexture);
		gl::DeleteVertexArrays(1, &timeline.vertexArray);
		gl::DeleteBuffers(1, &timeline.buffer);
	}
	timeline = Timeline();
}

void TimelineResize(int width, int height)
{
	if(!timeline.enabled || (width == timeline.layout.width && height == timeline.layout.height))
		return;
	timeline.layout = LayOutTimeline(width, height);
	timeline.stale = true;
}

void TimelineShowTrack(const Track *track, double end)
{
	if(!timeline.enabled)
		return;
	const bool shown = track && end > 0.0;
	if(shown && !(timeline.trackShown && *track == timeline.track && end == timeline.trackEnd))
	{
		UploadTrackCurve(TraceTrackCurve(*track, end, kTimelineLoudnessColumns));
		timeline.track = *track;
		timeline.trackEnd = end;
	}
	timeline.trackShown = shown;
}

double TimelineSoundEnd(double pieceSeconds)
{
	const double seconds = timeline.loudnessSeconds;
	return seconds > 0.0 && seconds <= pieceSeconds - 1.0 / kCaptureFramesPerSecond ? seconds : -1.0;
}

void TimelineDraw(const TimelineView &view)
{
	const TimelineLayout &layout = timeline.layout;
	if(!timeline.enabled || !TimelineHasBar(layout))
		return;
	if(timeline.stale || view.status != timeline.status)
		Rebuild(view.status);

	const float playhead =
	    static_cast<float>(TimelinePlayheadLeft(layout, TimelineColumnAt(layout, view.time, view.end)));
	const float span = timeline.loudnessSeconds > 0.0 ? static_cast<float>(view.end / timeline.loudnessSeconds) : 0.0f;
	gl::UseProgram(timeline.bandProgram);
	gl::Uniform4f(timeline.uniforms.bar, static_cast<float>(layout.barLeft), static_cast<float>(layout.barTop),
	              static_cast<float>(layout.barRight), static_cast<float>(layout.barBottom));
	gl::Uniform1f(timeline.uniforms.frameHeight, static_cast<float>(layout.height));
	gl::Uniform1f(timeline.uniforms.loudnessSpan, span);
	const double soundEnd = TimelineSoundEnd(view.end);
	gl::Uniform1f(timeline.uniforms.soundEnd,
	              soundEnd >= 0.0 ? static_cast<float>(TimelineColumnAt(layout, soundEnd, view.end)) : -1.0f);
	gl::Uniform2f(timeline.uniforms.playhead, playhead, static_cast<float>(layout.playheadWidth));
	gl::Uniform3f(timeline.uniforms.loop, LoopUniform(view.loop),
	              static_cast<float>(TimelineColumnAt(layout, view.loopA, view.end)),
	              static_cast<float>(TimelineColumnAt(layout, view.loopB, view.end)));
	gl::Uniform1f(timeline.uniforms.trackShown, timeline.trackShown ? 1.0f : 0.0f);
	DrawGlyphQuads(timeline.bandProgram, timeline.vertexArray, 0, kBandVertices);
	if(timeline.textVertices > 0)
		DrawGlyphQuads(timeline.glyphProgram, timeline.vertexArray, kBandVertices, timeline.textVertices);
}
