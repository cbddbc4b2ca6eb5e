#version 330

// The cheapest picture that still uses the intro's uniforms: what the frame
// loop costs around the shader is then what the benchmarks see.
uniform float iGlobalTime;
uniform float width;
uniform float height;

out vec4 outputColor;

void main()
{
	outputColor = vec4(gl_FragCoord.x / width, gl_FragCoord.y / height, fract(iGlobalTime), 1.0);
}
