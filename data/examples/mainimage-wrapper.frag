#version 330

// A wrapper that runs a shader written as
//
//     void mainImage(out vec4 fragColor, in vec2 fragCoord)
//
// unchanged in the intro. To use it, copy this file to data/intro.frag and
// replace everything below the line "mainImage goes below this line" with
// your own mainImage and the functions it calls.
//
// The names such a shader expects are defined from what the intro supplies:
//
//   iTime          float    seconds since the music started (iGlobalTime)
//   iResolution    vec3     the window's width and height in pixels, and 1.0
//   iChannel0      sampler2D  the message texture (texture unit 0)
//   iChannel1      sampler2D  the sound (texture unit 1): 512 x 2 texels,
//                  row 0 (v < 0.5) the spectrum, bin i at i * rate / 1024 Hz,
//                  row 1 (v > 0.5) the last 512 samples, 0.5 being silence;
//                  read it as texture(iChannel1, vec2(x, 0.25)).r and
//                  texture(iChannel1, vec2(x, 0.75)).r
//   iTimeDelta     float    1/60, the capture's step
//   iFrame         int      the frame a capture at 60 per second would be on
//   iMouse         vec4     zero: the intro passes no pointer
//
// fragCoord is the pixel's centre in window coordinates, (0.5, 0.5) at the
// bottom-left pixel.

uniform float iGlobalTime;
uniform float width;
uniform float height;
uniform sampler2D message;
uniform sampler2D spectrum;

out vec4 outputColor;

#define iTime iGlobalTime
#define iResolution vec3(width, height, 1.0)
#define iChannel0 message
#define iChannel1 spectrum
#define iTimeDelta (1.0 / 60.0)
#define iFrame int(iGlobalTime * 60.0)
#define iMouse vec4(0.0)

void mainImage(out vec4 fragColor, in vec2 fragCoord);

void main()
{
	mainImage(outputColor, gl_FragCoord.xy);
}

// ---- mainImage goes below this line ----

// A sample: the spectrum as bars across the screen, coloured from red at the
// low end to blue at the high end, over the waveform as a green line.
void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
	vec2 uv = fragCoord / iResolution.xy;

	// The lower half of the bins hold most of music's energy.
	float level = texture(iChannel1, vec2(uv.x * 0.5, 0.25)).r;
	vec3 bars = mix(vec3(1.0, 0.2, 0.1), vec3(0.1, 0.3, 1.0), uv.x) * step(uv.y, level);

	float wave = texture(iChannel1, vec2(uv.x, 0.75)).r;
	float line = smoothstep(0.01, 0.0, abs(uv.y - wave));

	float pulse = 0.1 + 0.1 * sin(iTime * 6.2831853);
	fragColor = vec4(bars * (0.8 + pulse) + vec3(0.0, line, 0.0), 1.0);
}
