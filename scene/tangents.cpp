// Tangent frames in a few linear passes over the triangles and vertices;
// only vertices sharing a position are found by sorting, once.
#include "scene/tangents.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

model_vec3 operator+(model_vec3 a, model_vec3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

model_vec3 operator-(model_vec3 a, model_vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

model_vec3 operator*(model_vec3 a, float k)
{
    return {a.x * k, a.y * k, a.z * k};
}

float dot(model_vec3 a, model_vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

model_vec3 cross(model_vec3 a, model_vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Zero for a vector of no length, or of no finite one.
model_vec3 unit_or_zero(model_vec3 v)
{
    float length = std::sqrt(dot(v, v));
    if (!(length > 0) || !std::isfinite(length))
        return {0, 0, 0};
    return v * (1 / length);
}

// v with its part along the unit n taken away, made unit.
model_vec3 perpendicular_unit(model_vec3 v, model_vec3 n)
{
    return unit_or_zero(v - n * dot(v, n));
}

constexpr uint32_t no_copy = UINT32_MAX;

// One triangle in the game's corner order A, C, B of the file's A, B, C.
struct game_triangle {
    uint32_t a, b, c;
};

game_triangle game_order(std::span<const uint32_t> corners, size_t face)
{
    return {corners[face * 3], corners[face * 3 + 2], corners[face * 3 + 1]};
}

// The texture-coordinate edges B - A and C - A of a triangle in the game's
// order, and the signed area they span.
struct st_edges {
    float d0s, d0t, d1s, d1t;
    float area() const { return d0s * d1t - d0t * d1s; }
};

st_edges edges_of(const tangent_mesh& mesh, game_triangle f)
{
    tangent_st a = mesh.texcoords[f.a], b = mesh.texcoords[f.b], c = mesh.texcoords[f.c];
    return {b.s - a.s, b.t - a.t, c.s - a.s, c.t - a.t};
}

bool consistent(const tangent_mesh& mesh)
{
    size_t count = mesh.positions.size();
    if (mesh.texcoords.size() != count || (mesh.normals_given && mesh.normals.size() != count))
        return false;
    if (mesh.corners.size() % 3 != 0 || count > UINT32_MAX / 2)
        return false;
    return std::all_of(mesh.corners.begin(), mesh.corners.end(),
                       [&](uint32_t v) { return v < count; });
}

// Every vertex used by faces of both polarities gets a copy, which the
// mirrored faces take.
void split_mirrored(const tangent_mesh& mesh, const std::vector<bool>& mirrored,
                    tangent_frames* out)
{
    size_t count = mesh.positions.size();
    std::vector<unsigned char> uses(count, 0);
    for (size_t i = 0; i < mesh.corners.size(); ++i)
        uses[mesh.corners[i]] |= mirrored[i / 3] ? 2 : 1;
    std::vector<uint32_t> copy(count, no_copy);
    for (uint32_t v = 0; v < count; ++v) {
        if (uses[v] == 3) {
            copy[v] = (uint32_t)(count + out->copied_from.size());
            out->copied_from.push_back(v);
        }
    }
    out->corners.assign(mesh.corners.begin(), mesh.corners.end());
    for (size_t i = 0; i < out->corners.size(); ++i) {
        uint32_t v = out->corners[i];
        if (mirrored[i / 3] && copy[v] != no_copy)
            out->corners[i] = copy[v];
    }
}

uint32_t source_vertex(const tangent_mesh& mesh, const tangent_frames& out, uint32_t v)
{
    return v < mesh.positions.size() ? v : out.copied_from[v - mesh.positions.size()];
}

// The sums of each face's unit +s and +t directions, and of its unit normal
// when the normals are to be made.
void sum_faces(const tangent_mesh& mesh, tangent_frames* out)
{
    for (size_t face = 0; face * 3 < out->corners.size(); ++face) {
        game_triangle f = game_order(out->corners, face);
        game_triangle source = {source_vertex(mesh, *out, f.a), source_vertex(mesh, *out, f.b),
                                source_vertex(mesh, *out, f.c)};
        model_vec3 a = mesh.positions[source.a];
        model_vec3 d0 = mesh.positions[source.b] - a, d1 = mesh.positions[source.c] - a;
        model_vec3 face_tangent = {0, 0, 0}, face_bitangent = {0, 0, 0};
        st_edges st = edges_of(mesh, source);
        float area = st.area();
        if (area != 0 && std::isfinite(area)) {
            float sign = area < 0 ? -1.0f : 1.0f;
            face_tangent = unit_or_zero(d0 * st.d1t - d1 * st.d0t) * sign;
            face_bitangent = unit_or_zero(d1 * st.d0s - d0 * st.d1s) * sign;
        }
        model_vec3 face_normal =
            mesh.normals_given ? model_vec3{0, 0, 0} : unit_or_zero(cross(d1, d0));
        for (uint32_t v : {f.a, f.b, f.c}) {
            out->tangents[v] = out->tangents[v] + face_tangent;
            out->bitangents[v] = out->bitangents[v] + face_bitangent;
            out->normals[v] = out->normals[v] + face_normal;
        }
    }
}

// Positions compared by their bits, -0 as 0, so that any float, NaN
// included, sorts.
struct position_key {
    uint32_t bits[3];
    auto operator<=>(const position_key&) const = default;
};

position_key key_of(model_vec3 p)
{
    position_key key;
    float coordinates[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
    memcpy(key.bits, coordinates, sizeof key.bits);
    return key;
}

// Every vertex at one position gets the sum of all their normals.
void share_normals_by_position(const tangent_mesh& mesh, tangent_frames* out)
{
    size_t count = out->normals.size();
    std::vector<std::pair<position_key, uint32_t>> order(count);
    for (uint32_t v = 0; v < count; ++v)
        order[v] = {key_of(mesh.positions[source_vertex(mesh, *out, v)]), v};
    std::sort(order.begin(), order.end());
    for (size_t start = 0, end; start < count; start = end) {
        model_vec3 sum = {0, 0, 0};
        for (end = start; end < count && order[end].first == order[start].first; ++end)
            sum = sum + out->normals[order[end].second];
        for (size_t i = start; i < end; ++i)
            out->normals[order[i].second] = sum;
    }
}

}  // namespace

std::optional<tangent_frames> derive_tangents(const tangent_mesh& mesh)
{
    if (!consistent(mesh))
        return std::nullopt;
    size_t faces = mesh.corners.size() / 3;
    std::vector<bool> mirrored(faces);
    for (size_t face = 0; face < faces; ++face)
        mirrored[face] = edges_of(mesh, game_order(mesh.corners, face)).area() < 0;
    tangent_frames out;
    split_mirrored(mesh, mirrored, &out);
    size_t count = mesh.positions.size() + out.copied_from.size();
    out.tangents.assign(count, {0, 0, 0});
    out.bitangents.assign(count, {0, 0, 0});
    out.normals.assign(count, {0, 0, 0});
    sum_faces(mesh, &out);
    if (mesh.normals_given) {
        for (uint32_t v = 0; v < count; ++v)
            out.normals[v] = mesh.normals[source_vertex(mesh, out, v)];
    } else {
        share_normals_by_position(mesh, &out);
    }
    for (uint32_t v = 0; v < count; ++v) {
        model_vec3 n = unit_or_zero(out.normals[v]);
        out.normals[v] = n;
        out.tangents[v] = perpendicular_unit(out.tangents[v], n);
        out.bitangents[v] = perpendicular_unit(out.bitangents[v], n);
    }
    return out;
}
