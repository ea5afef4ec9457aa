// Conformance against Targa files written by other programs: each must decode
// to the pixels of its reference PNG, or be refused for its 16-bit channels.
#include "image/tga.h"
#include "tests/image/tga_test_support.h"
#include "tests/support/corpus.h"
#include "tests/support/png_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

const std::string corpus = corpus_path("tga/");

// "{width}x{height}_{mode}_..." gives the reference "{width}x{height}_{mode}.png".
std::string mode_of(const std::string& name)
{
    size_t start = name.find('_') + 1;
    return name.substr(start, name.find('_', start) - start);
}

std::string reference_of(const std::string& name)
{
    return name.substr(0, name.find('_')) + "_" + mode_of(name) + ".png";
}

bool refused(const std::string& name)
{
    return name == "p_16.tga" || name == "rgba16.tga" || mode_of(name) == "la";
}

// The PNG in the record's own layout: blue, green, red for true colour, and
// red, green, blue for what a colour map entry holds.
png_uint_32 png_format(const std::string& mode)
{
    return mode == "l"      ? PNG_FORMAT_GRAY
           : mode == "rgb"  ? PNG_FORMAT_BGR
           : mode == "rgba" ? PNG_FORMAT_BGRA
                            : PNG_FORMAT_RGB;
}

// The decoded colour of row (counted as stored in the record), in PNG's layout.
Bytes record_row(const TgaImage& image, int row)
{
    const unsigned char* start = image.pixels + (size_t)row * image.width * image.components;
    if (!image.colorMap)
        return Bytes(start, start + image.width * image.components);
    Bytes out;
    for (int i = 0; i < image.width; i++) {
        EXPECT_LT(start[i], image.colorMapEntries) << "index outside the colour map";
        const unsigned char* entry = image.colorMap + start[i] * 3;
        out.insert(out.end(), entry, entry + 3);
    }
    return out;
}

class Corpus : public testing::TestWithParam<std::string> {};

TEST_P(Corpus, DecodesToTheReferencePicture)
{
    SKIP_WITHOUT_CORPUS();
    const std::string& name = GetParam();
    FILE* stream = fopen((corpus + name).c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    for (int flip : {0, 1}) {
        SCOPED_TRACE(flip ? "flipped" : "not flipped");
        tga_reset_state();
        TgaImage* image = tga_read(stream, name.c_str(), flip);
        if (refused(name)) {
            EXPECT_EQ(image, nullptr);
            EXPECT_STREQ(tga_error_text, "TGA: channel sizes other than 8 bits are unimplemented");
            continue;
        }
        ASSERT_NE(image, nullptr) << tga_error_text;
        Png png = read_png(corpus + reference_of(name), png_format(mode_of(name)));
        ASSERT_GT(png.width, 0) << reference_of(name);
        ASSERT_EQ(image->width, png.width);
        ASSERT_EQ(image->height, png.height);
        size_t png_row = png.pixels.size() / png.height;
        for (int row = 0; row < image->height; row++) {
            // Without a flip row 0 is the bottom row; PNG rows run top to bottom.
            int top_row = flip ? row : image->height - 1 - row;
            auto start = png.pixels.begin() + top_row * png_row;
            ASSERT_EQ(record_row(*image, row), Bytes(start, start + png_row)) << "row " << row;
        }
        tga_free(image);
    }
    fclose(stream);
}

// Without the corpus, one case that skips, so that listing the cases works.
INSTANTIATE_TEST_SUITE_P(Files, Corpus,
                         testing::ValuesIn(have_corpus() ? tga_files_in(corpus)
                                                         : std::vector<std::string>{"no_corpus"}),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return param_name(info.param);
                         });

TEST(CorpusFiles, EveryKindIsPresent)
{
    SKIP_WITHOUT_CORPUS();
    std::vector<std::string> names = tga_files_in(corpus);
    for (const char* mode : {"l", "la", "p", "rgb", "rgba"})
        EXPECT_EQ(std::count_if(names.begin(), names.end(),
                                [&](const std::string& n) { return mode_of(n) == mode; }),
                  mode == std::string("l") ? 8 : 4)
            << mode;
    EXPECT_EQ(names.size(), 26u);
}

}  // namespace
