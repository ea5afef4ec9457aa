// The image reader's refusals: headers it does not take, streams it cannot
// seek, and the length of its error text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "tests/image/tga_test_support.h"

namespace {

const char channel[] = "TGA: channel sizes other than 8 bits are unimplemented";

struct Refusal {
    const char* name;
    Bytes file;
    std::string text;
};

TgaHeader with(TgaHeader h, void (*change)(TgaHeader&))
{
    change(h);
    return h;
}

const char zero[] = "TGA: width, height, or bpp is zero in \"test.tga\"";

const Refusal refusals[] = {
    {"header cut short", Bytes(10, 0), "TGA: Cannot read header from \"test.tga\""},
    {"width zero", tga_bytes({.width = 0}), zero},
    {"height zero", tga_bytes({.height = 0}), zero},
    {"bpp zero", tga_bytes({.bpp = 0}), zero},
    {"size checked before type", tga_bytes({.imageType = 0, .width = 0}), zero},
    {"type 0", tga_bytes({.imageType = 0}), "TGA: unrecognized image type 0\n"},
    {"type 4", tga_bytes({.imageType = 4}), "TGA: unrecognized image type 4\n"},
    {"type 8", tga_bytes({.imageType = 8}), "TGA: unrecognized image type 8\n"},
    {"type 12", tga_bytes({.imageType = 12}), "TGA: unrecognized image type 12\n"},
    {"type 255", tga_bytes({.imageType = 255}), "TGA: unrecognized image type 255\n"},
    {"16-bit true colour", tga_bytes({.bpp = 16}), channel},
    {"16-bit run-length true colour", tga_bytes({.imageType = 10, .bpp = 16}), channel},
    {"16-bit grey", tga_bytes({.imageType = 3, .bpp = 16}), channel},
    {"16-bit indices", tga_bytes(with(indexed(1, 24), [](TgaHeader& h) { h.bpp = 16; })), channel},
    {"bpp checked before map type", tga_bytes({.colorMapType = 1, .bpp = 16}), channel},
    {"indexed without map", tga_bytes(with(indexed(1, 24), [](TgaHeader& h) { h.colorMapType = 0; })),
     "TGA: indexed image has invalid color map type 0\n"},
    {"true colour with map", tga_bytes({.colorMapType = 1}),
     "TGA: non-indexed image has invalid color map type 1\n"},
    {"grey with map type 2", tga_bytes({.colorMapType = 2, .imageType = 11, .bpp = 8}),
     "TGA: non-indexed image has invalid color map type 2\n"},
    {"empty map", tga_bytes(indexed(0, 24)), "TGA: invalid color map length 0"},
    {"16-bit map entries", tga_bytes(indexed(2, 16)), channel},
    {"map cut short", tga_bytes(indexed(4, 24), Bytes(5, 1)), "TGA: error reading colormap (ftell == 23)\n"},
};

class Refused : public testing::TestWithParam<Refusal> {};

TEST_P(Refused, StoresTheReasonAndPrintsItFromLevelOne)
{
    const Refusal& c = GetParam();
    Read silent = read_tga(c.file);
    EXPECT_EQ(silent.image, nullptr);
    EXPECT_STREQ(tga_error_text, c.text.c_str());
    EXPECT_EQ(silent.out, "") << "level 0 prints nothing";

    Read loud = read_tga(c.file, 0, 1);
    EXPECT_EQ(loud.image, nullptr);
    EXPECT_STREQ(tga_error_text, c.text.c_str());
    EXPECT_TRUE(loud.out.ends_with(c.text + "\n")) << loud.out;
}

INSTANTIATE_TEST_SUITE_P(Headers, Refused, testing::ValuesIn(refusals),
                         [](const testing::TestParamInfo<Refusal>& info) {
                             return param_name(info.param.name);
                         });

TEST(RefusedStream, UnseekableStreamFailsAtTheFooter)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    Bytes file = tga_bytes({}, {1, 2, 3});
    ASSERT_EQ(write(ends[1], file.data(), file.size()), (ssize_t)file.size());
    close(ends[1]);
    FILE* stream = fdopen(ends[0], "rb");
    tga_reset_state();
    EXPECT_EQ(tga_read(stream, "test.tga", 0), nullptr);
    EXPECT_STREQ(tga_error_text, "TGA: Cannot read footer from \"test.tga\"");
    fclose(stream);
}

TEST(RefusedStream, ErrorTextIsCutTo255Characters)
{
    std::string path(300, 'p');
    FILE* stream = temp_stream(Bytes(10, 0));
    tga_reset_state();
    EXPECT_EQ(tga_read(stream, path.c_str(), 0), nullptr);
    EXPECT_EQ(strlen(tga_error_text), 255u);
    EXPECT_EQ(std::string(tga_error_text, 31), "TGA: Cannot read header from \"p");
    fclose(stream);
}

}  // namespace
