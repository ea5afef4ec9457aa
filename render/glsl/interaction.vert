// One light at the eye, as the games light a surface: the light and half
// vectors go to the surface's tangent frame by dot products (the frame
// need not be orthogonal), per vertex, and are normalized per pixel.
#version 120

uniform vec3 eye;  // model space: the eye's place, or its direction when orthographic
uniform bool orthographic;
// Each map's texture matrix, rows acting on (s, t, 1) with t down the picture.
uniform vec3 bump_matrix[2];
uniform vec3 diffuse_matrix[2];
uniform vec3 specular_matrix[2];

attribute vec3 tangent;
attribute vec3 bitangent;

varying vec3 light_vector;
varying vec3 half_vector;
varying vec2 bump_st;
varying vec2 diffuse_st;
varying vec2 specular_st;
varying vec4 vertex_color;

// Texture coordinates are sent as the GL samples them (t up the picture).
vec2 transformed(vec3 rows[2], vec2 st)
{
    vec3 engine = vec3(st.x, 1.0 - st.y, 1.0);
    return vec2(dot(rows[0], engine), 1.0 - dot(rows[1], engine));
}

void main()
{
    gl_Position = ftransform();
    vec3 position = gl_Vertex.xyz;
    vec3 normal = gl_Normal;
    vec3 to_light = orthographic ? eye : eye - position;
    light_vector = vec3(dot(to_light, tangent), dot(to_light, bitangent), dot(to_light, normal));
    // The light stands at the eye: the half vector is the light's direction.
    vec3 halfway = 2.0 * normalize(to_light);
    half_vector = vec3(dot(halfway, tangent), dot(halfway, bitangent), dot(halfway, normal));
    vec2 st = gl_MultiTexCoord0.st;
    bump_st = transformed(bump_matrix, st);
    diffuse_st = transformed(diffuse_matrix, st);
    specular_st = transformed(specular_matrix, st);
    vertex_color = gl_Color;
}
