// DDS textures: every format read, the right way up, the file's own mip chain
// kept (and sent to a real GL as it is), and what must be refused.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>

#include "image/decode.h"
#include "render/render.h"
#include "tests/image/decode_bytes.h"
#include "tests/support/dds_write.h"
#include "tests/support/files.h"
#include "tests/support/glut_window.h"
#include "tools/driver/display.h"

namespace {

Picture decode(const DdsBytes& file)
{
    return decode_exact(file.data(), file.size());
}

bool has_alpha(DdsKind kind)
{
    return kind == dds_dxt3 || kind == dds_dxt5 || kind == dds_bgra32 || kind == dds_rgba32;
}

// Two colours of 0 and 255 a channel in each 4 x 4 block, in a pattern that
// a turn upside down changes; the second colour is see-through where the
// kind has alpha, transparent black in DXT1's transparent mode.
DdsPicture picture(int width, int height, int seed, DdsKind kind, bool transparent = false)
{
    DdsPicture p = {width, height, DdsBytes((size_t)width * height * 4)};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            int block = x / 4 + 2 * (y / 4) + seed;
            bool second = (x + 2 * y + seed) % 3 == 0;
            int colour = (block + (second ? 3 : 0)) % 8;
            uint8_t* t = &p.rgba[((size_t)y * width + x) * 4];
            for (int c = 0; c < 3; c++)
                t[c] = colour >> c & 1 ? 255 : 0;
            t[3] = second && has_alpha(kind) ? 68 : 255;
            if (second && transparent)
                t[0] = t[1] = t[2] = t[3] = 0;
        }
    return p;
}

Bytes bytes(const uint8_t* data, size_t size)
{
    return Bytes(data, data + size);
}

Bytes top_level(const RgbaImage& image)
{
    return bytes(image.pixels, image_level_size(image.layout, image.width, image.height));
}

// ---- Every format, one level: RGBA with the picture's top row last.

struct FormatCase {
    const char* name;
    DdsKind kind;
    bool transparent;
    int width, height;
};

void expect_format(const FormatCase& c)
{
    DdsPicture p = picture(c.width, c.height, 1, c.kind, c.transparent);
    Picture image = decode(dds_file(c.kind, {p}, 0));
    ASSERT_NE(image, nullptr) << image_error_text;
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->levels, 1);
    EXPECT_EQ(image->layout, image_rgba8);
    DdsPicture flipped = dds_flipped(p);
    EXPECT_EQ(top_level(*image), Bytes(flipped.rgba.begin(), flipped.rgba.end()));
    size_t row = (size_t)c.width * 4;
    EXPECT_EQ(bytes(image->pixels + (c.height - 1) * row, row), bytes(p.rgba.data(), row));
}

const FormatCase format_cases[] = {
    {"dxt1_opaque", dds_dxt1, false, 8, 8},
    {"dxt1_transparent", dds_dxt1, true, 8, 8},
    {"dxt1_partial_blocks", dds_dxt1, true, 6, 7},
    {"dxt3", dds_dxt3, false, 8, 8},
    {"dxt3_partial_blocks", dds_dxt3, false, 5, 3},
    {"dxt5", dds_dxt5, false, 8, 8},
    {"dxt5_partial_blocks", dds_dxt5, false, 7, 6},
    {"bgr24", dds_bgr24, false, 5, 3},
    {"rgb24", dds_rgb24, false, 5, 3},
    {"bgra32", dds_bgra32, false, 5, 3},
    {"rgba32", dds_rgba32, false, 5, 3},
    {"bgrx32_opaque", dds_bgrx32, false, 5, 3},
};

TEST(Dds, EveryFormatDecodesBottomRowFirst)
{
    for (const FormatCase& c : format_cases) {
        SCOPED_TRACE(c.name);
        expect_format(c);
    }
}

// ---- Interpolated colours and alphas of hand-built 4 x 4 blocks: the
// picture's top row, where texel i uses index i.

struct BlockCase {
    const char* name;
    DdsKind kind;
    uint8_t block[16];
    uint8_t top_row[4][4];
};

void expect_block(const BlockCase& c)
{
    DdsBytes file = dds_file(c.kind, {picture(4, 4, 0, c.kind)}, 0);
    file.resize(128);
    file.insert(file.end(), c.block, c.block + (c.kind == dds_dxt1 ? 8 : 16));
    Picture image = decode(file);
    ASSERT_NE(image, nullptr) << image_error_text;
    EXPECT_EQ(bytes(image->pixels + 3 * 16, 16), bytes(&c.top_row[0][0], 16));
}

