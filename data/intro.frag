#version 330

// LUMITER PARTY: the intro's picture.
//
// One full-screen fragment shader draws all 135 seconds as eight scenes, one
// per section of the soundtrack (tools/soundtrack/score.txt), in step with its
// tempo:
//
//   bars  0- 7    0- 15 s  intro      deep space; the title lights up, the plucks ripple out
//   bars  8-15   15- 30 s  buildup    a ring tunnel speeding up into a white-out
//   bars 16-23   30- 45 s  drop A     a kaleidoscope pumping on the kick, a sine scroller
//   bars 24-31   45- 60 s  drop B     a neon horizon: striped sun, grid floor, chrome scroller
//   bars 32-39   60- 75 s  breakdown  aurora over hills and still water, no beat
//   bars 40-47   75- 90 s  buildup 2  hyperspace streaks and snare rings closing in
//   bars 48-63   90-120 s  finale     a tunnel lined with the message; a mandala from bar 56
//   bars 64-71  120-135 s  outro      a sunset, the last words, a fade to black
//
// Mesa's software renderer runs both sides of every branch for every pixel,
// so the cost of a frame is the cost of all eight scenes together. The scenes
// therefore share their expensive parts, computed once per pixel in main():
// the turned and folded polar view, the water mirror, the stars and the
// message look-ups; what each scene adds on top is kept to a few sines.
//
// What is timed by hand against the music rather than by the score's grid --
// the fades, the flashes, the builds' light, the kick's zoom and the folds --
// comes from the sync tracks in data/tracks.txt, keyed on its beats and bars.

uniform float iGlobalTime;   // seconds since the music started
uniform float width;         // the window's size in pixels
uniform float height;
uniform float loopDuration;  // the period of cyclic motion, in seconds
uniform sampler2D message;   // one line of text in the alpha channel; row 0 is its bottom
uniform sampler2D spectrum;  // the soundtrack at this moment: row 0 its spectrum, row 1 its samples

// The sync tracks (data/tracks.txt); each reads 0 where the file has no keys for it.
uniform float black;   // how far the picture is faded to black: 0 none, 1 black; the fades from and to black
uniform float flash;   // the white flash on the first beat of a bar: its strength, held through that bar
uniform float riser;   // how far a build has come, 0..1: the light at the buildups' far end, core and rings
uniform float pump;    // how far the view zooms in as the kick hits: 0.15 shows it 15% larger
uniform float folds;   // the wedges the view is folded into (the kaleidoscope, the mandala); 0 unfolded

out vec4 outputColor;

// ---------------------------------------------------------------- the music's clock

// The score's tempo and meter.
const float BPM = 128.0;
const float BEAT = 60.0 / BPM;   // 0.46875 s
const float BAR = 4.0 * BEAT;    // 1.875 s

// The first bar of each section; the song ends after bar 71 (the picture
// has faded to black a beat before, by the track black).
const float BUILDUP_BAR = 8.0;
const float DROP_A_BAR = 16.0;
const float DROP_B_BAR = 24.0;
const float BREAKDOWN_BAR = 32.0;
const float BUILDUP2_BAR = 40.0;
const float FINALE_BAR = 48.0;
const float OUTRO_BAR = 64.0;
const float END_BAR = 72.0;

const int INTRO = 0;
const int BUILDUP = 1;
const int DROP_A = 2;
const int DROP_B = 3;
const int BREAKDOWN = 4;
const int BUILDUP2 = 5;
const int FINALE = 6;
const int OUTRO = 7;

// The message's first words ("LUMITER PARTY") and last words ("see you at
// the next party ...") as widths in texel columns from the start and from
// the end of the strip rendered from images/message.txt.
const float TITLE_TEXELS = 1090.0;
const float FAREWELL_TEXELS = 1920.0;

const float TAU = 6.28318531;

// Set once per pixel by main(); the initial values only keep the compiler
// from warning about globals read before they are written.
float t = 0.0;           // seconds since the music started
float beats = 0.0;       // beats since the start
float bars = 0.0;        // bars since the start
float kick = 0.0;        // the kick drum: 1 as it hits, decaying until the next beat; 0 where it rests
float bass = 0.0;        // how loud the soundtrack's low end (the kick and the bass) is now, 0..1
float loopPhase = 0.0;   // 0..1 over each loopDuration
float chord = 0.0;       // the pads' chord as a hue; see chordHue()
vec3 chordColour = vec3(0.0);
float halfWidth = 1.0;   // half the window's width in scene units (the shorter side spans 1 unit)
float halfHeight = 0.5;
float pixel = 0.01;      // one pixel in scene units
vec2 msgSize = vec2(0.0); // the message texture's size in texels; 0 x 0 when it failed to load

