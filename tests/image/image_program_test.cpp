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
    const unsigned char* p =
        image->pixels + ((image->height - 1 - top_row) * image->width + column) * 4;
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
const Painter level = [](int, int) { return grey(90); };

const HeightCase height_cases[] = {
    {"RightScale4", 4, rising_right, 3, 3, {97, 128, 250, 255}},
    {"LastColumnWraps", 4, rising_right, 3, 7, {238, 128, 190, 255}},
    {"RightScale1", 1, rising_right, 3, 3, {120, 128, 254, 255}},
    {"DownScale4", 4, rising_down, 3, 3, {128, 97, 250, 255}},
    {"Flat", 4, level, 7, 7, {128, 128, 254, 255}},
};

INSTANTIATE_TEST_SUITE_P(Ramps, Heightmap, testing::ValuesIn(height_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Each program on a 2 x 2 picture of one texel; a second picture of one
// texel for those of two.
using Program = std::function<RgbaImage*(const RgbaImage*, const RgbaImage*)>;

Program unary(RgbaImage* (*program)(const RgbaImage*))
{
    return [=](const RgbaImage* image, const RgbaImage*) { return program(image); };
}

Program scaled(float r, float g, float b, float a)
{
    return [=](const RgbaImage* image, const RgbaImage*) { return image_scale(image, r, g, b, a); };
}

struct TexelCase {
    const char* name;
    Program program;
    Texel in, second, expected;
};

class PerTexel : public testing::TestWithParam<TexelCase> {};

TEST_P(PerTexel, MapsEachTexel)
{
    const TexelCase& c = GetParam();
    Image in = flat(2, 2, c.in);
    Image out(c.program(in.get(), flat(1, 1, c.second).get()));
    ASSERT_TRUE(out);
    EXPECT_EQ(at(out, 1, 0), c.expected);
    EXPECT_EQ(at(in, 1, 0), c.in);
}

const Texel none = {0, 0, 0, 0};

const TexelCase texel_cases[] = {
    {"MakeAlpha", unary(image_make_alpha), {30, 60, 90, 7}, none, {255, 255, 255, 60}},
    {"MakeIntensity", unary(image_make_intensity), {200, 1, 2, 3}, none, {200, 200, 200, 200}},
    {"InvertColor", unary(image_invert_color), {10, 20, 30, 40}, none, {245, 235, 225, 40}},
    {"InvertAlpha", unary(image_invert_alpha), {10, 20, 30, 40}, none, {10, 20, 30, 215}},
    {"ScaleWraps", scaled(2, 0.5f, 1.5f, 3), {200, 255, 100, 255}, none, {144, 127, 150, 253}},
    {"ScaleWrapsBelow0", scaled(-1, 0, 1e30f, 1), {200, 9, 200, 4}, none, {56, 0, 0, 4}},
    {"AddSaturates", image_add, {200, 100, 0, 250}, {100, 100, 5, 10}, {255, 200, 5, 255}},
    {"AddNormals", image_add_normals, {128, 128, 255, 0}, {160, 128, 255, 9}, {159, 128, 251, 255}},
    {"AddNormalsZ", image_add_normals, {200, 128, 60, 0}, {128, 100, 0, 0}, {198, 100, 230, 255}},
    {"PastUnit", image_add_normals, {255, 129, 128, 0}, {128, 128, 0, 0}, {254, 128, 128, 255}},
    {"SmoothNone", unary(image_smooth_normals), {128, 128, 128, 77}, none, {128, 128, 128, 77}},
};

INSTANTIATE_TEST_SUITE_P(Programs, PerTexel, testing::ValuesIn(texel_cases),
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

TEST(Resample, GrowsEachSideToAPowerOfTwoKeepingAFlatColour)
{
    const int sides[][4] = {{1, 1, 1, 1}, {3, 5, 4, 8}, {64, 64, 64, 64}, {65, 2, 128, 2}};
    for (const auto& c : sides) {
        Image out(image_resample_power_of_two(flat(c[0], c[1], {1, 2, 3, 250}).get()));
        ASSERT_TRUE(out);
        EXPECT_EQ(out->width, c[2]);
        EXPECT_EQ(out->height, c[3]);
        EXPECT_EQ(at(out, c[3] - 1, c[2] - 1), (Texel{1, 2, 3, 250}));
    }
}

TEST(Resample, WeighsTexelsByTheAreaTheyCover)
{
    Image in =
        make(3, 3, [](int row, int column) { return grey(column == 2 || row == 0 ? 255 : 0); });
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
