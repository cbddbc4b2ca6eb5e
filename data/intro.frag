#version 330

// The intro's picture. The player supplies the time in seconds since the
// music started, the window size in pixels, a loop duration for cyclic motion
// and the message texture (white text in its alpha channel).
uniform float iGlobalTime;
uniform float width;
uniform float height;
uniform float loopDuration;
uniform sampler2D message;

out vec4 outputColor;

void main()
{
	vec2 uv = (gl_FragCoord.xy - 0.5 * vec2(width, height)) / height;
	float phase = 6.2831853 * mod(iGlobalTime, loopDuration) / loopDuration;
	float rings = sin(18.0 * length(uv) - 3.0 * iGlobalTime + 2.0 * sin(phase));
	vec3 colour = 0.5 + 0.5 * cos(vec3(0.0, 2.1, 4.2) + phase + 3.0 * uv.x + rings);
	colour *= 0.35 + 0.25 * rings;

	// The message scrolls from right to left across the middle of the screen.
	vec2 size = vec2(textureSize(message, 0));
	float stripHeight = 0.15;
	float across = (uv.x * height / width + 0.5);
	float scroll = iGlobalTime * 0.25;
	vec2 texel = vec2((across + scroll) * width / height / stripHeight * size.y / size.x,
	                  (uv.y + 0.5 * stripHeight) / stripHeight);
	float ink = 0.0;
	if(texel.y > 0.0 && texel.y < 1.0 && size.x > 0.0)
		ink = texture(message, vec2(fract(texel.x), texel.y)).a;
	outputColor = vec4(mix(colour, vec3(1.0), ink), 1.0);
}