// What the scenes share at this pixel; see main().
struct Shared
{
	float r;        // the distance from the centre of the scene's turned and zoomed view
	float angle;    // the angle there, -pi..pi, or within half a wedge when folded
	vec2 sky;       // the point itself, or below a water line the sky point the water mirrors
	float stars;    // starlight at `sky`
	float letters;  // the message's coverage at this pixel
	float line;     // the height within the message's line here: 0 at its bottom, 1 at its top
	float halo;     // the message spread round this pixel: glow, shadow or outline
	float bloom;    // a soft light round a phrase shown whole (the title, the last words)
};

// ---------------------------------------------------------------- helpers

float hash(vec2 q)
{
	return fract(sin(dot(q, vec2(39.17, 157.31))) * 21783.913);
}

vec2 hash2(vec2 q)
{
	return fract(sin(vec2(dot(q, vec2(39.17, 157.31)), dot(q, vec2(113.53, 271.97)))) * 21783.913);
}

mat2 rotation(float angle)
{
	float c = cos(angle);
	float s = sin(angle);
	return mat2(c, s, -s, c);
}

// A fully saturated colour wheel: 0 red, 1/3 green, 2/3 blue, 1 red again.
vec3 rainbow(float x)
{
	return 0.5 + 0.5 * cos(TAU * (x + vec3(0.0, -0.3333, -0.6667)));
}

// 1 on the integer lines of x and 0 between them: `lineHalfWidth` is the
// line's half width and `blur` the distance over which its edge fades, both
// in units of x.
float gridLine(float x, float lineHalfWidth, float blur)
{
	float d = abs(fract(x + 0.5) - 0.5);
	return 1.0 - smoothstep(lineHalfWidth, lineHalfWidth + blur, d);
}

// Whether the kick drum plays on this beat: four on the floor from the
// buildup on, silent on the last beat of bar 15, through the breakdown and
// in the last bar before the finale, and gone after bar 67.
bool kickPlays(float beatIndex)
{
	float bar = floor(beatIndex / 4.0);
	float beatInBar = beatIndex - 4.0 * bar;
	if(bar < BUILDUP_BAR || bar >= OUTRO_BAR + 4.0)
		return false;
	if(bar == DROP_A_BAR - 1.0 && beatInBar == 3.0)
		return false;
	if(bar >= BREAKDOWN_BAR && bar < BUILDUP2_BAR)
		return false;
	return bar != FINALE_BAR - 1.0;
}

// The pads' chord for the current bar (A minor, F, C, G in turn) as a hue.
float chordHue()
{
	const vec4 hues = vec4(0.80, 0.62, 0.04, 0.44);
	int now = int(mod(floor(bars), 4.0));
	int before = int(mod(floor(bars) + 3.0, 4.0));
	return mix(hues[before], hues[now], smoothstep(0.0, 0.2, fract(bars)));
}

// ---------------------------------------------------------------- the message

// The message's coverage at texel column x, its columns clamped to `columns`
// (or wrapped round the strip when `repeat`), and height v in the line
// (0 bottom, 1 top; nothing outside).
float ink(float x, float v, vec2 columns, bool repeat)
{
	float u = repeat ? fract(x / max(msgSize.x, 1.0)) : clamp(x, columns.x, columns.y) / max(msgSize.x, 1.0);
	float inside = step(0.0, v) * step(v, 1.0) * step(1.0, msgSize.x);
	return inside * textureLod(message, vec2(u, v), 0.0).a;
}

// Where a phrase of the message sits: its columns first..first+count centred
// at `centre` with a line height of `size`, shrunk to fit the window. Returns
// the texel column and line height at p.
vec2 phraseAt(vec2 p, vec2 centre, float size, float first, float count)
{
	float lines = count / max(msgSize.y, 1.0);   // the phrase's width in line heights
	size = min(size, 1.8 * halfWidth / lines);
	vec2 q = (p - centre) / size;
	return vec2(first + (q.x + 0.5 * lines) * msgSize.y, q.y + 0.5);
}

// The scroll position of the message that runs through both drops, in line
// heights from the left window edge: it enters from the right half a second
// after the first drop and leaves as the second drop ends.
float scrollPosition(float lineHeight)
{
	float lines = msgSize.x / max(msgSize.y, 1.0);
	float across = 2.0 * halfWidth / lineHeight;
	float progress = (t - DROP_A_BAR * BAR - 0.5) / ((BREAKDOWN_BAR - DROP_A_BAR) * BAR - 1.0);
	return progress * (lines + across) - across;
}

// Where the scrolling message sits in the band bottom..bottom+lineHeight,
// each column lifted by `lift`: the texel column and line height at p.
vec2 scrollerAt(vec2 p, float bottom, float lineHeight, float lift)
{
	return vec2(((p.x + halfWidth) / lineHeight + scrollPosition(lineHeight)) * msgSize.y,
	            (p.y - bottom - lift) / lineHeight);
}

// ---------------------------------------------------------------- shared scenery

