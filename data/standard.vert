#version 330

// The full-screen quad: positions arrive in clip space at attribute 0.
layout(location = 0) in vec4 position;

void main()
{
	gl_Position = position;
}