// Red 0xF800 and blue 0x001F; indices 0, 1, 2, 3 along the top row (0xE4).
const BlockCase block_cases[] = {
    {"dxt1_four_colours",
     dds_dxt1,
     {0x00, 0xF8, 0x1F, 0x00, 0xE4},
     {{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255}}},
    {"dxt1_three_colours_and_transparent",
     dds_dxt1,
     {0x1F, 0x00, 0x00, 0xF8, 0xE4},
     {{0, 0, 255, 255}, {255, 0, 0, 255}, {127, 0, 127, 255}, {0, 0, 0, 0}}},
    {"dxt3_four_colours_always",
     dds_dxt3,
     {0x0F, 0xF5, 0, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x00, 0xF8, 0xE4},
     {{0, 0, 255, 255}, {255, 0, 0, 0}, {85, 0, 170, 85}, {170, 0, 85, 255}}},
    // Alpha codes 2, 3, 6, 7 along the top row: 010 011 110 111.
    {"dxt5_eight_alphas",
     dds_dxt5,
     {255, 0, 0x9A, 0x0F, 0, 0, 0, 0, 0x00, 0xF8, 0x1F, 0x00, 0x00},
     {{255, 0, 0, 218}, {255, 0, 0, 182}, {255, 0, 0, 72}, {255, 0, 0, 36}}},
    {"dxt5_six_alphas",
     dds_dxt5,
     {0, 255, 0x9A, 0x0F, 0, 0, 0, 0, 0x00, 0xF8, 0x1F, 0x00, 0x00},
     {{255, 0, 0, 51}, {255, 0, 0, 102}, {255, 0, 0, 0}, {255, 0, 0, 255}}},
};

TEST(Dds, BlocksDecodeTheirTopRow)
{
    for (const BlockCase& c : block_cases) {
        SCOPED_TRACE(c.name);
        expect_block(c);
    }
}

// ---- Mip chains: a whole one is kept as the file has it (blocks turned
// bottom-up, pixels to RGBA), anything else gives its top level alone.

std::vector<DdsPicture> levels_of(DdsKind kind, int width, int height, int count)
{
    std::vector<DdsPicture> levels;
    for (int l = 0; l < count; l++)
        levels.push_back(
            picture(std::max(1, width >> l), std::max(1, height >> l), l, kind, kind == dds_dxt1));
    return levels;
}

struct ChainCase {
    const char* name;
    DdsKind kind;
    int width, height, levels_in_file, levels_kept;
};

void expect_chain(const ChainCase& c)
{
    std::vector<DdsPicture> levels = levels_of(c.kind, c.width, c.height, c.levels_in_file);
    Picture image = decode(dds_file(c.kind, levels, c.levels_in_file));
    ASSERT_NE(image, nullptr) << image_error_text;
    ASSERT_EQ(image->levels, c.levels_kept);
    bool blocks = c.levels_kept > 1 && c.kind <= dds_dxt5;
    EXPECT_EQ(image->layout, blocks ? (ImageLayout)(image_dxt1 + (int)c.kind) : image_rgba8);
    const uint8_t* level = image->pixels;
    for (int l = 0; l < c.levels_kept; l++) {
        DdsPicture flipped = dds_flipped(levels[l]);
        DdsBytes expected = blocks ? dds_level(c.kind, flipped) : flipped.rgba;
        EXPECT_EQ(bytes(level, expected.size()), Bytes(expected.begin(), expected.end())) << l;
        level += expected.size();
    }
    if (blocks) {
        Picture top(image_decompress(image.get()), image_free);
        DdsPicture flipped = dds_flipped(levels[0]);
        EXPECT_EQ(top_level(*top), Bytes(flipped.rgba.begin(), flipped.rgba.end()));
    }
}

const ChainCase chain_cases[] = {
    {"dxt1_whole", dds_dxt1, 8, 8, 4, 4},
    {"dxt3_wide", dds_dxt3, 16, 4, 5, 5},
    {"dxt5_tall", dds_dxt5, 4, 16, 5, 5},
    {"bgra32_whole", dds_bgra32, 8, 4, 4, 4},
    {"dxt1_short_of_1x1", dds_dxt1, 8, 8, 2, 1},
    {"bgr24_short_of_1x1", dds_bgr24, 8, 8, 3, 1},
    {"dxt5_rows_not_in_whole_blocks", dds_dxt5, 12, 12, 4, 1},
};

TEST(Dds, KeepsWholeChainsOnly)
{
    for (const ChainCase& c : chain_cases) {
        SCOPED_TRACE(c.name);
        expect_chain(c);
    }
}

// ---- Refusals, with a reason: each a good 8 x 8 DXT1 file of four levels,
// changed.