// A layer of stars, one per grid cell at a random spot, `cells` cells per
// unit; about a third of the cells hold a visible one. Returns brightness.
float stars(vec2 p, float cells, float seed)
{
	vec2 q = p * cells;
	vec2 id = floor(q);
	vec2 h = hash2(id + seed);
	vec2 d = fract(q) - 0.2 - 0.6 * h;
	float radius = 1.1 * pixel * cells;
	float brightness = smoothstep(0.65, 1.0, h.x) * (0.6 + 0.4 * sin(t * (1.0 + 3.0 * h.y) + 40.0 * h.x));
	float d2 = dot(d, d) / (radius * radius);
	return brightness * (exp(-d2) + 0.08 / (1.0 + d2));
}

// Still water below the horizon at height `level`: the point of the sky it
// mirrors, rippled more the nearer the water is.
vec2 waterMirror(vec2 p, float level, float s)
{
	float below = level - p.y;
	float depth = 1.0 / (below + 0.03);
	float ripple = sin(depth * 2.5 - s * 1.7 + sin(p.x * 9.0 + depth) * 1.2) + 0.5 * sin(depth * 6.1 + s * 2.3);
	return vec2(p.x + 0.004 * ripple, level + below + 0.012 * below * ripple);
}

// ---------------------------------------------------------------- intro, 0-15 s

// Deep space with drifting stars and a slow nebula in the pads' colours,
// coming up from black (the track black). The title lights up letter by letter
// over bars 2-3; from bar 4, when the plucks come in, each pluck sends a ring
// of light out from it. The last beat dims for the drums coming in.
vec3 sceneIntro(vec2 p, float s, Shared sh)
{
	vec2 q = 1.7 * p + vec2(0.02 * s, 0.005 * s);
	float a = sin(2.1 * q.x + 1.8 * sin(1.7 * q.y + 0.05 * s));
	float b = sin(2.6 * q.y + 2.2 * sin(1.3 * q.x - 0.04 * s) + a);
	float cloud = smoothstep(-0.2, 1.4, a + b + 0.6 * sin(4.0 * q.x - 3.0 * q.y + b));
	vec3 tint = mix(vec3(0.35, 0.12, 0.55), chordColour * vec3(0.5, 0.5, 0.7), 0.35);
	vec3 col = vec3(0.004, 0.006, 0.02) + 0.22 * cloud * cloud * tint;
	col += vec3(0.02, 0.04, 0.09) * (1.0 - smoothstep(0.0, 1.2, length(p - vec2(0.2, -0.3))));
	col += vec3(0.85, 0.88, 1.0) * sh.stars;

	// The plucks play on eighths 0, 3 and 6 of each bar from bar 4 on.
	vec2 centre = vec2(0.0, 0.06);
	float eighth = fract(s / BAR) * 8.0;
	float age = (eighth - (eighth >= 6.0 ? 6.0 : (eighth >= 3.0 ? 3.0 : 0.0))) * 0.5 * BEAT;
	float ring = exp(-abs(length((p - centre) * vec2(0.55, 1.0)) - 0.08 - 0.5 * age) * 60.0 - 2.5 * age);
	col += vec3(0.35, 0.6, 1.0) * ring * step(4.0 * BAR, s);

	// The title: a left-to-right reveal, then a glint sweeping across it every bar.
	float sweep = 2.4 * smoothstep(2.0 * BAR, 3.8 * BAR, s) - 1.2;
	float reveal = smoothstep(-0.1, 0.1, sweep - p.x / halfWidth);
	float glint = exp(-abs(p.x - 3.0 * fract(s / BAR) + 1.5) * 12.0);
	vec3 letters = mix(vec3(0.7, 0.8, 1.0), vec3(1.0), glint) * (0.75 + 0.5 * glint);
	col = mix(col, letters, sh.letters * reveal);
	col += vec3(0.25, 0.4, 1.0) * (sh.halo + 0.35 * sh.bloom) * reveal * (0.5 + 0.5 * glint);
	return col * (1.0 - 0.7 * smoothstep(7.5 * BAR, 8.0 * BAR, s));
}

// ---------------------------------------------------------------- buildup, 15-30 s

