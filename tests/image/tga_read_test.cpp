// The image reader on hand-built Targa files: orientation, colour maps, ID
// fields, console messages and the fatal loader.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "tests/image/tga_test_support.h"

namespace {

// The rows of a picture of width x 2 pixels, 3 bytes each: {row, column,
// 0x55}, row `first` first.
Bytes picture(int first, int width, bool right_to_left)
{
    Bytes out;
    for (int row : {first, 1 - first})
        for (int i = 0; i < width; i++) {
            int column = right_to_left ? width - 1 - i : i;
            out.insert(out.end(), {(uint8_t)row, (uint8_t)column, 0x55});
        }
    return out;
}

TEST(Orientation, EveryStorageOrderGivesThePicture)
{
    for (int width : {1, 3, 4})
        for (uint8_t descriptor : {0x00, 0x10, 0x20, 0x30})
            for (bool rle : {false, true})
                for (int flip : {0, 1}) {
                    Bytes body = picture(descriptor & 0x20 ? 0 : 1, width, descriptor & 0x10);
                    if (rle)  // one raw packet across the row end
                        body.insert(body.begin(), (uint8_t)(2 * width - 1));
                    TgaHeader h{.imageType = uint8_t(rle ? 10 : 2), .width = uint16_t(width),
                                .height = 2, .descriptor = descriptor};
                    Read r = read_tga(tga_bytes(h, body), flip);
                    SCOPED_TRACE(testing::Message() << "width " << width << " descriptor "
                                                    << +descriptor << " rle " << rle << " flip "
                                                    << flip);
                    ASSERT_NE(r.image, nullptr);
                    // Without a flip request row 0 is the bottom of the picture.
                    EXPECT_EQ(pixels_of(*r.image), picture(flip ? 0 : 1, width, false));
                }
}

TEST(Kinds, RecordDescribesThePixels)
{
    struct { uint8_t imageType, bpp; int components; GLenum format; } kinds[] = {
        {2, 24, 3, GL_BGR_EXT}, {2, 32, 4, GL_BGRA_EXT}, {3, 8, 1, GL_LUMINANCE},
        {10, 24, 3, GL_BGR_EXT}, {10, 32, 4, GL_BGRA_EXT}, {11, 8, 1, GL_LUMINANCE},
    };
    for (const auto& k : kinds) {
        TgaHeader h{.imageType = k.imageType, .width = 2, .bpp = k.bpp};
        Bytes body(2 * k.components, 0x42);
        if (k.imageType > 8)
            body.insert(body.begin(), 0x01);
        Read r = read_tga(tga_bytes(h, body));
        ASSERT_NE(r.image, nullptr) << +k.imageType << " " << +k.bpp;
        EXPECT_EQ(r.image->width, 2);
        EXPECT_EQ(r.image->height, 1);
        EXPECT_EQ(r.image->components, k.components);
        EXPECT_EQ(r.image->format, k.format);
        EXPECT_EQ(r.image->colorMapEntries, 0);
        EXPECT_EQ(r.image->colorMapFormat, 0u);
        EXPECT_EQ(r.image->colorMap, nullptr);
        EXPECT_EQ(pixels_of(*r.image), Bytes(2 * k.components, 0x42));
    }
}

TEST(ColorMap, EntriesBelowTheFirstIndexAreZero)
{
    for (uint8_t type : {1, 9}) {
        TgaHeader h = indexed(3, 24);
        h.imageType = type;
        h.colorMapIndex = 2;
        h.width = 4;
        Bytes indices = {2, 3, 4, 0};
        Bytes run_header = type == 9 ? Bytes{0x03} : Bytes{};
        Read r = read_tga(tga_bytes(h, concat({{1, 2, 3, 4, 5, 6, 7, 8, 9}, run_header, indices})));
        ASSERT_NE(r.image, nullptr);
        EXPECT_EQ(r.image->format, (GLenum)GL_COLOR_INDEX);
        EXPECT_EQ(r.image->components, 1);
        EXPECT_EQ(r.image->colorMapEntries, 5);
        EXPECT_EQ(r.image->colorMapFormat, (GLenum)GL_RGB);
        EXPECT_EQ(Bytes(r.image->colorMap, r.image->colorMap + 15),
                  (Bytes{0, 0, 0, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7}));
        EXPECT_EQ(pixels_of(*r.image), indices);
    }
}

TEST(IdField, SkippedAtLevelZeroShownAtLevelOne)
{
    TgaHeader h{.idLength = 5};
    Bytes file = tga_bytes(h, {'a', 'b', 0, 'c', 'd', 7, 8, 9});
    for (unsigned level : {0, 1}) {
        Read r = read_tga(file, 0, level);
        ASSERT_NE(r.image, nullptr);
        EXPECT_EQ(pixels_of(*r.image), (Bytes{7, 8, 9}));
        // The field ends at its first NUL and is right-aligned to its length.
        EXPECT_EQ(r.out, level ? head(h, 0, "   ab") : "");
    }
}

TEST(IdField, UnreadableFieldIsReportedAndReadingGoesOn)
{
    TgaHeader h{.idLength = 200};
    Read loud = read_tga(tga_bytes(h), 0, 1, true);
    EXPECT_EQ(loud.image, nullptr);
    EXPECT_STREQ(tga_error_text, "TGA: Cannot read ID field in \"test.tga\"");
    EXPECT_EQ(loud.out, "TGA: found Original TGA\n"
                        "TGA: idLength=200, colorMapType=0\n"
                        "TGA: Cannot read ID field in \"test.tga\"\n"
                        "TGA: width=1, height=1, bpp=24\n"
                        "TGA: vertical reversed\n"
                        "TGA: 24 bit color image\n"
                        "TGA: error reading (ftell == 18, width=1)\n");

    // At level 0 the field is skipped by seeking, which a memory stream refuses past its end.
    Read silent = read_tga(tga_bytes(h), 0, 0, true);
    EXPECT_EQ(silent.image, nullptr);
    EXPECT_STREQ(tga_error_text, "TGA: Cannot skip ID field in \"test.tga\"");
    EXPECT_EQ(silent.out, "");
}

TEST(Messages, EachLevelPrintsExactly)
{
    // 3 x 2 grey, rows right to left and bottom to top: a run of 4 crosses the
    // row end, a raw packet of 2 completes the second row, one byte trails.
    TgaHeader h{.imageType = 11, .width = 3, .height = 2, .bpp = 8, .descriptor = 0x10};
    Bytes file = tga_bytes(h, {0x83, 7, 0x01, 8, 9, 0});
    const std::string first = head(h, 1), last = "TGA: too much input data, ignoring extra...\n";
    const std::string expected[] = {
        "",
        first + last,
        first + "TGA: rle_fread 3/4 (total 4)\nTGA: rle_fread 3/2 (total 6)\n" + last,
        first + "TGA: RLE packet 4/4\nTGA: rle_fread 3/4 (total 4)\n"
                "TGA: raw packet 2/6\nTGA: rle_fread 3/2 (total 6)\n" + last,
    };
    for (unsigned level = 0; level <= 3; level++) {
        Read r = read_tga(file, 1, level);
        ASSERT_NE(r.image, nullptr);
        EXPECT_EQ(r.out, expected[level]) << "level " << level;
        EXPECT_EQ(pixels_of(*r.image), (Bytes{9, 8, 7, 7, 7, 7})) << "top row first";
    }
}

TEST(Load, ReturnsTheTopRowFirst)
{
    TgaHeader h{.imageType = 3, .width = 2, .height = 2, .bpp = 8};
    ScratchFolder folder;
    write_file("map.tga", tga_bytes(h, {1, 2, 3, 4}));
    tga_reset_state();
    Image image(tga_load("map.tga"), tga_free);
    EXPECT_EQ(pixels_of(*image), (Bytes{3, 4, 1, 2}));
}

TEST(LoadDeathTest, MissingFile)
{
    tga_reset_state();
    EXPECT_EQ(fatal_stdout([] { tga_load("/nonexistent/map2.tga"); }),
              "could not open \"/nonexistent/map2.tga\"\n");
}

TEST(LoadDeathTest, InvalidFile)
{
    ScratchFolder folder;
    write_file("map.tga", tga_bytes({.imageType = 0}));
    tga_reset_state();
    EXPECT_EQ(fatal_stdout([] { tga_load("map.tga"); }), "not TGA or PCX image\n");
}

#if !defined(__SANITIZE_ADDRESS__)
// Reads path with the address space capped at 2 GB; exits 7 when the read
// fails with the allocation text.
void read_capped(const std::string& path)
{
    rlimit limit = {1L << 31, 1L << 31};
    setrlimit(RLIMIT_AS, &limit);
    FILE* stream = fopen(path.c_str(), "rb");
    TgaImage* image = tga_read(stream, "big.tga", 1);
    const char* text = "TGA: cannot allocate 4294836225 bytes of pixels for \"big.tga\"";
    exit(image == nullptr && strcmp(tga_error_text, text) == 0 ? 7 : 0);
}

// A sparse file claims 4 GB of pixels behind a colour map; the buffer can't
// be had and the read fails cleanly.
TEST(ReadDeathTest, PixelBufferThatCannotBeAllocatedFails)
{
    TgaHeader h = indexed(256, 24);
    h.width = 65535;
    h.height = 65535;
    ScratchFolder folder;
    write_file("big.tga", tga_bytes(h));
    ASSERT_EQ(truncate("big.tga", 18 + 256 * 3 + 65535L * 65535), 0);
    EXPECT_EXIT(read_capped("big.tga"), testing::ExitedWithCode(7), "");
}
#endif

}  // namespace
