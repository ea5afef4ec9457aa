// Writes the viewer's default model: a closed tube around a (2,3) torus knot,
// as an ASE text file, textured or not.
// Usage: make_knot [--texture BITMAP] OUT.ase [FACES]
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string_view>

#include "mesh/text_out.h"
#include "tools/options.h"

struct vec3 {
    double x, y, z;
};

static vec3 operator+(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
static vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
static vec3 operator*(double s, vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
static vec3 cross(vec3 a, vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
static vec3 normalize(vec3 a) { return (1.0 / std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z)) * a; }

// The knot winds twice around the z axis and three times through the hole,
// on a torus of radii 2 and 1; its strands never come closer than 1.6 and it
// never bends tighter than 1.4, so a tube of radius 0.5 does not touch itself.
static const double tube_radius = 0.5;
static const double model_scale = 60.0 / 3.5;
static const int default_faces = 7680;

static vec3 knot_point(double t)
{
    double r = 2 + std::cos(3 * t);
    return {r * std::cos(2 * t), r * std::sin(2 * t), std::sin(3 * t)};
}

static vec3 knot_tangent(double t)
{
    double r = 2 + std::cos(3 * t);
    double dr = -3 * std::sin(3 * t);
    return {dr * std::cos(2 * t) - 2 * r * std::sin(2 * t),
            dr * std::sin(2 * t) + 2 * r * std::cos(2 * t), 3 * std::cos(3 * t)};
}

// The tangent is never parallel to z (the curve always turns about the
// axis), so T x z gives a frame that is smooth and periodic along the knot.
struct ring_frame {
    vec3 centre, side, up;
};

static ring_frame frame_at(double t)
{
    vec3 tangent = normalize(knot_tangent(t));
    vec3 side = normalize(cross(tangent, {0, 0, 1}));
    return {knot_point(t), side, cross(side, tangent)};
}

// The million-face models are a few hundred megabytes of text.
static text_out out;

static void put(std::string_view text)
{
    reserve_text(&out, text.size());
    put_text(&out, text);
}

// Right-aligned in `width` columns, as the exporter lays out its indices.
static void put_int(int value, int width)
{
    char digits[16];
    int n = int(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    reserve_text(&out, 32);
    for (; n < width; width--)
        put_char(&out, ' ');
    put_text(&out, std::string_view(digits, size_t(n)));
}

static void put_vec(vec3 a)
{
    const double components[] = {a.x, a.y, a.z};
    for (double c : components) {
        reserve_text(&out, 64);
        put_char(&out, '\t');
        put_number(&out, c, std::chars_format::fixed, 4);
    }
    put("\n");
}

struct tube {
    int rings, segments;
};

static int vertex_index(tube k, int ring, int segment)
{
    return ring % k.rings * k.segments + segment % k.segments;
}

static vec3 surface_normal(tube k, int ring, int segment, vec3* position)
{
    ring_frame f = frame_at(2 * std::numbers::pi * ring / k.rings);
    double a = 2 * std::numbers::pi * segment / k.segments;
    vec3 n = std::cos(a) * f.side + std::sin(a) * f.up;
    *position = model_scale * (f.centre + tube_radius * n);
    return n;
}

// Corner (ring, segment) of face `f`: each quad is split along the diagonal
// from its first to its third corner, the diagonal being the hidden CA edge.
static void face_corner(tube k, int f, int corner, int* ring, int* segment)
{
    static const int ring_step[2][3] = {{0, 1, 1}, {1, 0, 0}};
    static const int segment_step[2][3] = {{0, 0, 1}, {1, 1, 0}};
    int quad = f / 2;
    *ring = quad / k.segments + ring_step[f % 2][corner];
    *segment = quad % k.segments + segment_step[f % 2][corner];
}

// The texture's repeats along the knot (its V); once around the tube (U).
static const int texture_repeats = 8;

// Texture coordinates on a grid one ring and one segment wider than the
// vertices': the seams' corners get coordinates of their own.
static void write_texture_coordinates(tube k)
{
    int tverts = (k.rings + 1) * (k.segments + 1), faces = 2 * k.rings * k.segments;
    put("\t\t*MESH_NUMTVERTEX ");
    put_int(tverts, 0);
    put("\n\t\t*MESH_TVERTLIST {\n");
    for (int t = 0; t < tverts; t++) {
        put("\t\t\t*MESH_TVERT ");
        put_int(t, 4);
        put_vec({double(t % (k.segments + 1)) / k.segments,
                 double(texture_repeats) * (t / (k.segments + 1)) / k.rings, 0});
    }
    put("\t\t}\n\t\t*MESH_NUMTVFACES ");
    put_int(faces, 0);
    put("\n\t\t*MESH_TFACELIST {\n");
    for (int f = 0; f < faces; f++) {
        put("\t\t\t*MESH_TFACE ");
        put_int(f, 4);
        for (int c = 0; c < 3; c++) {
            int ring, segment;
            face_corner(k, f, c, &ring, &segment);
            put("\t");
            put_int(ring * (k.segments + 1) + segment, 0);
        }
        put("\n");
    }
    put("\t\t}\n");
}

// A material whose diffuse map is the bitmap, when one is named.
static void write_model(tube k, const char* bitmap)
{
    int vertices = k.rings * k.segments;
    int faces = 2 * vertices;
    put("*3DSMAX_ASCIIEXPORT\t200\n*COMMENT \"make_knot: (2,3) torus knot tube\"\n");
    if (bitmap) {
        put("*MATERIAL_LIST {\n\t*MATERIAL_COUNT 1\n\t*MATERIAL 0 {\n\t\t*MATERIAL_NAME \"Knot\"\n");
        put("\t\t*MATERIAL_DIFFUSE\t1.0000\t1.0000\t1.0000\n\t\t*MAP_DIFFUSE {\n\t\t\t*BITMAP \"");
        put(bitmap);
        put("\"\n\t\t}\n\t}\n}\n");
    }
    put("*GEOMOBJECT {\n\t*NODE_NAME \"Knot\"\n\t*MESH {\n\t\t*TIMEVALUE 0\n");
    put("\t\t*MESH_NUMVERTEX ");
    put_int(vertices, 0);
    put("\n\t\t*MESH_NUMFACES ");
    put_int(faces, 0);
    put("\n\t\t*MESH_VERTEX_LIST {\n");
    for (int v = 0; v < vertices; v++) {
        vec3 p;
        surface_normal(k, v / k.segments, v % k.segments, &p);
        put("\t\t\t*MESH_VERTEX ");
        put_int(v, 4);
        put_vec(p);
    }
    put("\t\t}\n\t\t*MESH_FACE_LIST {\n");
    for (int f = 0; f < faces; f++) {
        put("\t\t\t*MESH_FACE ");
        put_int(f, 4);
        put(":");
        for (int c = 0; c < 3; c++) {
            int ring, segment;
            face_corner(k, f, c, &ring, &segment);
            put(c == 0 ? "    A: " : c == 1 ? " B: " : " C: ");
            put_int(vertex_index(k, ring, segment), 4);
        }
        put(" AB:    1 BC:    1 CA:    0\t *MESH_SMOOTHING 1 \t*MESH_MTLID 0\n");
    }
    put("\t\t}\n");
    if (bitmap)
        write_texture_coordinates(k);
    put("\t\t*MESH_NORMALS {\n");
    for (int f = 0; f < faces; f++) {
        vec3 p[3], n[3];
        int index[3];
        for (int c = 0; c < 3; c++) {
            int ring, segment;
            face_corner(k, f, c, &ring, &segment);
            n[c] = surface_normal(k, ring, segment, &p[c]);
            index[c] = vertex_index(k, ring, segment);
        }
        put("\t\t\t*MESH_FACENORMAL ");
        put_int(f, 0);
        put_vec(normalize(cross(p[1] - p[0], p[2] - p[0])));
        for (int c = 0; c < 3; c++) {
            put("\t\t\t\t*MESH_VERTEXNORMAL ");
            put_int(index[c], 0);
            put_vec(n[c]);
        }
    }
    put(bitmap ? "\t\t}\n\t}\n\t*MATERIAL_REF 0\n}\n" : "\t\t}\n\t}\n}\n");
    flush_text(&out);
}

// About fifteen rings per segment keeps the quads near square; below 24
// rings the straight pieces between rings would cut through the other strands.
// The rings are rounded up, so the tube never has fewer faces than asked for.
static tube tube_for(long faces)
{
    int segments = std::max(3, int(std::lround(std::sqrt(faces / 30.0))));
    long ring_faces = 2 * segments;
    int rings = std::max(24, int((faces + ring_faces - 1) / ring_faces));
    return {rings, segments};
}

static const char usage[] =
    "usage: make_knot [--texture BITMAP] OUT.ase [FACES]\n"
    "Writes a closed tube around a (2,3) torus knot as an ASE model.\n"
    "--texture BITMAP gives it a material whose diffuse map is BITMAP and texture\n"
    "coordinates that wrap the image 8 times along the knot and once around it.\n"
    "FACES (1 to 100000000, default 7680) asks for at least that many faces:\n"
    "the count is rounded up to whole rings of 2*S faces, S being the nearest\n"
    "whole number to sqrt(FACES/30) and at least 3; the smallest tube, 24 rings\n"
    "of 3 segments, has 144 faces.\n";

int main(int argc, char** argv)
{
    const char* bitmap = nullptr;
    if (argc >= 3 && std::string_view(argv[1]) == "--texture") {
        bitmap = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (int status = answer_options(argc, argv, usage); status >= 0)
        return status;
    long faces = default_faces;
    char* end = nullptr;
    if (argc == 3)
        faces = strtol(argv[2], &end, 10);
    // Quotes or line breaks in a bitmap's name would end the text that holds it.
    if (argc < 2 || argc > 3 || (end && *end) || faces < 1 || faces > 100000000 ||
        (bitmap && (!*bitmap || std::string_view(bitmap).find_first_of("\"\r\n") != std::string_view::npos))) {
        fputs(usage, stderr);
        return 2;
    }
    out.file = fopen(argv[1], "w");
    if (!out.file) {
        perror(argv[1]);
        return 1;
    }
    write_model(tube_for(faces), bitmap);
    bool failed = ferror(out.file);
    if (fclose(out.file) != 0 || failed) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