// A tunnel of rings and panels the camera flies down, faster and faster. The
// kick pumps the rings; from bar 12 the riser lights the far end (the track
// riser); the snare (quarters in bar 13, sixteenths in 14, a roll in 15)
// flips the panels; the last bar fades to white for the drop.
vec3 sceneTunnel(float s, Shared sh)
{
	float travel = 1.2 * s + 0.1 * s * s;
	float depth = 0.3 / sh.r;
	float along = 2.0 * (depth + travel);
	float around = (sh.angle + 0.35 * sin(0.2 * along + 0.6 * s)) / TAU * 16.0;

	// Screen-space blur widths of the ring and seam lines, so they stay smooth.
	float rings = gridLine(along, 0.06, 0.6 / (sh.r * sh.r) * pixel * 1.5);
	float seams = gridLine(around, 0.04, 16.0 / (TAU * sh.r) * pixel * 1.5);

	// The snare flips which panels are lit on every hit.
	float bar = floor(s / BAR);
	float snareStep = bar == 5.0 ? BEAT : (bar == 6.0 ? BEAT / 4.0 : (bar == 7.0 ? BEAT / 8.0 : 0.0));
	float flip = snareStep > 0.0 ? mod(floor(s / snareStep), 2.0) : 0.0;
	float snare = snareStep > 0.0 ? exp(-4.0 * fract(s / snareStep)) : 0.0;
	float panel = mod(floor(along) + floor(around) + flip, 2.0);

	vec3 wall = mix(vec3(0.03, 0.02, 0.10), vec3(0.14, 0.04, 0.28), panel);
	wall += panel * snare * vec3(0.25, 0.15, 0.5);
	vec3 lineColour = mix(vec3(0.1, 0.7, 1.0), vec3(0.9, 0.4, 1.0), 0.5 + 0.5 * sin(0.25 * along));
	vec3 col = wall + lineColour * max(rings * (0.5 + 1.5 * kick), 0.6 * seams);
	col *= 1.0 - exp(-5.0 * sh.r);

	// The far end of the tunnel glows brighter as the riser climbs.
	col += vec3(0.7, 0.8, 1.0) * (0.01 + 0.08 * riser * riser) / (sh.r * sh.r + 0.01);
	return mix(col, vec3(1.0), pow(smoothstep(7.0 * BAR, 8.0 * BAR, s), 2.0));
}

// ---------------------------------------------------------------- drop A, 30-45 s

// An eight-fold kaleidoscope of plasma in the chord's colours, turning one
// wedge per loop; every kick zooms it and sends a ring outwards. The message
// scrolls along the bottom on a sine wave, with a dark shadow round it.
vec3 sceneKaleido(vec2 p, float s, Shared sh)
{
	vec2 q = sh.r * vec2(cos(sh.angle), sin(sh.angle));
	float v = sin(9.0 * q.x - 1.5 * s) + sin(13.0 * q.y + s) + sin(7.0 * (q.x + q.y) + 0.7 * s) + sin(18.0 * sh.r - 3.0 * s);
	float bands = 0.5 + 0.5 * sin(3.0 * v);
	vec3 col = rainbow(chord + 0.08 * v) * (0.15 + 0.85 * bands * bands);
	col *= 0.35 + 0.65 * smoothstep(0.05, 0.6, sh.r);
	col += vec3(1.0, 0.9, 0.8) * kick * exp(-abs(length(p) - fract(beats) * 1.3) * 40.0);

	col *= 1.0 - 0.85 * sh.halo;
	vec3 fill = mix(vec3(1.0, 0.95, 0.6), vec3(1.0, 0.4, 0.8), clamp(sh.line, 0.0, 1.0));
	return mix(col, fill * (1.0 + 0.4 * kick), sh.letters);
}

// ---------------------------------------------------------------- drop B, 45-60 s

// A neon horizon: a striped sun that swells on the kick over a grid floor
// rushing towards the camera, its lines coloured by the chord; the message
// goes on scrolling across the sky in chrome letters with a pink outline.
vec3 sceneHorizon(vec2 p, float s, Shared sh)
{
	const float horizon = -0.08;

	// The sky, darker upwards, with a few stars.
	float up = p.y - horizon;
	vec3 sky = mix(vec3(0.55, 0.1, 0.45), vec3(0.03, 0.01, 0.08), smoothstep(0.0, 0.45, up));
	sky += 0.6 * sh.stars * smoothstep(0.1, 0.4, up);

	// The sun, its lower half cut by stripes that scroll down and widen towards the horizon.
	vec2 sunCentre = vec2(0.0, horizon + 0.2);
	float sunRadius = 0.26 + 0.012 * kick;
	float d = length(p - sunCentre);
	float below = clamp((sunCentre.y - p.y) / sunRadius, 0.0, 1.0);
	float cut = p.y > sunCentre.y ? 1.0 : step(0.12 + 0.5 * below * below, fract(14.0 * p.y - 0.8 * s));
	float disc = (1.0 - smoothstep(sunRadius - pixel, sunRadius + pixel, d)) * cut;
	vec3 sunColour = mix(vec3(1.0, 0.95, 0.35), vec3(1.0, 0.2, 0.55), smoothstep(sunRadius, -sunRadius, p.y - sunCentre.y));
	sky = mix(sky, sunColour, disc);
	sky += vec3(1.0, 0.3, 0.5) * (0.006 + 0.01 * kick) / (0.02 + max(d - sunRadius, 0.0) * 3.0);

	// The floor: lines across and into the distance, fading into haze.
	float down = max(-up, 1e-3);
	float depth = 0.25 / down;
	vec2 g = vec2(3.0 * p.x * depth, 2.0 * depth + 5.0 * s);
	vec2 blur = fwidth(g) * 1.2;
	float lines = max(gridLine(g.x, 0.03, blur.x), gridLine(g.y, 0.03, blur.y));
	vec3 lineColour = mix(chordColour, vec3(1.0), 0.25);
	vec3 ground = vec3(0.04, 0.0, 0.07) + lineColour * lines * smoothstep(0.0, 0.12, down) * (0.6 + 1.4 * kick);
	ground += vec3(0.5, 0.1, 0.4) * exp(-down * 18.0);

	vec3 col = up > 0.0 ? sky : ground;
	float v = sh.line;
	vec3 chrome = v > 0.5 ? mix(vec3(0.35, 0.3, 0.9), vec3(1.0), (v - 0.5) * 2.0)
	                      : mix(vec3(1.0, 0.5, 0.2), vec3(0.2, 0.05, 0.3), (0.5 - v) * 2.0);
	col = mix(col, vec3(1.0, 0.3, 0.8), clamp(2.5 * sh.halo - sh.letters, 0.0, 1.0));
	return mix(col, chrome, sh.letters);
}

