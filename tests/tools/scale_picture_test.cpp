#include "tools/scale_picture.h"

#include <gtest/gtest.h>

namespace {

// A picture of alternating black and white pixels, a checkerboard.
Pixels checkerboard(int width, int height)
{
    Pixels p{width, height, std::vector<unsigned char>(3 * width * height)};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            std::fill_n(&p.rgb[3 * (y * width + x)], 3, (x + y) % 2 ? 255 : 0);
    return p;
}

TEST(ScalePicture, KeepsTheAspectWithTheLongerSideAsAsked)
{
    const struct { int width, height, longer, new_width, new_height; } cases[] = {
        {640, 480, 128, 128, 96}, {640, 480, 512, 512, 384}, {640, 480, 1024, 1024, 768},
        {480, 640, 100, 75, 100}, {640, 480, 1, 1, 1},       {1000, 3, 10, 10, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " to " << c.longer);
        Pixels scaled = scale_picture(checkerboard(c.width, c.height), c.longer);
        EXPECT_EQ(scaled.width, c.new_width);
        EXPECT_EQ(scaled.height, c.new_height);
        EXPECT_EQ(scaled.rgb.size(), size_t(3 * c.new_width * c.new_height));
    }
}

// Each new pixel is the mean of what it covers: a checkerboard becomes an
// even grey at any smaller size, where sampling the nearest pixel would
// keep black and white.
TEST(ScalePicture, AveragesTheAreaEachNewPixelCovers)
{
    for (int longer : {320, 256, 128, 100, 37}) {
        SCOPED_TRACE(longer);
        Pixels scaled = scale_picture(checkerboard(640, 480), longer);
        auto [low, high] = std::minmax_element(scaled.rgb.begin(), scaled.rgb.end());
        EXPECT_GE(*low, 100);
        EXPECT_LE(*high, 155);
    }
    // Partly covered pixels count by their share: 3 pixels into 2, each new
    // one a whole pixel and half of the middle one.
    Pixels row{3, 1, {0, 0, 0, 90, 90, 90, 200, 200, 200}};
    Pixels two = scale_picture(row, 2);
    ASSERT_EQ(two.width, 2);
    EXPECT_EQ(two.rgb, (std::vector<unsigned char>{30, 30, 30, 163, 163, 163}));
    // Same size: the picture as it was.
    Pixels same = scale_picture(checkerboard(64, 48), 64);
    EXPECT_EQ(same.rgb, checkerboard(64, 48).rgb);
}

}  // namespace
