#version 330

// One solid colour over the whole frame, after a loop of ITERATIONS steps per
// pixel that sets how long a frame takes: the studio benchmarks write copies
// of this file with the two lines below changed. With 0 iterations the frame
// is as cheap as a frame gets; 300 give about 20 fps at 640x480 on llvmpipe
// with two cores. COLOUR may read the time: the seek benchmark's
// vec3(iGlobalTime / 135.0, fract(iGlobalTime), 0.0) shows the time in red
// (0.53 s a step) and its fraction in green.
#define ITERATIONS 300
#define COLOUR vec3(1.0, 0.0, 0.0)

uniform float iGlobalTime;
uniform float width;
uniform float height;

out vec4 outputColor;

void main()
{
	vec2 p = gl_FragCoord.xy / vec2(width, height);
	float a = p.x + iGlobalTime;
	for(int i = 0; i < ITERATIONS; ++i)
		a = sin(a * 1.7 + p.y) * 0.9 + cos(a);
	vec3 colour = COLOUR;
	// Never true in practice, but the compiler cannot know, so the loop stays.
	if(a == 123.456)
		colour = vec3(0.5);
	outputColor = vec4(colour, 1.0);
}