// ---------------------------------------------------------------- breakdown, 60-75 s

// A quiet night: two folded curtains of aurora swaying over dark hills and
// a moon, all mirrored in still water; the aurora breathes once per loop, and
// sparkles come up on the water as the arpeggio creeps back in. It comes up
// from black over the first bar (the track black) and dims over the last half
// bar.
vec3 sceneAurora(vec2 p, float s, Shared sh, float level)
{
	vec2 q = sh.sky;
	vec3 col = mix(vec3(0.02, 0.05, 0.10), vec3(0.0, 0.0, 0.02), smoothstep(level, 0.5, q.y));
	col += 0.8 * sh.stars;

	vec2 moon = vec2(min(0.55, halfWidth - 0.12), 0.3);
	float md = length(q - moon);
	float craters = 0.88 + 0.12 * sin(60.0 * q.x + 3.0) * sin(50.0 * q.y);
	col = mix(col, vec3(0.95, 0.93, 0.85) * craters, 1.0 - smoothstep(0.055 - pixel, 0.055 + pixel, md));
	col += vec3(0.1, 0.12, 0.2) * 0.01 / (md * md + 0.01);

	float breath = 0.75 + 0.25 * sin(TAU * loopPhase);
	for(int i = 0; i < 2; ++i)
	{
		float k = float(i);
		float base = -0.1 + 0.12 * k + 0.07 * sin(1.1 * q.x + 0.2 * s + 2.0 * k) + 0.03 * sin(2.7 * q.x - 0.3 * s + k);
		float h = q.y - base;
		// Broad folds along the curtain, and fine rays shifting within them.
		float fold = sin(7.0 * q.x + 1.5 * sin(2.3 * q.x + 0.3 * s + k) + 0.4 * s);
		float rays = 0.5 + 0.5 * sin(47.0 * q.x + 3.0 * fold - 0.7 * s);
		float curtain = h > 0.0 ? exp(-h * (2.5 + 2.0 * k) * (1.3 - 0.5 * fold)) + 0.6 * exp(-h * 25.0) : exp(h * 30.0);
		vec3 hue = mix(vec3(0.1, 1.0, 0.5), vec3(0.6, 0.25, 0.9), smoothstep(0.02, 0.3, h) + 0.3 * k);
		col += hue * curtain * (0.35 + 0.3 * fold + 0.35 * rays) * breath * (0.8 - 0.2 * k);
	}

	// The hills along the horizon, in front of the sky.
	float ridge = level + 0.035 + 0.025 * sin(5.0 * q.x + 1.0) + 0.015 * sin(13.0 * q.x);
	col = mix(col, vec3(0.005, 0.01, 0.02), smoothstep(ridge + pixel, ridge - pixel, q.y));

	// Under the water line: darker, with the moon's glitter and the late sparkles.
	if(p.y < level)
	{
		col *= vec3(0.45, 0.55, 0.65);
		float glitter = exp(-abs(p.x - moon.x) * 25.0) * (0.5 + 0.5 * sin(200.0 * p.y + 6.0 * s + 10.0 * p.x));
		col += vec3(0.5, 0.5, 0.45) * glitter * smoothstep(level, level - 0.05, p.y);
		col += vec3(0.6, 1.0, 0.9) * sh.stars * smoothstep(4.0 * BAR, 8.0 * BAR, s);
	}
	return col * (1.0 - 0.8 * smoothstep(7.5 * BAR, 8.0 * BAR, s));
}

// ---------------------------------------------------------------- buildup 2, 75-90 s

// Hyperspace, coming up from black within the first beat (the track black):
// streaks of stars flying out of the centre, faster, longer and whiter bar by
// bar, the kick lighting the core. From bar 44 rings close in
// on the centre with the snare (quarters, eighths, sixteenths, then the
// roll); in the last bar, without the kick, everything collapses into the
// centre before the drop.
vec3 sceneHyperspace(float s, Shared sh)
{
	float climb = s / (8.0 * BAR);
	float r = sh.r;
	vec3 col = vec3(0.01, 0.01, 0.04) * (1.0 + sin(3.0 * sh.angle + 0.5 * s));

	float speed = 0.35 + 0.65 * climb * climb;
	float travel = 0.2 * s + 0.35 * s * climb * climb;
	for(int layer = 0; layer < 2; ++layer)
	{
		float spokes = layer == 0 ? 90.0 : 150.0;
		float along = sh.angle / TAU * spokes;
		float cell = floor(along);
		float h = hash(vec2(cell, float(layer)));
		float off = (along - cell - 0.5) * TAU / spokes * r;       // distance from the spoke
		float z = fract(h * 7.0 - travel * (0.6 + h));              // 1 far .. 0 near
		float head = 0.06 / (z + 0.04);
		float tail = head * (1.0 - 0.7 * speed);
		float streak = smoothstep(tail, head, r) * (1.0 - smoothstep(head, head + 0.02, r));
		float thin = exp(-off * off / (pixel * pixel * (1.0 + 4.0 * r)));
		col += mix(vec3(0.3, 0.45, 1.0), vec3(1.0), climb) * streak * thin * (1.0 - z) * 1.6;
	}

	// The core, pulsing with the kick and swelling with the riser.
	col += vec3(0.5, 0.6, 1.0) * (0.004 + 0.01 * kick + 0.03 * riser) / (r * r + 0.003);

	// The snare's rings from bar 44: each hit a ring shrinking into the centre.
	float bar = floor(s / BAR);
	float perBar = 4.0 * exp2(max(bar - 4.0, 0.0));
	float ringRadius = 0.9 * (1.0 - fract(s / BAR * perBar));
	col += vec3(0.8, 0.5, 1.0) * exp(-abs(r - ringRadius) * 50.0) * (0.3 + 0.7 * riser) * step(4.0, bar);

	return mix(col, vec3(1.0), pow(smoothstep(7.5 * BAR, 8.0 * BAR, s), 3.0));
}

// ---------------------------------------------------------------- finale, 90-120 s

// A spinning tunnel lined with four lanes of the message, its colours
// cycling round it once per loop; each kick throws the camera a step
// forwards. Once the view is folded (the track folds: six wedges from the
// second crash, bar 56) it is a mandala that turns the other way, its
// colours going round once per pair of wedges.
vec3 sceneFinale(float s, Shared sh, float along, float wedges)
{
	bool mandala = wedges > 0.0;
	float around = sh.angle / TAU + 0.04 * sin(0.35 * along);
	vec3 hue = rainbow(around * (mandala ? 0.5 * wedges : 1.0) + loopPhase);
	float panel = mod(floor(along) + floor(16.0 * around), 2.0);
	vec3 wall = hue * (0.1 + 0.15 * panel + 0.15 * gridLine(along, 0.04, 0.45 / (sh.r * sh.r) * pixel * 1.5));
	float seams = gridLine(4.0 * around, 0.015, 4.0 / (TAU * sh.r) * pixel * 1.5);
	vec3 col = wall + hue * seams * (0.5 + 1.0 * kick);
	float near = smoothstep(0.06, 0.2, sh.r);
	col *= 1.0 - 0.8 * sh.halo * near;
	col = mix(col, mandala ? vec3(1.0, 0.9, 0.6) : vec3(1.0), sh.letters * near);
	col *= (1.0 - exp(-6.0 * sh.r)) * (1.0 + 0.5 * kick);
	col += vec3(1.0, 0.8, 0.6) * (0.003 + 0.006 * kick) / (sh.r * sh.r + 0.003);
	return col;
}

// ---------------------------------------------------------------- outro, 120-135 s

// A sunset over the sea that darkens into night as the sun sinks, with the
// message's last words floating above it; the sun's glow pulses with the
// kick until it stops. The whole picture fades to black over the last four
// bars (the track black).
vec3 sceneSunset(vec2 p, float s, Shared sh, float level)
{
	vec2 q = sh.sky;
	float dusk = s / (8.0 * BAR);
	float up = q.y - level;
	vec3 low = mix(vec3(1.0, 0.45, 0.15), vec3(0.45, 0.1, 0.25), dusk);
	vec3 high = mix(vec3(0.2, 0.1, 0.35), vec3(0.01, 0.01, 0.05), dusk);
	vec3 col = mix(low, high, smoothstep(0.0, 0.6, up));
	col += sh.stars * smoothstep(0.3, 0.8, dusk) * smoothstep(0.1, 0.4, up);

	vec2 sunCentre = vec2(0.0, level + 0.16 - 0.3 * dusk);
	float d = length(q - sunCentre);
	float disc = (1.0 - smoothstep(0.17 - pixel, 0.17 + pixel, d)) * step(level, q.y);
	col = mix(col, mix(vec3(1.0, 0.9, 0.5), vec3(1.0, 0.35, 0.2), dusk), disc);
	col += vec3(1.0, 0.5, 0.2) * (0.04 + 0.03 * kick) / (0.05 + 3.0 * max(d - 0.17, 0.0)) * (1.0 - 0.6 * dusk);
	col *= p.y < level ? vec3(0.55, 0.5, 0.6) : vec3(1.0);

	float appear = smoothstep(1.0 * BAR, 2.5 * BAR, s);
	col += vec3(1.0, 0.6, 0.4) * (sh.halo + 0.4 * sh.bloom) * appear * 0.6;
	return mix(col, vec3(1.0, 0.95, 0.85), sh.letters * appear);
}

