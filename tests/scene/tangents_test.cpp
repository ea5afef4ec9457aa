// Tangent frames of small meshes in the z = 0 plane, picture up along +y,
// whose directions follow from their texture coordinates by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/tangents.h"

namespace {

struct Mesh {
    std::vector<model_vec3> positions;
    std::vector<tangent_st> texcoords;
    std::vector<uint32_t> corners;
    std::vector<model_vec3> normals;  // empty: none given
};

std::optional<tangent_frames> derive(const Mesh& m)
{
    return derive_tangents({m.positions, m.texcoords, m.normals, !m.normals.empty(), m.corners});
}

void expect_near(model_vec3 got, model_vec3 expected, const char* what)
{
    EXPECT_NEAR(got.x, expected.x, 1e-5f) << what;
    EXPECT_NEAR(got.y, expected.y, 1e-5f) << what;
    EXPECT_NEAR(got.z, expected.z, 1e-5f) << what;
}

const float r = std::sqrt(0.5f);

// The unit square, counter-clockwise from the front (+z), in two triangles.
struct QuadCase {
    const char* name;
    std::vector<tangent_st> texcoords;  // at (0,0), (1,0), (1,1), (0,1)
    std::vector<model_vec3> normals;
    model_vec3 tangent, bitangent, normal;
};

class Quad : public testing::TestWithParam<QuadCase> {};

TEST_P(Quad, GivesEveryVertexTheFrameOfItsCoordinates)
{
    const QuadCase& c = GetParam();
    Mesh quad = {
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, c.texcoords, {0, 1, 2, 0, 2, 3}, c.normals};
    std::optional<tangent_frames> f = derive(quad);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->copied_from.empty());
    EXPECT_EQ(f->corners, quad.corners);
    for (int v = 0; v < 4; ++v) {
        expect_near(f->tangents[v], c.tangent, "T");
        expect_near(f->bitangents[v], c.bitangent, "B");
        expect_near(f->normals[v], c.normal, "N");
    }
}

const std::vector<model_vec3> tilted(4, {2, 0, 2});
const std::vector<tangent_st> one_point(4, {0.5f, 0.5f});
const std::vector<tangent_st> upright = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};

// t grows down the picture, so B points down the quad.
const QuadCase quad_cases[] = {
    {"Upright", upright, {}, {1, 0, 0}, {0, -1, 0}, {0, 0, 1}},
    {"Turned", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, {}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
    {"Sheared", {{0, 0}, {1, 1}, {1, 0}, {0, -1}}, {}, {r, r, 0}, {0, -1, 0}, {0, 0, 1}},
    {"GivenNormalsTilted", upright, tilted, {r, 0, -r}, {0, -1, 0}, {r, 0, r}},
    {"NoTextureArea", one_point, {}, {0, 0, 0}, {0, 0, 0}, {0, 0, 1}},
};

INSTANTIATE_TEST_SUITE_P(Mappings, Quad, testing::ValuesIn(quad_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Two triangles on either side of the edge x = 0, their s mirrored about it.
Mesh mirrored_pair(bool normals)
{
    Mesh m = {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}},
              {{0, 1}, {0, 0}, {1, 1}, {1, 1}},
              {0, 2, 1, 0, 1, 3},
              {}};
    if (normals)
        m.normals.assign(4, {0, 0, 1});
    return m;
}

class MirroredPair : public testing::TestWithParam<bool> {};

TEST_P(MirroredPair, SplitsTheSeamAndTurnsTheMirroredTangent)
{
    std::optional<tangent_frames> f = derive(mirrored_pair(GetParam()));
    ASSERT_TRUE(f);
    ASSERT_EQ(f->copied_from, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(f->corners, (std::vector<uint32_t>{0, 2, 1, 4, 5, 3}));
    for (uint32_t v : {0u, 1u, 2u})
        expect_near(f->tangents[v], {1, 0, 0}, "unmirrored T");
    for (uint32_t v : {3u, 4u, 5u})
        expect_near(f->tangents[v], {-1, 0, 0}, "mirrored T");
    for (uint32_t v = 0; v < 6; ++v) {
        expect_near(f->bitangents[v], {0, -1, 0}, "B");
        expect_near(f->normals[v], {0, 0, 1}, "N");
    }
}

INSTANTIATE_TEST_SUITE_P(Normals, MirroredPair, testing::Bool());

// Without normals, vertices at one position share one: where a fold's two
// sides have vertices of their own at one place, each gets their mean.
TEST(Tangents, VerticesAtOnePositionShareTheMadeNormal)
{
    Mesh fold = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, -1}},
                 {{0, 1}, {1, 1}, {0, 0}, {0, 1}, {0, 0}, {1, 1}},
                 {0, 1, 2, 3, 5, 4},
                 {}};
    std::optional<tangent_frames> f = derive(fold);
    ASSERT_TRUE(f);
    expect_near(f->normals[0], {r, 0, r}, "shared");
    expect_near(f->normals[3], {r, 0, r}, "shared");
    expect_near(f->normals[1], {0, 0, 1}, "alone");
}

TEST(Tangents, RefusesAnInconsistentMesh)
{
    Mesh bad = mirrored_pair(false);
    bad.corners.back() = 4;
    EXPECT_FALSE(derive(bad));
    bad = mirrored_pair(true);
    bad.normals.pop_back();
    EXPECT_FALSE(derive(bad));
    bad = mirrored_pair(false);
    bad.corners.pop_back();
    EXPECT_FALSE(derive(bad));
}

}  // namespace
