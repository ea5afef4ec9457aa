// Image program operations on small pictures whose results are worked out
// by hand from the game's arithmetic; rows are named from the top of the
// picture, so a step stored the wrong way up shows.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>

#include "image/image_program.h"

namespace {

using Texel = std::array<int, 4>;
using Painter = std::function<Texel(int top_row, int column)>;

struct Freer {
    void operator()(RgbaImage* image) const { image_free(image); }
};
using Image = std::unique_ptr<RgbaImage, Freer>;

Image make(int width, int height, const Painter& paint)
{
    RgbaImage* image = (RgbaImage*)malloc(sizeof *image);
    *image = {width, height, (unsigned char*)malloc((size_t)width * height * 4), 1, image_rgba8};
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
            Texel t = paint(height - 1 - row, column);
            for (int c = 0; c < 4; ++c)
                image->pixels[(row * width + column) * 4 + c] = (unsigned char)t[c];
        }
    return Image(image);
}

Image flat(int width, int height, Texel t)
{
    return make(width, height, [=](int, int) { return t; });
}

Texel at(const Image& image, int top_row, int column)
{
    const unsigned char* p = image->pixels + ((image->height - 1 - top_row) * image->width + column) * 4;
    return {p[0], p[1], p[2], p[3]};
}

Texel grey(int h)
{
    return {h, h, h, 255};
}

struct HeightCase {
    const char* name;
    float scale;
    Painter heights;
    int top_row, column;
    Texel expected;
};

class Heightmap : public testing::TestWithParam<HeightCase> {};

TEST_P(Heightmap, GivesTheGamesNormal)
{
    const HeightCase& c = GetParam();
    Image out(image_heightmap(make(8, 8, c.heights).get(), c.scale));
    ASSERT_TRUE(out);
    EXPECT_EQ(at(out, c.top_row, c.column), c.expected);
}

const Painter rising_right = [](int, int column) { return grey(16 * column); };
const Painter rising_down = [](int row, int) { return grey(16 * row); };

INSTANTIATE_TEST_SUITE_P(
    Ramps, Heightmap,
    testing::Values(HeightCase{"RightScale4", 4, rising_right, 3, 3, {97, 128, 250, 255}},
                    HeightCase{"LastColumnWraps", 4, rising_right, 3, 7, {238, 128, 190, 255}},
                    HeightCase{"RightScale1", 1, rising_right, 3, 3, {120, 128, 254, 255}},
                    HeightCase{"DownScale4", 4, rising_down, 3, 3, {128, 97, 250, 255}},
                    HeightCase{"Flat", 4, [](int, int) { return grey(90); }, 7, 7, {128, 128, 254, 255}}),
    [](const auto& info) { return std::string(info.param.name); });

struct TexelCase {
    const char* name;
    std::function<RgbaImage*(const RgbaImage*)> program;
    Texel in, expected;
};

class PerTexel : public testing::TestWithParam<TexelCase> {};

TEST_P(PerTexel, MapsEachTexel)
{
    const TexelCase& c = GetParam();
    Image in = flat(2, 2, c.in);
    Image out(c.program(in.get()));
    ASSERT_TRUE(out);
    EXPECT_EQ(at(out, 1, 0), c.expected);
    EXPECT_EQ(at(in, 1, 0), c.in);
}

RgbaImage* add_normals_of(const RgbaImage* a, Texel b)
{
    return image_add_normals(a, flat(1, 1, b).get());
}

INSTANTIATE_TEST_SUITE_P(
    Programs, PerTexel,
    testing::Values(
        TexelCase{"MakeAlpha", image_make_alpha, {30, 60, 90, 7}, {255, 255, 255, 60}},
        TexelCase{"MakeIntensity", image_make_intensity, {200, 1, 2, 3}, {200, 200, 200, 200}},
        TexelCase{"InvertColor", image_invert_color, {10, 20, 30, 40}, {245, 235, 225, 40}},
        TexelCase{"InvertAlpha", image_invert_alpha, {10, 20, 30, 40}, {10, 20, 30, 215}},
        TexelCase{"ScaleWrapsPast255",
                  [](const RgbaImage* i) { return image_scale(i, 2, 0.5f, 1.5f, 3); },
                  {200, 255, 100, 255},
                  {144, 127, 150, 253}},
        TexelCase{"ScaleWrapsBelowZero",
                  [](const RgbaImage* i) { return image_scale(i, -1, 0, 1e30f, 1); },
                  {200, 9, 200, 4},
                  {56, 0, 0, 4}},
        TexelCase{"AddSaturates",
                  [](const RgbaImage* i) { return image_add(i, flat(1, 1, {100, 100, 5, 10}).get()); },
                  {200, 100, 0, 250},
                  {255, 200, 5, 255}},
        TexelCase{"AddNormals",
                  [](const RgbaImage* i) { return add_normals_of(i, {160, 128, 255, 9}); },
                  {128, 128, 255, 0},
                  {159, 128, 251, 255}},
        TexelCase{"AddNormalsRebuildsZ",
                  [](const RgbaImage* i) { return add_normals_of(i, {128, 100, 0, 0}); },
                  {200, 128, 60, 0},
                  {198, 100, 230, 255}},
        TexelCase{"AddNormalsJustPastUnitLength",
                  [](const RgbaImage* i) { return add_normals_of(i, {128, 128, 0, 0}); },
                  {255, 129, 128, 0},
                  {254, 128, 128, 255}},
        TexelCase{"SmoothNormalsOfNoNormal", image_smooth_normals, {128, 128, 128, 77}, {128, 128, 128, 77}}),
    [](const auto& info) { return std::string(info.param.name); });

