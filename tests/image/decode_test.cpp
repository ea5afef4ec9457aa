// Texture decoding: the Targa corpus against its reference PNGs, PNG, JPEG
// and WebP files of each kind written here, and what must be refused, silently.
#include "image/decode.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <webp/encode.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "tests/image/decode_bytes.h"
#include "tests/image/tga_test_support.h"
#include "tests/support/corpus.h"
#include "tests/support/png_read.h"

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

Bytes pixels_of(const RgbaImage& image)
{
    return Bytes(image.pixels, image.pixels + (size_t)image.width * image.height * 4);
}

Picture decode(const Bytes& file)
{
    return decode_exact(file.data(), file.size());
}

// What run prints on either console stream.
std::string console_of(const std::function<void()>& run)
{
    return capture_stdout([&] {
        fflush(stderr);
        int saved = dup(2);
        dup2(1, 2);
        run();
        fflush(stderr);
        dup2(saved, 2);
        close(saved);
    });
}

// ---- Targa corpus: each accepted file decodes as its reference PNG does.

const std::string corpus = corpus_path("tga/");

// "{w}x{h}_{mode}_..." has the reference "{w}x{h}_{mode}.png"; 16-bit
// channels (grey with alpha, and the files without one) are refused. The
// 16-bit true-colour file has its own test.
void expect_decoded_as_reference(const std::string& name)
{
    std::string reference = corpus + name.substr(0, name.find('_', name.find('_') + 1)) + ".png";
    Picture targa(image_load((corpus + name).c_str()), image_free);
    if (name.find("_la_") != std::string::npos || !std::filesystem::exists(reference)) {
        EXPECT_EQ(targa, nullptr);
        return;
    }
    Picture png(image_load(reference.c_str()), image_free);
    ASSERT_NE(targa, nullptr) << image_error_text;
    ASSERT_NE(png, nullptr) << image_error_text;
    EXPECT_EQ(pixels_of(*targa), pixels_of(*png));
    Png top_first = read_png(reference, PNG_FORMAT_RGBA);
    ASSERT_EQ(top_first.height, targa->height);
    auto bottom = top_first.pixels.end() - targa->width * 4;
    EXPECT_EQ(Bytes(targa->pixels, targa->pixels + targa->width * 4),
              Bytes(bottom, top_first.pixels.end()));
}

TEST(Decode, CorpusTargasDecodeAsTheirReferencePngsBottomRowFirst)
{
    SKIP_WITHOUT_CORPUS();
    for (const std::string& name : tga_files_in(corpus)) {
        if (name == "rgba16.tga")
            continue;
        SCOPED_TRACE(name);
        expect_decoded_as_reference(name);
    }
}

// ---- PNG of every kind, written here; the expected colour follows the kind.

const int png_width = 9, png_height = 7;  // Adam7 has pixels in every pass
const png_color palette[4] = {{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {90, 90, 90}};
const png_byte transparency[2] = {0, 128};

Rgba png_colour(int type, int x, int y)
{
    if (type == PNG_COLOR_TYPE_PALETTE) {
        const png_color& c = palette[(x + y) % 4];
        return {c.red, c.green, c.blue, (x + y) % 4 < 2 ? transparency[(x + y) % 4] : (uint8_t)255};
    }
    uint8_t r = x * 28, g = y * 36, b = x * y * 5, a = 255 - x * y * 4;
    bool grey = !(type & PNG_COLOR_MASK_COLOR), alpha = type & PNG_COLOR_MASK_ALPHA;
    return {r, grey ? r : g, grey ? r : b, alpha ? a : (uint8_t)255};
}

Bytes png_samples(int type, int x, int y)
{
    Rgba c = png_colour(type, x, y);
    switch (type) {
    case PNG_COLOR_TYPE_PALETTE:
        return {(uint8_t)((x + y) % 4)};
    case PNG_COLOR_TYPE_GRAY:
        return {c.r};
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return {c.r, c.a};
    case PNG_COLOR_TYPE_RGB:
        return {c.r, c.g, c.b};
    default:
        return {c.r, c.g, c.b, c.a};
    }
}

void append(png_structp png, png_bytep data, size_t length)
{
    auto* out = (Bytes*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + length);
}

Bytes png_file(int type, int depth, int interlace)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, png_width, png_height, depth, type, interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette, 4);
        png_set_tRNS(png, info, transparency, 2, nullptr);
    }
    png_write_info(png, info);
    std::vector<Bytes> rows(png_height);
    for (int y = 0; y < png_height; y++)
        for (int x = 0; x < png_width; x++)
            for (uint8_t sample : png_samples(type, x, y))
                rows[y].insert(rows[y].end(), depth / 8, sample);  // 16-bit: v * 257
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows)
        pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct PngKind {
    const char* name;
    int type, depth, interlace;
};

