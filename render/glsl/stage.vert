// A stage the game draws unlit: its image through its texture transforms,
// times its colour, which may come from the vertices or, for Quake III's
// lightingDiffuse, from a light at the eye per vertex.
#version 120

uniform vec3 eye;
uniform bool orthographic;
uniform bool environment;  // tcGen environment
// A turb (amplitude, phase now, on), taken first, then the other
// transforms: rows acting on (s, t, 1) with t down the picture.
uniform vec3 turb;
uniform vec3 transform[2];
uniform int color_source;  // 0 the constant, 1 times the vertex colour, 2 times one minus it, 3 lit per vertex
uniform vec4 color;
uniform bool vertex_alpha;  // alpha from the vertices (times the constant's)

varying vec2 st;
varying vec4 shade;

const float two_pi = 6.28318530718;

vec2 rows(vec3 m[2], vec2 e)
{
    return vec2(dot(m[0], vec3(e, 1.0)), dot(m[1], vec3(e, 1.0)));
}

void main()
{
    gl_Position = ftransform();
    vec3 position = gl_Vertex.xyz;
    vec3 to_eye = normalize(orthographic ? eye : eye - position);
    vec2 e;
    if (environment) {
        vec3 n = normalize(gl_Normal);
        vec3 r = 2.0 * dot(n, to_eye) * n - to_eye;
        e = vec2(0.5 + 0.5 * r.y, 0.5 - 0.5 * r.z);
    } else {
        e = vec2(gl_MultiTexCoord0.s, 1.0 - gl_MultiTexCoord0.t);
    }
    if (turb.z > 0.0)
        e += turb.x * vec2(sin(two_pi * ((position.x + position.z) / 1024.0 + turb.y)),
                           sin(two_pi * (position.y / 1024.0 + turb.y)));
    e = rows(transform, e);
    st = vec2(e.x, 1.0 - e.y);
    vec4 c = color;
    if (color_source == 1)
        c.rgb *= gl_Color.rgb;
    else if (color_source == 2)
        c.rgb *= 1.0 - gl_Color.rgb;
    else if (color_source == 3)
        // Without a light grid: ambient 182 and directed 150 of 255.
        c.rgb *= floor(255.0 * clamp(0.714 + 0.588 * max(0.0, dot(normalize(gl_Normal), to_eye)), 0.0, 1.0)) / 255.0;
    if (vertex_alpha)
        c.a *= gl_Color.a;
    shade = c;
}