// b is taken at a's size by the nearest texel, rows counted from the top.
TEST(ImageAdd, TakesTheSecondImageAtTheFirstsSize)
{
    Painter numbered = [](int row, int column) { return Texel{row, column, 0, 0}; };
    Image larger(image_add(flat(2, 2, {0, 0, 0, 0}).get(), make(4, 4, numbered).get()));
    Image smaller(image_add(flat(4, 4, {0, 0, 0, 0}).get(), make(2, 2, numbered).get()));
    ASSERT_TRUE(larger && smaller);
    EXPECT_EQ(at(larger, 1, 1), (Texel{2, 2, 0, 0}));
    EXPECT_EQ(at(smaller, 3, 2), (Texel{1, 1, 0, 0}));
}

TEST(SmoothNormals, AveragesTheWrappedNeighbourhoodLeavingOutBlack)
{
    Image in = make(4, 4, [](int row, int column) {
        if (row == 0 && column == 0)
            return Texel{255, 128, 128, 5};
        return row == 2 ? Texel{0, 0, 0, 6} : Texel{128, 128, 255, 7};
    });
    Image out(image_smooth_normals(in.get()));
    ASSERT_TRUE(out);
    // Five straight-out normals and one along +X across the corner.
    EXPECT_EQ(at(out, 3, 3), (Texel{152, 128, 252, 7}));
    EXPECT_EQ(at(out, 2, 1), (Texel{128, 128, 254, 6}));
}

struct SizeCase {
    int width, height, pow2_width, pow2_height;
};

class Resample : public testing::TestWithParam<SizeCase> {};

TEST_P(Resample, GrowsEachSideToAPowerOfTwoKeepingAFlatColour)
{
    const SizeCase& c = GetParam();
    Image out(image_resample_power_of_two(flat(c.width, c.height, {1, 2, 3, 250}).get()));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->width, c.pow2_width);
    EXPECT_EQ(out->height, c.pow2_height);
    EXPECT_EQ(at(out, c.pow2_height - 1, c.pow2_width - 1), (Texel{1, 2, 3, 250}));
}

INSTANTIATE_TEST_SUITE_P(Sides, Resample,
                         testing::Values(SizeCase{1, 1, 1, 1}, SizeCase{3, 5, 4, 8}, SizeCase{64, 64, 64, 64},
                                         SizeCase{65, 2, 128, 2}, SizeCase{8192, 1, 8192, 1}));

TEST(Resample, WeighsTexelsByTheAreaTheyCover)
{
    Image in = make(3, 3, [](int row, int column) { return grey(column == 2 || row == 0 ? 255 : 0); });
    Image out(image_resample_power_of_two(in.get()));
    ASSERT_TRUE(out);
    int expected[4] = {0, 0, 85, 255};
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(at(out, 3, column)[0], expected[column]) << column;
    EXPECT_EQ(at(out, 1, 0)[0], 85);
    Image same(image_resample_power_of_two(out.get()));
    EXPECT_EQ(memcmp(same->pixels, out->pixels, 64), 0);
}

// An S3TC image is read through its decompressed top level.
TEST(ImagePrograms, ReadS3tcAsRgba)
{
    unsigned char red_block[8] = {0x00, 0xF8, 0, 0, 0, 0, 0, 0};
    RgbaImage dxt1 = {4, 4, red_block, 1, image_dxt1};
    Image out(image_invert_color(&dxt1));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->layout, image_rgba8);
    EXPECT_EQ(at(out, 2, 3), (Texel{0, 255, 255, 255}));
    EXPECT_EQ(image_heightmap(nullptr, 1), nullptr);
}

}  // namespace
