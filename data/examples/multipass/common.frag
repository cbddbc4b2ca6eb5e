// Common: what every pass of this piece shares. It may use the supplied
// uniforms, since it goes below the template's declarations.
const float FEED = 0.037;
const float KILL = 0.06;

// 1 on each beat at 128 beats a minute, falling to 0 by the next.
float beat()
{
    return 1.0 - fract(iTime * 128.0 / 60.0);
}

vec3 palette(float t)
{
    return 0.5 + 0.5 * cos(6.28318 * (vec3(0.0, 0.33, 0.67) + t));
}

float hash12(vec2 p)
{
    vec3 p3 = fract(vec3(p.xyx) * 0.1031);
    p3 += dot(p3, p3.yzx + 33.33);
    return fract((p3.x + p3.y) * p3.z);
}