// ---------------------------------------------------------------- the show

int sectionAt(float bar)
{
	if(bar < BUILDUP_BAR)
		return INTRO;
	if(bar < DROP_A_BAR)
		return BUILDUP;
	if(bar < DROP_B_BAR)
		return DROP_A;
	if(bar < BREAKDOWN_BAR)
		return DROP_B;
	if(bar < BUILDUP2_BAR)
		return BREAKDOWN;
	if(bar < FINALE_BAR)
		return BUILDUP2;
	if(bar < OUTRO_BAR)
		return FINALE;
	return OUTRO;
}

float sectionStart(int section)
{
	const float firstBars[8] = float[8](0.0, BUILDUP_BAR, DROP_A_BAR, DROP_B_BAR, BREAKDOWN_BAR,
	                                    BUILDUP2_BAR, FINALE_BAR, OUTRO_BAR);
	return firstBars[section] * BAR;
}

void main()
{
	vec2 size = vec2(max(width, 1.0), max(height, 1.0));
	float unit = min(size.x, size.y);
	vec2 p = (gl_FragCoord.xy - 0.5 * size) / unit;
	halfWidth = 0.5 * size.x / unit;
	halfHeight = 0.5 * size.y / unit;
	pixel = 1.0 / unit;
	msgSize = vec2(textureSize(message, 0));

	t = max(iGlobalTime, 0.0);
	beats = t / BEAT;
	bars = t / BAR;
	kick = kickPlays(floor(beats)) ? exp(-5.0 * fract(beats)) : 0.0;
	loopPhase = fract(t / (loopDuration > 0.0 ? loopDuration : 5.0));
	chord = chordHue();
	chordColour = rainbow(chord);
	// Bins 1 to 6: about 20 to 130 Hz at the soundtrack's 22050 Hz.
	bass = 0.0;
	for(int bin = 1; bin <= 6; ++bin)
		bass += texture(spectrum, vec2((float(bin) + 0.5) / 512.0, 0.25)).r / 6.0;

	int section = sectionAt(floor(bars));
	float s = t - sectionStart(section);
	Shared sh;

	// The view: each scene turns and zooms it its own way. Each kick zooms
	// it in by the track pump, and the track folds says how many wedges it
	// is folded into (the kaleidoscope, the mandala).
	float turn = 0.0;
	float zoom = 1.0 / (1.0 + pump * kick);
	float wedges = max(folds, 0.0);
	if(section == BUILDUP)
	{
		turn = 0.15 * s + 0.01 * s * s;
	}
	else if(section == DROP_A)
	{
		// One wedge per loop.
		turn = TAU / max(wedges, 1.0) * loopPhase;
	}
	else if(section == BUILDUP2)
	{
		float collapse = smoothstep(7.0 * BAR, 8.0 * BAR, s);
		turn = 0.1 * s + 0.02 * s * s;
		zoom *= 1.0 + 3.0 * collapse * collapse;
	}
	else if(section == FINALE)
	{
		turn = wedges > 0.0 ? -0.35 * s : 0.25 * s;
	}
	vec2 view = rotation(turn) * p * zoom;
	sh.r = max(length(view), 1e-3);
	sh.angle = atan(view.y, view.x + 1e-6);
	if(wedges > 0.0)
	{
		float wedge = TAU / wedges;
		sh.angle = abs(mod(sh.angle, wedge) - 0.5 * wedge);
	}

	// The finale's position along its tunnel: a steady flight plus a step
	// forwards on every beat.
	float surge = floor(s / BEAT) + smoothstep(0.0, 0.4, fract(s / BEAT));
	float along = 0.45 / sh.r + 0.5 * s + 0.7 * surge;

	// Water below the horizon in the breakdown and the outro.
	float level = section == BREAKDOWN ? -0.22 : (section == OUTRO ? -0.15 : -100.0);
	sh.sky = p.y < level ? waterMirror(p, level, s) : p;

	// Two layers of stars, drifting slowly in the intro.
	vec2 drift = section == INTRO ? vec2(0.015 * s, 0.004 * s) : vec2(0.0);
	sh.stars = stars(sh.sky + drift, 9.0, 0.0) + stars(sh.sky + 2.0 * drift, 16.0, 7.0);

	// The message: where each scene puts it, then one look-up and a blurred
	// ring of four around it.
	vec2 text = vec2(0.0, -1.0);
	vec2 columns = vec2(0.0, msgSize.x);
	bool repeat = false;
	float blur = 0.05;
	if(section == INTRO)
	{
		text = phraseAt(p, vec2(0.0, 0.06), 0.17, 0.0, TITLE_TEXELS);
		columns = vec2(0.0, TITLE_TEXELS);
	}
	else if(section == DROP_A)
	{
		text = scrollerAt(p, -halfHeight + 0.1, 0.2, 0.05 * sin(4.0 * p.x - 4.0 * s));
		blur = 0.1;
	}
	else if(section == DROP_B)
	{
		text = scrollerAt(p, halfHeight - 0.3, 0.2, 0.015 * sin(3.0 * p.x + 2.0 * s));
		blur = 0.05;
	}
	else if(section == FINALE)
	{
		// Four lanes round the tunnel, the letters running along it; they
		// read from the outside in on the left-hand wall. In the mandala each
		// half wedge holds one lane, mirrored into its neighbours.
		float lanes = wedges > 0.0 ? 2.0 * wedges : 4.0;
		float lane = fract(lanes * (sh.angle / TAU + 0.04 * sin(0.35 * along)));
		text = vec2(along * 170.0 * lanes / 4.0, 1.0 - (lane - 0.12) / 0.76);
		repeat = true;
		blur = 0.04;
	}
	else if(section == OUTRO)
	{
		vec2 centre = vec2(0.0, halfHeight - 0.22 + 0.01 * sin(TAU * loopPhase));
		text = phraseAt(p, centre, 0.13, msgSize.x - FAREWELL_TEXELS, FAREWELL_TEXELS);
		columns = vec2(msgSize.x - FAREWELL_TEXELS, msgSize.x);
	}
	sh.letters = ink(text.x, text.y, columns, repeat);
	sh.line = text.y;
	vec2 spread = blur * vec2(msgSize.y, 1.0) * 0.7;
	sh.halo = 0.25 * (ink(text.x + spread.x, text.y + spread.y, columns, repeat)
	                + ink(text.x - spread.x, text.y + spread.y, columns, repeat)
	                + ink(text.x + spread.x, text.y - spread.y, columns, repeat)
	                + ink(text.x - spread.x, text.y - spread.y, columns, repeat));
	vec2 outside = max(vec2(max(columns.x - text.x, text.x - columns.y) / max(msgSize.y, 1.0),
	                        abs(text.y - 0.5) - 0.3), 0.0);
	sh.bloom = section == INTRO || section == OUTRO ? exp(-3.0 * length(outside)) : 0.0;

	vec3 col;
	if(section == INTRO)
		col = sceneIntro(p, s, sh);
	else if(section == BUILDUP)
		col = sceneTunnel(s, sh);
	else if(section == DROP_A)
		col = sceneKaleido(p, s, sh);
	else if(section == DROP_B)
		col = sceneHorizon(p, s, sh);
	else if(section == BREAKDOWN)
		col = sceneAurora(p, s, sh, level);
	else if(section == BUILDUP2)
		col = sceneHyperspace(s, sh);
	else if(section == FINALE)
		col = sceneFinale(s, sh, along, wedges);
	else
		col = sceneSunset(p, s, sh, level);

	// A white flash on the first beat of a bar, as strong as the track flash
	// says for that bar, dying away within a beat or two: full on the drops,
	// softer on the crashes at bars 24 and 56 and at the start of the outro.
	col += flash * exp(-5.0 * (t - floor(bars) * BAR));

	// In the drops and the finale the soundtrack's own spectrum stands along
	// the bottom edge as an equaliser in the chord's colour, 64 bars over its
	// lower bins (up to about 3.8 kHz, where the music's energy sits), and
	// the low end's loudness pumps its glow.
	if(section == DROP_A || section == DROP_B || section == FINALE)
	{
		float u = gl_FragCoord.x / size.x;
		float band = (floor(u * 64.0) + 0.5) / 64.0;
		float barHeight = 0.12 * texture(spectrum, vec2(band * 0.35, 0.25)).r;
		float y = gl_FragCoord.y / size.y;
		float barShape = step(0.15, fract(u * 64.0)) * step(y, barHeight);
		col += chordColour * barShape * (0.25 + 0.5 * bass) * (0.4 + 0.6 * y / max(barHeight, 0.001));
	}

	// A little noise against banding, then the fades from and to black.
	col += (hash(gl_FragCoord.xy + fract(t) * 17.0) - 0.5) / 255.0;
	col *= 1.0 - black;
	outputColor = vec4(clamp(col, 0.0, 1.0), 1.0);
}