void put32(DdsBytes& file, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        file[at + i] = (uint8_t)(value >> 8 * i);
}

struct RefusalCase {
    const char* name;
    void (*change)(DdsBytes& file);
    const char* reason;
};

const RefusalCase refusal_cases[] = {
    {"header_cut", [](DdsBytes& f) { f.resize(100); }, "truncated DDS header"},
    {"header_size", [](DdsBytes& f) { put32(f, 4, 100); }, "a header of 100 bytes"},
    {"data_cut", [](DdsBytes& f) { f.pop_back(); }, "truncated DDS"},
    {"width_lies", [](DdsBytes& f) { put32(f, 16, 16); }, "truncated DDS"},
    {"levels_missing", [](DdsBytes& f) { f.resize(f.size() - 16); }, "truncated DDS"},
    {"levels_past_1x1", [](DdsBytes& f) { put32(f, 28, 5); }, "5 mip levels for 8 x 8"},
    {"no_width", [](DdsBytes& f) { put32(f, 16, 0); }, "a side of 0"},
    {"no_height", [](DdsBytes& f) { put32(f, 12, 0); }, "a side of 0"},
    {"too_wide", [](DdsBytes& f) { put32(f, 16, 8193); }, "larger than 8192"},
    {"height_of_4g", [](DdsBytes& f) { put32(f, 12, 0xFFFFFFFF); }, "larger than 8192"},
    {"largest_without_data", [](DdsBytes& f) { put32(f, 12, 8192), put32(f, 16, 8192); },
     "truncated DDS"},
    {"dx10", [](DdsBytes& f) { memcpy(&f[84], "DX10", 4); }, "DX10 header"},
    {"bc4", [](DdsBytes& f) { memcpy(&f[84], "ATI1", 4); }, "format ATI1"},
    {"bc5", [](DdsBytes& f) { memcpy(&f[84], "ATI2", 4); }, "format ATI2"},
    {"premultiplied", [](DdsBytes& f) { memcpy(&f[84], "DXT2", 4); }, "format DXT2"},
    {"rxgb", [](DdsBytes& f) { memcpy(&f[84], "RXGB", 4); }, "format RXGB"},
    {"d3d_number", [](DdsBytes& f) { put32(f, 84, 113); }, "format q???"},
    {"luminance", [](DdsBytes& f) { put32(f, 80, 0x20000), put32(f, 88, 8); }, "luminance"},
    {"rgb16", [](DdsBytes& f) { put32(f, 80, 0x40), put32(f, 88, 16); }, "16-bit pixels"},
    {"ten_bit_channels",
     [](DdsBytes& f) { put32(f, 80, 0x40), put32(f, 88, 32), put32(f, 92, 0x3FF); },
     "not a byte each"},
    {"no_pixel_format", [](DdsBytes& f) { put32(f, 80, 0); }, "not read"},
    {"cube_map", [](DdsBytes& f) { put32(f, 112, 0xFE00); }, "cube map"},
};

TEST(Dds, RefusesWithAReason)
{
    for (const RefusalCase& c : refusal_cases) {
        SCOPED_TRACE(c.name);
        DdsBytes file = dds_file(dds_dxt1, levels_of(dds_dxt1, 8, 8, 4), 4);
        c.change(file);
        image_error_text.clear();
        EXPECT_EQ(decode(file), nullptr);
        EXPECT_NE(image_error_text.find(c.reason), std::string::npos) << image_error_text;
    }
}

// ---- A real GL gets each whole chain as the file has it: its levels read
// back are the file's own, not mipmaps made from the top, the right way up.

TEST(Dds, GlHoldsTheFilesOwnLevels)
{
    ASSERT_TRUE(use_private_display());
    open_test_window();
    for (DdsKind kind : {dds_dxt1, dds_dxt3, dds_dxt5, dds_rgba32}) {
        std::vector<DdsPicture> levels = levels_of(kind, 8, 8, 4);
        Picture image = decode(dds_file(kind, levels, 4));
        ASSERT_NE(image, nullptr) << image_error_text;
        model_texture texture{};
        texture.image = image.release();
        texture.found = true;
        model_textures = {texture};
        upload_model_textures();
        for (int l = 0; l < 4; l++) {
            DdsPicture flipped = dds_flipped(levels[l]);
            Bytes read(flipped.rgba.size());
            glGetTexImage(GL_TEXTURE_2D, l, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
            EXPECT_EQ(read, Bytes(flipped.rgba.begin(), flipped.rgba.end())) << kind << " " << l;
        }
        glDeleteTextures(1, &model_textures[0].id);
        model_textures.clear();
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace
