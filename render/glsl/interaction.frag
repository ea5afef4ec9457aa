// The interaction of one light with a bump, diffuse and specular map, by the
// rules of the game the material is for: Doom 3's (raw normal, specular
// from a table), The Dark Mod's (normalized normal, exponent from the
// specular map's blue, Fresnel and rim) or Daemon's (z rebuilt, Phong
// gloss from the specular map's alpha, not scaled by N.L).
#version 120

uniform sampler2D bump_map;
uniform sampler2D diffuse_map;
uniform sampler2D specular_map;
uniform sampler2D specular_table;
uniform vec3 diffuse_color;   // the stage's colour times the light's
uniform vec3 specular_color;
uniform int rules;            // 0 Doom 3, 1 The Dark Mod, 2 Daemon
uniform int vertex_colors;    // 0 none, 1 the vertex colour, 2 one minus it
uniform vec3 normal_axes;     // -1 where the bump map's axis runs against the games' own

varying vec3 light_vector;
varying vec3 half_vector;
varying vec2 bump_st;
varying vec2 diffuse_st;
varying vec2 specular_st;
varying vec4 vertex_color;

vec3 doom3(vec3 n, vec3 l, vec3 h, vec3 diffuse, vec3 specular)
{
    float n_dot_l = max(dot(n, l), 0.0);
    float highlight = texture2D(specular_table, vec2(dot(n, h), 0.5)).r;
    return n_dot_l * (diffuse * diffuse_color + highlight * 2.0 * specular_color * specular);
}

vec3 dark_mod(vec3 n, vec3 l, vec3 diffuse, vec4 specular)
{
    n = normalize(n);
    float n_dot_l = clamp(dot(n, l), 0.0, 1.0);
    // Light and eye at one place: V = H = L.
    float n_dot_v = n_dot_l;
    float fresnel = pow(1.0 - n_dot_v, 4.0);
    float rim = fresnel * clamp(n_dot_l - 0.3, 0.0, 0.5) * 1.8;
    float reflected = 0.023 + 0.23 * fresnel;
    float facing = clamp(4.0 * l.z, 0.0, 1.0);
    float power = mix(10.0, 30.0, specular.b);
    vec3 s = specular_color * pow(n_dot_l, power) * 120.0 * reflected * specular.rgb * facing;
    return (s + diffuse_color * diffuse) * (n_dot_l + rim * facing);
}

vec3 daemon(vec3 n, vec3 l, vec3 h, vec3 diffuse, vec4 specular)
{
    n.z = sqrt(max(0.0, 1.0 - n.x * n.x - n.y * n.y));
    float n_dot_l = max(dot(n, l), 0.0);
    float gloss = 0.001 + (16.0 - 0.001) * specular.a;
    vec3 s = specular_color * specular.rgb * pow(max(dot(n, h), 0.0), gloss);
    return diffuse_color * diffuse * n_dot_l + s;
}

void main()
{
    vec3 n = normal_axes * (2.0 * texture2D(bump_map, bump_st).rgb - 1.0);
    vec3 diffuse = texture2D(diffuse_map, diffuse_st).rgb;
    vec4 specular = texture2D(specular_map, specular_st);
    vec3 l = normalize(light_vector);
    vec3 h = normalize(half_vector);
    // A back face drawn is the surface's reversed copy: its normal turned.
    if (!gl_FrontFacing) {
        l.z = -l.z;
        h.z = -h.z;
    }
    vec3 color = rules == 0   ? doom3(n, l, h, diffuse, specular.rgb)
                 : rules == 1 ? dark_mod(n, l, diffuse, specular)
                              : daemon(n, l, h, diffuse, specular);
    if (vertex_colors == 1)
        color *= vertex_color.rgb;
    else if (vertex_colors == 2)
        color *= 1.0 - vertex_color.rgb;
    gl_FragColor = vec4(color, 1.0);
}
