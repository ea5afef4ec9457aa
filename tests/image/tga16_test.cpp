// 16- and 15-bit true-colour Targa in the model view's decoder: both row
// orders, mirrored rows, the alpha bit only where the header gives one,
// run-length packets across rows, and what is cut short or damaged.
#include <gtest/gtest.h>

#include "tests/image/decode_bytes.h"
#include "tests/image/tga_test_support.h"
#include "tests/support/corpus.h"
#include "tests/support/targa.h"

namespace {

// A1 R5 G5 B5 pixels and what each becomes: without an alpha bit in the
// header, and with one.
struct Pixel {
    uint16_t value;
    uint8_t r, g, b, alpha_with_bit;
};
const Pixel red_a = {0xFC00, 255, 0, 0, 255};
const Pixel green = {0x03E0, 0, 255, 0, 0};
const Pixel white = {0x7FFF, 255, 255, 255, 0};
const Pixel grey = {0x4210, 132, 132, 132, 0};  // 16 of 31 a channel
const Pixel dark_a = {0x8421, 8, 8, 8, 255};    // 1 of 31

struct Tga16Case {
    const char* name;
    uint8_t type, bpp, descriptor;
    Bytes body;                    // the pixel data
    std::vector<Pixel> expected;   // bottom row first; empty when refused
    const char* reason = nullptr;  // found in image_error_text when refused
};

Bytes plain(std::initializer_list<Pixel> pixels)
{
    Bytes out;
    for (const Pixel& p : pixels)
        out.insert(out.end(), {(uint8_t)p.value, (uint8_t)(p.value >> 8)});
    return out;
}

Bytes run(int count, const Pixel& p)
{
    return concat({{(uint8_t)(0x80 | (count - 1))}, plain({p})});
}

Bytes raw(std::initializer_list<Pixel> pixels)
{
    return concat({{(uint8_t)(pixels.size() - 1)}, plain(pixels)});
}

// All 2 x 2: top row first in the file when descriptor bit 5 is set, each
// row right to left when bit 4 is; bits 0-3 count the alpha bits.
const Tga16Case cases[] = {
    {"plain_bottom_up", 2, 16, 0x00, plain({white, grey, red_a, green}),
     {white, grey, red_a, green}},
    {"plain_top_down", 2, 16, 0x20, plain({red_a, green, white, grey}),
     {white, grey, red_a, green}},
    {"plain_right_to_left", 2, 16, 0x10, plain({grey, white, green, red_a}),
     {white, grey, red_a, green}},
    {"plain_top_down_right_to_left", 2, 16, 0x30, plain({green, red_a, grey, white}),
     {white, grey, red_a, green}},
    {"plain_alpha_bit", 2, 16, 0x01, plain({white, dark_a, red_a, green}),
     {white, dark_a, red_a, green}},
    {"plain_15_bits", 2, 15, 0x00, plain({white, dark_a, red_a, green}),
     {white, dark_a, red_a, green}},
    {"plain_8_attribute_bits", 2, 16, 0x08, plain({white, dark_a, red_a, green}),
     {white, dark_a, red_a, green}},
    {"rle_run_across_rows", 10, 16, 0x00, concat({raw({white}), run(3, red_a)}),
     {white, red_a, red_a, red_a}},
    {"rle_top_down_alpha_bit", 10, 16, 0x21, concat({run(3, grey), raw({dark_a})}),
     {grey, dark_a, grey, grey}},
    {"rle_raw_across_rows", 10, 16, 0x20, concat({run(1, white), raw({green, grey, red_a})}),
     {grey, red_a, white, green}},
    {"rle_run_past_the_end", 10, 16, 0x00, run(5, green), {green, green, green, green}},
    {"plain_cut", 2, 16, 0x00, plain({white, grey, red_a}), {}, "truncated Targa"},
    {"rle_no_data", 10, 16, 0x00, {}, {}, "truncated Targa"},
    {"rle_cut_in_a_run", 10, 16, 0x00, concat({raw({white}), {0x82, 0x00}}), {},
     "truncated Targa"},
    {"rle_raw_packet_short", 10, 16, 0x00, concat({raw({white, grey, red_a}), {0x00}}), {},
     "truncated Targa"},
};

class Tga16 : public testing::TestWithParam<Tga16Case> {};

TEST_P(Tga16, DecodesBottomRowFirstOrRefuses)
{
    const Tga16Case& c = GetParam();
    TgaHeader header = {.imageType = c.type, .width = 2, .height = 2, .bpp = c.bpp,
                        .descriptor = c.descriptor};
    Bytes file = tga_bytes(header, c.body);
    image_error_text.clear();
    Picture picture = decode_exact(file.data(), file.size());
    if (c.expected.empty()) {
        EXPECT_EQ(picture, nullptr);
        EXPECT_EQ(image_error_text, c.reason);
        return;
    }
    ASSERT_NE(picture, nullptr) << image_error_text;
    bool alpha_bit = (c.descriptor & 0x0F) == 1;
    Bytes expected;
    for (const Pixel& p : c.expected)
        expected.insert(expected.end(), {p.r, p.g, p.b, alpha_bit ? p.alpha_with_bit : uint8_t(255)});
    EXPECT_EQ(Bytes(picture->pixels, picture->pixels + 16), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Tga16, testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The header itself: an ID field past the end, a colour map on true colour.
TEST(Tga16Header, RefusedWithAReason)
{
    const std::pair<TgaHeader, const char*> headers[] = {
        {{.idLength = 40, .imageType = 2, .bpp = 16}, "truncated Targa"},
        {{.colorMapType = 1, .imageType = 10, .bpp = 16},
         "damaged Targa: non-indexed image has invalid color map type 1"},
    };
    for (const auto& [header, reason] : headers) {
        Bytes file = tga_bytes(header, plain({white, white}));
        EXPECT_EQ(decode_exact(file.data(), file.size()), nullptr);
        EXPECT_EQ(image_error_text, reason);
    }
}

// Written by another program: 2 x 1, eight attribute bits given, so opaque.
TEST(Tga16Corpus, DecodesItsPixelsOpaque)
{
    SKIP_WITHOUT_CORPUS();
    Picture picture(image_load(corpus_path("tga/rgba16.tga").c_str()), image_free);
    ASSERT_NE(picture, nullptr) << image_error_text;
    ASSERT_EQ(picture->width * picture->height, 2);
    EXPECT_EQ(Bytes(picture->pixels, picture->pixels + 8), (Bytes{173, 0, 255, 255, 0, 255, 82, 255}));
}

}  // namespace
