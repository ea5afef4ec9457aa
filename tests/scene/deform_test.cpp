#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "scene/deform.h"

using corners = std::vector<deform_corner>;

static const deform_view front = {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}};
static const deform_view above = {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
static const deform_view oblique = {{0.8f, 0.6f, 0}, {-0.36f, 0.48f, 0.8f}, {-0.48f, 0.64f, -0.6f}};
static const deform_view mirrored = {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}};

static model_vec3 sub(model_vec3 a, model_vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
static float dot(model_vec3 a, model_vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
static float table_sin(int i)
{
    return float(std::sin(2 * std::numbers::pi * i / 1023));
}

static corners run(const corners& in, std::vector<material_deform> deforms, float time = 0,
                   const deform_view& view = front)
{
    corners out;
    deform_corners(in, deforms, time, view, &out);
    return out;
}

// Triangles (0, 1, 2) and (0, 2, 3) of p, the second turned over when
// `against`; each corner's s, t is its place on the unit square.
static corners quad(const model_vec3 (&p)[4], bool against = false)
{
    const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    corners out;
    for (int i : {0, 1, 2, 0, against ? 3 : 2, against ? 2 : 3})
        out.push_back({p[i], {0, 0, 1}, {st[i][0], st[i][1]}});
    return out;
}

static bool faces_eye(const deform_corner* t, const deform_view& view)
{
    model_vec3 a = sub(t[1].position, t[0].position), b = sub(t[2].position, t[0].position);
    model_vec3 n = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    return dot(n, view.forward) < 0;
}

TEST(Deform, AutospriteMakesAnUprightSquareFacingTheEye)
{
    const model_vec3 lying[4] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    const model_vec3 reversed[4] = {{0, 2, 0}, {2, 2, 0}, {2, 0, 0}, {0, 0, 0}};
    const model_vec3 slanted[4] = {{1, 1, 1}, {5, 1, 2}, {5, 2, 2}, {1, 2, 1}};
    const struct {
        const model_vec3 (&p)[4];
        bool against;
        const deform_view& view;
    } cases[] = {{lying, false, front}, {reversed, false, front}, {lying, true, front},
                 {lying, false, above}, {lying, false, mirrored}, {slanted, false, oblique}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        corners out = run(quad(c.p, c.against),
                          {material_deform{deform_kind::autosprite, {}, 0, {}}}, 0, c.view);
        model_vec3 centre = {0, 0, 0};
        for (const model_vec3& v : c.p)
            centre = {centre.x + v.x / 4, centre.y + v.y / 4, centre.z + v.z / 4};
        float half = std::sqrt(dot(sub(c.p[0], centre), sub(c.p[0], centre))) * 0.707f;
        int seen = 0;
        for (const deform_corner& k : out) {
            model_vec3 d = sub(k.position, centre);
            float x = dot(d, c.view.right), y = dot(d, c.view.up);
            EXPECT_NEAR(dot(d, c.view.forward), 0, 1e-5);
            EXPECT_NEAR(std::fabs(x), half, 1e-5);
            EXPECT_NEAR(std::fabs(y), half, 1e-5);
            EXPECT_EQ(k.st[0], float(x > 0));  // upright: t grows up the view
            EXPECT_EQ(k.st[1], float(y > 0));
            EXPECT_NEAR(dot(k.normal, c.view.forward), -1, 1e-6);
            seen |= 1 << (2 * (x > 0) + (y > 0));
        }
        EXPECT_EQ(seen, 15);  // all four corners of the square
        EXPECT_TRUE(faces_eye(&out[0], c.view) && faces_eye(&out[3], c.view));
    }
}

TEST(Deform, Autosprite2TurnsAboutTheLongAxisKeepingTextureCoordinates)
{
    // 4 long along x, 1 wide: the axis runs along x through y = 0.5, z = 0.
    corners in = quad({{0, 0, 0}, {4, 0, 0}, {4, 1, 0}, {0, 1, 0}});
    in[3].st[0] = 0.25f;  // a seam: each triangle's corner keeps its own
    for (const deform_view& view :
         {front, above, oblique, {{0.8f, -0.6f, 0}, {0, 0, 1}, {0.6f, 0.8f, 0}}}) {
        corners out = run(in, {material_deform{deform_kind::autosprite2, {}, 0, {}}}, 0, view);
        for (size_t i = 0; i < out.size(); i++) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(out[i].st[0] == in[i].st[0] && out[i].st[1] == in[i].st[1]);
            EXPECT_FLOAT_EQ(out[i].position.x, in[i].position.x);
            model_vec3 from_axis = {0, out[i].position.y - 0.5f, out[i].position.z};
            EXPECT_NEAR(dot(from_axis, from_axis), 0.25f, 1e-5);
            EXPECT_NEAR(dot(from_axis, view.forward), 0,
                        1e-5);  // the short axis is square to the view
            EXPECT_LT(dot(out[i].normal, view.forward), 0);
        }
        EXPECT_TRUE(faces_eye(&out[0], view) && faces_eye(&out[3], view));
    }
}

TEST(Deform, WaveMoveAndBulgeAtTheirTimes)
{
    const corners in = {{{1, 2, 3}, {0, 0, 1}, {0.5f, 0}},
                        {{-4, 0, 0}, {0.6f, 0.8f, 0}, {0, 0}},
                        {{25, 0, 0}, {1, 0, 0}, {0, 0}},
                        {{0, 0, 50}, {0, -1, 0}, {0, 0}},
                        {{0.00390625f, 0, 0}, {0, 0, -1}, {0, 0}}};
    using w = wave_function;
    using k = deform_kind;
    const float pi = float(std::numbers::pi), s1 = table_sin(256);
    // Move, and a wave of frequency 0, move every corner by amount[0].
    const struct {
        float time;
        material_deform deform;
        float amount[5];  // along each corner's normal, or move's (1, -2, 0)
    } cases[] = {
        {3, {k::wave, {w::sin, 1, 2, 0.25f, 0}, 7, {}}, {1 + 2 * s1}},
        {0, {k::wave, {w::square, 0.5f, 1, 0.75f, 0}, 1, {}}, {-0.5f}},
        // Each corner's phase is its x + y + z over the divisor, a divisor of 0 being 1/100.
        {0,
         {k::wave, {w::sin, 0, 1, 0, 1}, 100, {}},
         {table_sin(61), table_sin(983), s1, table_sin(512), 0}},
        {0, {k::wave, {w::sin, 0, 1, 0, 1}, 0, {}}, {0, 0, 0, 0, table_sin(400)}},
        {0.25f, {k::move, {w::sin, 0.5f, 0.5f, 0, 1}, 0, {1, -2, 0}}, {0.5f + 0.5f * s1}},
        {-0.125f, {k::move, {w::triangle, 0, 1, 0, 1}, 0, {1, -2, 0}}, {-0.5f}},
        {-0.25f, {k::move, {w::sawtooth, 0, 1, 0, 1}, 0, {1, -2, 0}}, {0.75f}},
        {-0.75f, {k::move, {w::square, 1, 2, 0, 1}, 0, {1, -2, 0}}, {3}},
        {0, {k::bulge, {}, 0, {2, 3, pi}}, {3 * std::sin(1.0f), 0, 0, 0, 0}},
        {0.5f, {k::bulge, {}, 0, {2, 3, pi}}, {3 * std::cos(1.0f), 3, 3, 3, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        corners out = run(in, {c.deform}, c.time);
        bool move = c.deform.kind == deform_kind::move;
        bool same = move || (c.deform.kind == deform_kind::wave && c.deform.wave.frequency == 0);
        for (size_t i = 0; i < in.size(); i++) {
            float amount = same ? c.amount[0] : c.amount[i];
            model_vec3 along = move ? model_vec3{1, -2, 0} : in[i].normal;
            model_vec3 moved = sub(out[i].position, in[i].position);
            EXPECT_NEAR(moved.x, along.x * amount, 1e-5) << i;
            EXPECT_NEAR(moved.y, along.y * amount, 1e-5) << i;
            EXPECT_NEAR(moved.z, along.z * amount, 1e-5) << i;
        }
    }
}

TEST(Deform, WhatMakesNoQuadIsLeftAsItIs)
{
    const model_vec3 a = {0, 0, 0}, b = {1, 0, 0}, c = {1, 1, 0}, d = {0, 1, 0}, e = {5, 5, 5};
    const std::vector<model_vec3> cases[] = {
        {a, b, c},          {a, b, c, c, d, e}, {a, b, c, d, e, {9, 9, 9}},
        {a, b, c, a, b, c}, {a, b, c, d},       {a, b, c, a, c, {std::nanf(""), 1, 0}},
    };
    for (deform_kind kind : {deform_kind::autosprite, deform_kind::autosprite2})
        for (const auto& positions : cases) {
            corners in;
            for (const model_vec3& v : positions)
                in.push_back({v, {0, 0, 1}, {v.x, v.y}});
            corners out = run(in, {material_deform{kind, {}, 0, {}}}, 0, oblique);
            ASSERT_EQ(out.size(), in.size());
            EXPECT_EQ(std::memcmp(out.data(), in.data(), out.size() * sizeof out[0]), 0)
                << &positions - cases;
        }
}

TEST(Deform, PairsAreTakenInTurnAndDeformsInOrder)
{
    corners in = quad({{7, 7, 7}, {8, 7, 7}, {8, 8, 7}, {7, 8, 7}});
    in.resize(3);
    corners square = quad({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}});
    in.insert(in.end(), square.begin(), square.end());
    material_deform up_one = {deform_kind::move, {wave_function::square, 1, 0, 0, 0}, 0, {0, 0, 1}};
    // The fourth is past what the game keeps.
    corners out =
        run(in, {material_deform{deform_kind::autosprite, {}, 0, {}}, up_one, up_one, up_one});
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(out[i].position.z, in[i].position.z + 2) << i;
    for (int i = 3; i < 9; i++) {
        EXPECT_EQ(out[i].position.y, 1);  // in the view plane through the centre
        EXPECT_NEAR(std::fabs(out[i].position.z - 2), 0.707f * std::sqrt(2.0f), 1e-5) << i;
    }
}

TEST(Deform, NumbersNotFiniteStayWhereTheyAre)
{
    const float nan = std::nanf("");
    const corners in = {{{1, 2, 3}, {0, 0, 1}, {0.5f, 0}},
                        {{nan, 0, 0}, {0, 0, 1}, {0, 0}},
                        {{4, 5, 6}, {0, 1, 0}, {INFINITY, 0}}};
    const material_deform cases[] = {
        {deform_kind::wave, {wave_function::sin, 1, 1, 0, 1}, 1, {}},
        {deform_kind::wave, {wave_function::noise, 1, 1, 0, 1}, 1e-30f, {}},
        {deform_kind::bulge, {}, 0, {1, 1, 1}},
        {deform_kind::move, {wave_function::sin, nan, 1, 0, 1}, 0, {1, 1, 1}},
        {deform_kind::move, {wave_function::square, 3e38f, 3e38f, 0, 0}, 0, {0, 0, 1}},
    };
    for (const material_deform& d : cases) {
        corners out = run(in, {d}, 0.3f);
        for (int i : {0, 2})
            EXPECT_TRUE(std::isfinite(out[i].position.x + out[i].position.y + out[i].position.z))
                << &d - cases << " corner " << i;
    }
    corners out;
    deform_corners(in, std::span(cases, 1), 0, front, &out);
    const deform_corner* kept = out.data();
    deform_corners(in, std::span(cases, 1), 1, front, &out);
    EXPECT_EQ(out.data(), kept);  // the buffer is reused, not made anew
}