TEST(Decode, PngOfEveryKindBecomesRgba8BottomRowFirst)
{
    const PngKind kinds[] = {
        {"rgb", PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE},
        {"rgba", PNG_COLOR_TYPE_RGBA, 8, PNG_INTERLACE_NONE},
        {"grey", PNG_COLOR_TYPE_GRAY, 8, PNG_INTERLACE_NONE},
        {"grey_alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, PNG_INTERLACE_NONE},
        {"palette_trns", PNG_COLOR_TYPE_PALETTE, 8, PNG_INTERLACE_NONE},
        {"rgb16", PNG_COLOR_TYPE_RGB, 16, PNG_INTERLACE_NONE},
        {"grey_alpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, PNG_INTERLACE_NONE},
        {"rgba_interlaced", PNG_COLOR_TYPE_RGBA, 8, PNG_INTERLACE_ADAM7},
    };
    for (const PngKind& k : kinds) {
        SCOPED_TRACE(k.name);
        Picture picture = decode(png_file(k.type, k.depth, k.interlace));
        ASSERT_NE(picture, nullptr) << image_error_text;
        Bytes expected;
        for (int y = png_height - 1; y >= 0; y--)
            for (int x = 0; x < png_width; x++) {
                Rgba c = png_colour(k.type, x, y);
                expected.insert(expected.end(), {c.r, c.g, c.b, c.a});
            }
        EXPECT_EQ(pixels_of(*picture), expected);
    }
}

// ---- JPEG: the top half one colour, the bottom half another.

struct JpegKind {
    const char* name;
    J_COLOR_SPACE given, stored;  // CMYK is given inverted, as Adobe's files hold it
    bool progressive;
    Rgba top, bottom;
};

const int jpeg_side = 16;

Bytes jpeg_samples(const JpegKind& k, Rgba c)
{
    if (k.given == JCS_GRAYSCALE)
        return {c.r};
    if (k.given == JCS_CMYK)
        return {c.r, c.g, c.b, 255};
    return {c.r, c.g, c.b};
}

Bytes jpeg_file(const JpegKind& k)
{
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &memory, &size);
    c.image_width = c.image_height = jpeg_side;
    c.input_components = (int)jpeg_samples(k, k.top).size();
    c.in_color_space = k.given;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, k.stored);
    jpeg_set_quality(&c, 95, TRUE);
    if (k.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < jpeg_side; y++) {
        Bytes row;
        for (int x = 0; x < jpeg_side; x++)
            for (uint8_t sample : jpeg_samples(k, y < jpeg_side / 2 ? k.top : k.bottom))
                row.push_back(sample);
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&c, &pointer, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(memory, memory + size);
    free(memory);
    return out;
}

void expect_row_near(const RgbaImage& image, int row, Rgba c)
{
    for (int x = 0; x < image.width; x++) {
        const unsigned char* p = image.pixels + ((size_t)row * image.width + x) * 4;
        const uint8_t expected[4] = {c.r, c.g, c.b, c.a};
        for (int i = 0; i < 4; i++)
            ASSERT_NEAR(p[i], expected[i], 6) << "row " << row << " x " << x << " channel " << i;
    }
}

// A picture whose top half is `top` and bottom half `bottom`, row 0 first.
void expect_halves(const Bytes& file, Rgba top, Rgba bottom)
{
    Picture picture = decode(file);
    ASSERT_NE(picture, nullptr) << image_error_text;
    ASSERT_EQ(picture->width, jpeg_side);
    expect_row_near(*picture, 0, bottom);
    expect_row_near(*picture, jpeg_side - 1, top);
}

const Rgba red = {255, 0, 0, 255}, blue = {0, 0, 255, 255};
const JpegKind rgb_jpeg = {"rgb", JCS_RGB, JCS_YCbCr, false, red, blue};

TEST(Decode, JpegOfEveryKindBecomesRgbaBottomRowFirst)
{
    const JpegKind kinds[] = {
        rgb_jpeg,
        {"progressive", JCS_RGB, JCS_YCbCr, true, red, blue},
        {"stored_rgb", JCS_RGB, JCS_RGB, false, red, blue},
        {"grey", JCS_GRAYSCALE, JCS_GRAYSCALE, false, {60, 60, 60, 255}, {200, 200, 200, 255}},
        {"cmyk", JCS_CMYK, JCS_CMYK, false, red, blue},
        {"ycck", JCS_CMYK, JCS_YCCK, false, red, blue},
    };
    for (const JpegKind& k : kinds) {
        SCOPED_TRACE(k.name);
        expect_halves(jpeg_file(k), k.top, k.bottom);
    }
}

// ---- WebP: the top half green and half clear, the bottom half blue.

const Rgba half_clear_green = {0, 255, 0, 128};

Bytes webp_file(bool lossless)
{
    const int side = jpeg_side, stride = side * 4;
    Bytes rgba;
    for (int i = 0; i < side * side; i++) {
        Rgba c = i < side * side / 2 ? half_clear_green : blue;  // the top rows come first
        rgba.insert(rgba.end(), {c.r, c.g, c.b, c.a});
    }
    uint8_t* out = nullptr;
    size_t size = lossless ? WebPEncodeLosslessRGBA(rgba.data(), side, side, stride, &out)
                           : WebPEncodeRGBA(rgba.data(), side, side, stride, 90, &out);
    Bytes file(out, out + size);
    WebPFree(out);
    return file;
}

TEST(Decode, WebpLossyAndLosslessBecomeRgbaBottomRowFirst)
{
    for (bool lossless : {false, true}) {
        SCOPED_TRACE(lossless ? "lossless" : "lossy");
        expect_halves(webp_file(lossless), half_clear_green, blue);
    }
}

const Bytes png_sample = png_file(PNG_COLOR_TYPE_RGB, 8, 0);
const Bytes jpeg_sample = jpeg_file(rgb_jpeg);
const Bytes webp_sample = webp_file(true);  // lossless: a bare VP8L chunk
const Bytes targa_sample = tga_bytes({.width = 2, .height = 1}, {1, 2, 3, 4, 5, 6});

TEST(Decode, TargaIndexPastItsMapIsOpaqueBlack)
{
    TgaHeader header = indexed(2, 24);
    header.width = 3;
    Picture picture = decode(tga_bytes(header, {1, 2, 3, 4, 5, 6, 0, 1, 2}));
    ASSERT_NE(picture, nullptr) << image_error_text;
    EXPECT_EQ(pixels_of(*picture), (Bytes{3, 2, 1, 255, 6, 5, 4, 255, 0, 0, 0, 255}));
}

TEST(Decode, ReadsPastWhatTheLibrariesOnlyWarnAboutSilently)
{
    Bytes jpeg = jpeg_sample, png = png_sample;
    jpeg.insert(jpeg.end() - 2, {0x12, 0x34});  // junk before the end marker
    png.insert(png.begin() + 33, {0, 0, 0, 0, 'a', 'b', 'C', 'd', 0, 0, 0, 0});  // bad checksum
    for (const Bytes& file : {jpeg, png}) {
        Picture picture(nullptr, image_free);
        EXPECT_EQ(console_of([&] { picture = decode(file); }), "");
        EXPECT_NE(picture, nullptr) << image_error_text;
    }
}

// Bytes inside a larger buffer, as an archive's entry may be: only the
// given ones are read, so the file less its last byte is cut short even
// with that byte right behind.
TEST(Decode, ReadsOnlyTheBytesGiven)
{
    for (const Bytes& file : {png_sample, jpeg_sample, webp_sample, targa_sample}) {
        Bytes buffer = concat({Bytes(7, 0xAA), file, Bytes(7, 0xAA)});
        Picture alone = decode(file);
        Picture inside(image_decode(buffer.data() + 7, file.size()), image_free);
        ASSERT_NE(alone, nullptr) << image_error_text;
        ASSERT_NE(inside, nullptr) << image_error_text;
        EXPECT_EQ(pixels_of(*inside), pixels_of(*alone));
        Picture short_by_one(image_decode(buffer.data() + 7, file.size() - 1), image_free);
        EXPECT_EQ(short_by_one, nullptr);
        EXPECT_NE(image_error_text.find("truncated"), std::string::npos) << image_error_text;
    }
}

// ---- Refusals: null, a reason, nothing printed, no wait.

Bytes cut(const Bytes& file, size_t length)
{
    return Bytes(file.begin(), file.begin() + length);
}

// A PNG whose header claims side x side, its checksum made right.
Bytes png_claiming(uint32_t side)
{
    Bytes file = png_sample;
    for (int at : {16, 20})
        for (int i = 0; i < 4; i++)
            file[at + i] = side >> (24 - 8 * i);
    uLong crc = crc32(0, file.data() + 12, 17);
    for (int i = 0; i < 4; i++)
        file[29 + i] = crc >> (24 - 8 * i);
    return file;
}

Bytes jpeg_claiming(uint16_t side)
{
    Bytes file = jpeg_sample;
    size_t frame = 2;
    while (!(file[frame] == 0xFF && file[frame + 1] == 0xC0))
        frame += 2 + (file[frame + 2] << 8 | file[frame + 3]);
    for (int at : {5, 7}) {
        file[frame + at] = side >> 8;
        file[frame + at + 1] = side & 0xFF;
    }
    return file;
}

// A progressive JPEG whose last scan comes 1000 times more: libjpeg only
// warns, and would make a pass over the picture for each.
Bytes jpeg_of_many_scans()
{
    Bytes file = jpeg_file({"progressive", JCS_RGB, JCS_YCbCr, true, red, blue});
    Bytes marker = {0xFF, 0xDA};
    auto last = std::find_end(file.begin(), file.end() - 2, marker.begin(), marker.end());
    Bytes scan(last, file.end() - 2);
    for (int i = 0; i < 1000; i++)
        file.insert(file.end() - 2, scan.begin(), scan.end());
    return file;
}

// The VP8L header packs each side less one into 14 bits; alpha and version kept.
Bytes webp_claiming(uint32_t side)
{
    Bytes file = webp_sample;
    uint32_t bits = (side - 1) | (side - 1) << 14 | (uint32_t)(file[24] >> 4) << 28;
    for (int i = 0; i < 4; i++)
        file[21 + i] = bits >> (8 * i);
    return file;
}

// "RIFF", the size of the rest, then the rest.
Bytes riff(uint32_t size, const Bytes& rest)
{
    Bytes file = {'R', 'I', 'F', 'F'};
    for (int i = 0; i < 4; i++)
        file.push_back(size >> (8 * i));
    return concat({file, rest});
}

Bytes random_bytes()
{
    Bytes out(1000);
    unsigned n = 12345;
    for (uint8_t& byte : out)
        byte = (n = n * 1103515245 + 12345) >> 16;
    return out;
}

Bytes damaged(Bytes file, size_t at)
{
    file[at] ^= 0xFF;
    return file;
}

struct Refusal {
    const char* name;
    Bytes file;
    const char* reason;  // found in image_error_text
};

const Refusal refusals[] = {
    {"empty", {}, "not an image"},
    {"random", random_bytes(), "not an image"},
    {"png_signature_only", cut(png_sample, 8), "truncated PNG"},
    {"png_cut_in_header", cut(png_sample, 20), "truncated PNG"},
    {"png_cut_in_data", cut(png_sample, png_sample.size() / 2), "truncated PNG"},
    {"png_without_end", cut(png_sample, png_sample.size() - 12), "truncated PNG"},
    {"png_damaged", damaged(png_sample, png_sample.size() - 20), "damaged PNG"},
    {"jpeg_marker_only", cut(jpeg_sample, 3), "truncated JPEG"},
    {"jpeg_cut_in_header", cut(jpeg_sample, 100), "truncated JPEG"},
    {"jpeg_cut_in_data", cut(jpeg_sample, jpeg_sample.size() - 40), "truncated JPEG"},
    {"jpeg_without_end", cut(jpeg_sample, jpeg_sample.size() - 2), "truncated JPEG"},
    {"jpeg_of_many_scans", jpeg_of_many_scans(), "too many scans"},
    {"targa_cut_in_header", cut(targa_sample, 10), "not an image"},
    {"targa_unknown_type", tga_bytes({.imageType = 5}, {1, 2, 3}), "not an image"},
    {"targa_16_bit_grey", tga_bytes({.imageType = 3, .bpp = 16}, {1, 2}),
     "damaged Targa: channel sizes other than 8 bits"},
    {"dds_magic_only", {'D', 'D', 'S', ' '}, "truncated DDS header"},
    {"targa_header_only", cut(targa_sample, 18), "truncated Targa"},
    {"targa_cut_in_data", cut(targa_sample, targa_sample.size() - 1), "truncated Targa"},
    {"webp_cut_in_data", cut(webp_sample, webp_sample.size() - 10), "truncated WebP"},
    {"webp_random", riff(1004, concat({{'W', 'E', 'B', 'P'}, random_bytes()})), "damaged WebP"},
    {"webp_riff_4gib", riff(0xFFFFFFFF, Bytes(webp_sample.begin() + 8, webp_sample.end())),
     "larger than 64 MiB"},
    {"png_8193", png_claiming(8193), "larger than 8192"},
    {"png_100000", png_claiming(100000), "larger than 8192"},
    {"jpeg_8193", jpeg_claiming(8193), "larger than 8192"},
    {"jpeg_65500", jpeg_claiming(65500), "larger than 8192"},
    {"targa_8193", tga_bytes({.width = 8193, .height = 1}, Bytes(8193 * 3)), "larger than 8192"},
    {"targa_65535", tga_bytes({.imageType = 10, .width = 65535, .height = 65535}, {0xFF, 1, 2, 3}),
     "larger than 8192"},
    {"webp_16383", webp_claiming(16383), "larger than 8192"},
};

// Loads path, which must be refused for reason without a word on the console.
void expect_refused(const std::string& path, const char* reason)
{
    RgbaImage* image = nullptr;
    EXPECT_EQ(console_of([&] { image = image_load(path.c_str()); }), "");
    EXPECT_EQ(image, nullptr);
    EXPECT_NE(image_error_text.find(reason), std::string::npos) << image_error_text;
    image_free(image);
}

TEST(Decode, RefusedFilesAreNullWithAReasonSilently)
{
    ScratchFolder folder;
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        // As text: the bytes overload hands fwrite a null pointer for an empty file.
        write_file("picture", std::string(refusal.file.begin(), refusal.file.end()));
        expect_refused("picture", refusal.reason);
    }
}

// Not read, and a FIFO without a writer does not hold the call up, nor a
// file larger than any image read.
TEST(RefusedPath, IsNullWithAReasonSilently)
{
    ScratchFolder folder;
    ASSERT_EQ(mkfifo("fifo", 0600) | symlink("loop", "back") | symlink("back", "loop"), 0);
    write_file("huge", std::string());  // sparse: no time or disk spent
    std::filesystem::resize_file("huge", image_max_file_bytes + 1);
    const std::pair<std::string, const char*> paths[] = {
        {".", "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {"fifo", "not a regular file"},
        {"loop", "cannot open"},
        {"huge", "larger than any image may be"},
        {std::string(100000, 'a'), "cannot open"},
    };
    for (const auto& [path, reason] : paths) {
        SCOPED_TRACE(path.substr(0, 20));
        expect_refused(path, reason);
    }
}

}  // namespace
