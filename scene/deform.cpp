#include "scene/deform.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The game keeps no more deforms than this for a shader.
constexpr size_t most_deforms = 3;

// The sums are worked out in doubles: the corners' floats are their input
// and their output alone.
struct vec {
    double x, y, z;
};

vec operator+(vec a, vec b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
vec operator-(vec a, vec b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
vec operator*(vec a, double k)
{
    return {a.x * k, a.y * k, a.z * k};
}
double dot(vec a, vec b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
vec cross(vec a, vec b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(vec a)
{
    return std::sqrt(dot(a, a));
}
vec of(const model_vec3& v)
{
    return {v.x, v.y, v.z};
}
model_vec3 to_float(vec v)
{
    return {float(v.x), float(v.y), float(v.z)};
}

bool finite(const model_vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
bool same(const model_vec3& a, const model_vec3& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool finite_deform(const material_deform& d)
{
    const material_wave& w = d.wave;
    return std::isfinite(w.base) && std::isfinite(w.amplitude) && std::isfinite(w.phase) &&
           std::isfinite(w.frequency) && std::isfinite(d.spread) && std::isfinite(d.vector[0]) &&
           std::isfinite(d.vector[1]) && std::isfinite(d.vector[2]);
}

// An amount that is not finite would turn the direction's zero components
// into NaN: the corner stays where it is instead.
void push(deform_corner* corner, const model_vec3& direction, double amount)
{
    if (!std::isfinite(amount))
        return;
    corner->position = to_float(of(corner->position) + of(direction) * amount);
}

void wave(std::span<deform_corner> corners, const material_deform& d, float time)
{
    if (d.wave.frequency == 0.0f) {
        double amount = wave_value(d.wave, time);
        for (deform_corner& c : corners)
            push(&c, c.normal, amount);
        return;
    }
    // The game takes a divisor of 0 as 1/100.
    double per_unit = d.spread == 0.0f ? 100.0 : 1.0 / double(d.spread);
    for (deform_corner& c : corners) {
        material_wave own = d.wave;
        own.phase =
            float(own.phase + (double(c.position.x) + c.position.y + c.position.z) * per_unit);
        push(&c, c.normal, wave_value(own, time));
    }
}

void move(std::span<deform_corner> corners, const material_deform& d, float time)
{
    double amount = wave_value(d.wave, time);
    model_vec3 direction = {d.vector[0], d.vector[1], d.vector[2]};
    for (deform_corner& c : corners)
        push(&c, direction, amount);
}

void bulge(std::span<deform_corner> corners, const material_deform& d, float time)
{
    double width = d.vector[0], height = d.vector[1], speed = d.vector[2];
    for (deform_corner& c : corners)
        push(&c, c.normal, height * std::sin(c.st[0] * width + time * speed));
}

// Two consecutive triangles that share an edge, as the quad they make: its
// corners q0..q3 go round it in the first triangle's winding, q0 being the
// corner the second lacks. Each of the six slots names its corner.
struct quad {
    int corner_of[6];
};

bool three_distinct(const deform_corner* t)
{
    return !same(t[0].position, t[1].position) && !same(t[1].position, t[2].position) &&
           !same(t[0].position, t[2].position);
}

bool find_quad(const deform_corner* pair, quad* q)
{
    for (int slot = 0; slot < 6; slot++)
        if (!finite(pair[slot].position))
            return false;
    if (!three_distinct(pair) || !three_distinct(pair + 3))
        return false;
    int shared_with[3] = {-1, -1, -1}, shared = 0, unmatched = -1;
    for (int j = 0; j < 3; j++) {
        for (int k = 0; k < 3; k++)
            if (same(pair[3 + j].position, pair[k].position))
                shared_with[j] = k;
        if (shared_with[j] >= 0)
            shared++;
        else
            unmatched = j;
    }
    if (shared != 2)
        return false;
    int apex = 3 - shared_with[(unmatched + 1) % 3] - shared_with[(unmatched + 2) % 3];
    q->corner_of[apex] = 0;
    q->corner_of[(apex + 1) % 3] = 1;
    q->corner_of[(apex + 2) % 3] = 3;
    for (int j = 0; j < 3; j++)
        q->corner_of[3 + j] = j == unmatched ? 2 : q->corner_of[shared_with[j]];
    return true;
}

// Each slot takes its corner's new place (and its new texture coordinates
// unless they are kept); the second triangle is turned over when it was
// wound against the first, so that both face the same way.
void place(deform_corner* pair, const quad& q, const deform_corner made[4], bool keep_st)
{
    for (int slot = 0; slot < 6; slot++) {
        const deform_corner& corner = made[q.corner_of[slot]];
        pair[slot].position = corner.position;
        pair[slot].normal = corner.normal;
        if (!keep_st)
            std::copy_n(corner.st, 2, pair[slot].st);
    }
    const int* second = q.corner_of + 3;
    if (second[0] % 3 + 1 != second[1])
        std::swap(pair[4], pair[5]);
}

void quad_corners(const deform_corner* pair, const quad& q, deform_corner out[4])
{
    for (int slot = 5; slot >= 0; slot--)
        out[q.corner_of[slot]] = pair[slot];
}

// A square facing the view in the quad's stead, its picture upright, its
// corners going round in the quad's order so that the first triangle faces
// the eye.
void autosprite_quad(deform_corner* pair, const quad& q, const deform_view& view)
{
    deform_corner corners[4];
    quad_corners(pair, q, corners);
    vec centre = (of(corners[0].position) + of(corners[1].position) + of(corners[2].position) +
                  of(corners[3].position)) *
                 0.25;
    double half = length(of(pair[0].position) - centre) * 0.707;
    vec right = of(view.right), up = of(view.up);
    // Counter-clockwise as the eye sees it: bottom left, bottom right, top right, top left.
    double side[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    if (dot(cross(right, up), of(view.forward)) > 0)
        std::swap(side[1], side[3]);
    model_vec3 towards_eye = to_float(of(view.forward) * -1.0);
    deform_corner made[4];
    for (int i = 0; i < 4; i++) {
        vec at = centre + right * (side[i][0] * half) + up * (side[i][1] * half);
        made[i] = {to_float(at), towards_eye, {float(side[i][0] > 0), float(side[i][1] > 0)}};
    }
    place(pair, q, made, false);
}

// The quad turned about the line through its short edges' midpoints until
// it faces the eye as squarely as that line allows, each corner keeping its
// texture coordinates. A quad seen along that line stays as it is.
void autosprite2_quad(deform_corner* pair, const quad& q, const deform_view& view)
{
    deform_corner corners[4];
    quad_corners(pair, q, corners);
    vec p[4];
    for (int i = 0; i < 4; i++)
        p[i] = of(corners[i].position);
    // a-b and c-d are the short edges of the round a, b, c, d.
    int a = length(p[1] - p[0]) + length(p[3] - p[2]) <= length(p[2] - p[1]) + length(p[0] - p[3])
                ? 0
                : 1;
    int b = (a + 1) % 4, c = (a + 2) % 4, d = (a + 3) % 4;
    vec start = (p[a] + p[b]) * 0.5, end = (p[c] + p[d]) * 0.5;
    vec axis = end - start, across = cross(axis, of(view.forward));
    double across_length = length(across);
    if (!(across_length > 1e-9 * length(axis)) || !std::isfinite(across_length))
        return;
    across = across * (1.0 / across_length);
    vec facing = cross(axis, across);
    model_vec3 normal = to_float(facing * (1.0 / length(facing)));
    double start_half = length(p[b] - p[a]) * 0.5, end_half = length(p[d] - p[c]) * 0.5;
    p[a] = start + across * start_half;
    p[b] = start - across * start_half;
    p[c] = end - across * end_half;
    p[d] = end + across * end_half;
    for (int i = 0; i < 4; i++)
        corners[i].position = to_float(p[i]), corners[i].normal = normal;
    place(pair, q, corners, true);
}

bool usable(const deform_view& view)
{
    return finite(view.right) && finite(view.up) && finite(view.forward) &&
           length(of(view.forward)) > 0;
}

template <class Sprite> void sprites(std::span<deform_corner> corners, Sprite sprite)
{
    size_t triangles = corners.size() / 3;
    for (size_t t = 0; t + 1 < triangles;) {
        deform_corner* pair = &corners[3 * t];
        quad q;
        if (find_quad(pair, &q)) {
            sprite(pair, q);
            t += 2;
        } else {
            t += 1;
        }
    }
}

}  // namespace

void deform_corners(std::span<const deform_corner> corners,
                    std::span<const material_deform> deforms, float time, const deform_view& view,
                    std::vector<deform_corner>* out)
{
    out->assign(corners.begin(), corners.end());
    if (!std::isfinite(time))
        time = 0;
    std::span<deform_corner> moved(*out);
    for (size_t i = 0; i < deforms.size() && i < most_deforms; i++) {
        const material_deform& d = deforms[i];
        if (!finite_deform(d))
            continue;
        switch (d.kind) {
        case deform_kind::wave:
            wave(moved, d, time);
            break;
        case deform_kind::move:
            move(moved, d, time);
            break;
        case deform_kind::bulge:
            bulge(moved, d, time);
            break;
        case deform_kind::autosprite:
            if (usable(view))
                sprites(moved, [&](deform_corner* pair, const quad& q) {
                    autosprite_quad(pair, q, view);
                });
            break;
        case deform_kind::autosprite2:
            if (usable(view))
                sprites(moved, [&](deform_corner* pair, const quad& q) {
                    autosprite2_quad(pair, q, view);
                });
            break;
        }
    }
}
