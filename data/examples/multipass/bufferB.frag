#version 330

// A wrapper that runs a shader written as
//
//     void mainImage(out vec4 fragColor, in vec2 fragCoord)
//
// unchanged in the intro. To use it, copy this file to data/intro.frag and
// replace everything below the line "mainImage goes below this line" with
// your own mainImage and the functions it calls.
//
// It serves a buffer's pass the same way: copy it to data/bufferA.frag (to
// bufferD.frag) and paste that buffer's code below the marker. The code of a
// Common tab goes unchanged into data/common.frag, which every pass gets
// right below the marker. A pass names what its channels read on lines of
// their own, anywhere in its file:
//
//   #iChannel0 "bufferA"            bufferA .. bufferD, or "self" for the
//                                   pass's own buffer
//   #iChannel1 "sound"              the soundtrack, as below
//   #iChannel2 "message"            images/long.png
//   #iChannel3 "images/noise.png"   a PNG under images/
//   #iChannel1 "keyboard"           256 x 3 texels of no key pressed
//   #iChannel2 "none"               black
//   #iChannel0::filter "nearest"    nearest, linear or mipmap
//   #iChannel0::wrap "repeat"       clamp or repeat
//
// A buffer's pass reads this tick's output of a buffer that runs before it
// (A, B, C, D, then the picture) and the tick before's of itself and of the
// buffers after it; the picture reads every buffer's latest.
//
// The intro supplies the names such a shader expects:
//
//   iTime               float      seconds since the music started
//   iTimeDelta          float      1/60, the capture's step
//   iFrame              int        the frame a capture at 60 per second is on,
//                                  round(iTime * 60); a buffer's pass runs
//                                  once per frame, with that frame's iTime
//   iFrameRate          float      60
//   iResolution         vec3       the window's width and height in pixels, 1
//   iMouse              vec4       zero: the intro passes no pointer
//   iDate               vec4       2000, 0 (January), 1, and iTime as the
//                                  seconds since midnight, so that a capture
//                                  sees the same date at the same time
//   iSampleRate         float      22050, the soundtrack's rate
//   iChannelTime[4]     float      iTime, for every channel
//   iChannelResolution[4] vec3     each channel's size in texels
//
// and, where no channel line says otherwise:
//
//   iChannel0           sampler2D  the sound: 512 x 2 texels, row 0
//                                  (texture(iChannel0, vec2(x, 0.25)).r) the
//                                  spectrum, bin i at i * rate / 1024 Hz, row 1
//                                  (vec2(x, 0.75)) the last 512 samples, 0.5
//                                  being silence
//   iChannel1           sampler2D  the message image (images/long.png)
//   iChannel2, iChannel3 sampler2D empty: they read black
//
// They are uniforms, so a shader may define macros over them. The intro's own
// uniforms (iGlobalTime, width, height, loopDuration, message, spectrum) are
// not declared here, so pasted code may use those names for its own
// functions and variables.
//
// fragCoord is the pixel's centre in window coordinates, (0.5, 0.5) at the
// bottom-left pixel.

uniform float iTime;
uniform float iTimeDelta;
uniform int iFrame;
uniform float iFrameRate;
uniform vec3 iResolution;
uniform vec4 iMouse;
uniform vec4 iDate;
uniform float iSampleRate;
uniform float iChannelTime[4];
uniform vec3 iChannelResolution[4];
uniform sampler2D iChannel0;
uniform sampler2D iChannel1;
uniform sampler2D iChannel2;
uniform sampler2D iChannel3;

out vec4 mainImageWrapperColor_;

void mainImage(out vec4 fragColor, in vec2 fragCoord);

void main()
{
	mainImage(mainImageWrapperColor_, gl_FragCoord.xy);
}

// ---- mainImage goes below this line ----

// Buffer B: the reaction's v in colour, over its own last frame faded, so
// that the pattern leaves trails. It reads this tick's buffer A.
#iChannel0 "bufferA"
#iChannel1 "self"

void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 uv = fragCoord / iResolution.xy;
    float v = texture(iChannel0, uv).y;
    vec3 colour = palette(v * 2.0 + iTime * 0.05) * smoothstep(0.1, 0.4, v);
    vec3 trail = texture(iChannel1, uv).rgb * 0.92;
    fragColor = vec4(max(colour, trail), 1.0);
}
