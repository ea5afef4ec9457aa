// An unlit stage's texel times its colour, cut by its alpha test.
#version 120

uniform sampler2D image;
uniform int alpha_function;  // 0 none, 1 above the threshold, 2 above 0, 3 below one half, 4 at least one half
uniform float alpha_threshold;

varying vec2 st;
varying vec4 shade;

void main()
{
    vec4 c = texture2D(image, st) * shade;
    if ((alpha_function == 1 && !(c.a > alpha_threshold)) || (alpha_function == 2 && !(c.a > 0.0)) ||
        (alpha_function == 3 && !(c.a < 0.5)) || (alpha_function == 4 && !(c.a >= 0.5)))
        discard;
    gl_FragColor = c;
}
