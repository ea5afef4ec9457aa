// The image reader on hand-built Targa files: refusals, orientation, colour
// maps, ID fields, odd lengths, console messages and the fatal loader.
#include "image/tga.h"
#include "tests/image/tga_test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

namespace {

struct Header {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 2;
    uint16_t colorMapIndex = 0;
    uint16_t colorMapLength = 0;
    uint8_t colorMapSize = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t bpp = 24;
    uint8_t descriptor = 0;
};

void put16(Bytes* out, uint16_t value)
{
    out->push_back(value & 0xFF);
    out->push_back(value >> 8);
}

// The 18 header bytes (origin fields 0) followed by body.
Bytes tga(const Header& h, const Bytes& body = {})
{
    Bytes out = {h.idLength, h.colorMapType, h.imageType};
    put16(&out, h.colorMapIndex);
    put16(&out, h.colorMapLength);
    out.push_back(h.colorMapSize);
    put16(&out, 0);
    put16(&out, 0);
    put16(&out, h.width);
    put16(&out, h.height);
    out.push_back(h.bpp);
    out.push_back(h.descriptor);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

using Image = std::unique_ptr<TgaImage, decltype(&tga_free)>;

struct Read {
    Image image{nullptr, tga_free};
    std::string out;  // what the call printed
    long position;    // where it left the stream
};

Read read(const Bytes& file, int flip = 0, unsigned level = 0, bool in_memory = false)
{
    tga_reset_state();
    tga_verbosity = level;
    FILE* stream = in_memory ? memory_stream(file) : file_stream(file);
    Read r;
    r.out = capture_stdout([&] { r.image.reset(tga_read(stream, "test.tga", flip)); });
    r.position = ftell(stream);
    fclose(stream);
    tga_verbosity = 0;
    return r;
}

Bytes pixels_of(const TgaImage& image)
{
    return Bytes(image.pixels, image.pixels + image.width * image.height * image.components);
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

const char channel[] = "TGA: channel sizes other than 8 bits are unimplemented";

struct Refusal {
    const char* name;
    Bytes file;
    std::string text;
};

Header indexed(uint16_t length, uint8_t size)
{
    Header h;
    h.imageType = 1;
    h.colorMapType = 1;
    h.colorMapLength = length;
    h.colorMapSize = size;
    h.bpp = 8;
    return h;
}

Header with(Header h, void (*change)(Header&))
{
    change(h);
    return h;
}

const Refusal refusals[] = {
    {"header cut short", Bytes(10, 0), "TGA: Cannot read header from \"test.tga\""},
    {"width zero", tga(with({}, [](Header& h) { h.width = 0; })),
     "TGA: width, height, or bpp is zero in \"test.tga\""},
    {"height zero", tga(with({}, [](Header& h) { h.height = 0; })),
     "TGA: width, height, or bpp is zero in \"test.tga\""},
    {"bpp zero", tga(with({}, [](Header& h) { h.bpp = 0; })),
     "TGA: width, height, or bpp is zero in \"test.tga\""},
    {"size checked before type", tga(with({}, [](Header& h) { h.width = 0; h.imageType = 0; })),
     "TGA: width, height, or bpp is zero in \"test.tga\""},
    {"type 0", tga(with({}, [](Header& h) { h.imageType = 0; })),
     "TGA: unrecognized image type 0\n"},
    {"type 4", tga(with({}, [](Header& h) { h.imageType = 4; })),
     "TGA: unrecognized image type 4\n"},
    {"type 8", tga(with({}, [](Header& h) { h.imageType = 8; })),
     "TGA: unrecognized image type 8\n"},
    {"type 12", tga(with({}, [](Header& h) { h.imageType = 12; })),
     "TGA: unrecognized image type 12\n"},
    {"type 255", tga(with({}, [](Header& h) { h.imageType = 255; })),
     "TGA: unrecognized image type 255\n"},
    {"16-bit true colour", tga(with({}, [](Header& h) { h.bpp = 16; })), channel},
    {"16-bit run-length true colour",
     tga(with({}, [](Header& h) { h.imageType = 10; h.bpp = 16; })), channel},
    {"16-bit grey", tga(with({}, [](Header& h) { h.imageType = 3; h.bpp = 16; })), channel},
    {"16-bit indices", tga(with(indexed(1, 24), [](Header& h) { h.bpp = 16; })), channel},
    {"bpp checked before map type",
     tga(with({}, [](Header& h) { h.bpp = 16; h.colorMapType = 1; })), channel},
    {"indexed without map", tga(with(indexed(1, 24), [](Header& h) { h.colorMapType = 0; })),
     "TGA: indexed image has invalid color map type 0\n"},
    {"true colour with map", tga(with({}, [](Header& h) { h.colorMapType = 1; })),
     "TGA: non-indexed image has invalid color map type 1\n"},
    {"grey with map type 2",
     tga(with({}, [](Header& h) { h.imageType = 11; h.bpp = 8; h.colorMapType = 2; })),
     "TGA: non-indexed image has invalid color map type 2\n"},
    {"empty map", tga(indexed(0, 24)), "TGA: invalid color map length 0"},
    {"16-bit map entries", tga(indexed(2, 16)), channel},
    {"map cut short", tga(indexed(4, 24), Bytes(5, 1)),
     "TGA: error reading colormap (ftell == 23)\n"},
};

class Refused : public testing::TestWithParam<Refusal> {};

TEST_P(Refused, StoresTheReasonAndPrintsItFromLevelOne)
{
    const Refusal& c = GetParam();
    Read silent = read(c.file);
    EXPECT_EQ(silent.image, nullptr);
    EXPECT_STREQ(tga_error_text, c.text.c_str());
    EXPECT_EQ(silent.out, "") << "level 0 prints nothing";

    Read loud = read(c.file, 0, 1);
    EXPECT_EQ(loud.image, nullptr);
    EXPECT_STREQ(tga_error_text, c.text.c_str());
    EXPECT_TRUE(ends_with(loud.out, c.text + "\n")) << loud.out;
}

INSTANTIATE_TEST_SUITE_P(Headers, Refused, testing::ValuesIn(refusals),
                         [](const testing::TestParamInfo<Refusal>& info) {
                             return param_name(info.param.name);
                         });

TEST(RefusedStream, UnseekableStreamFailsAtTheFooter)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    Bytes file = tga({}, {1, 2, 3});
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
    FILE* stream = file_stream(Bytes(10, 0));
    tga_reset_state();
    EXPECT_EQ(tga_read(stream, path.c_str(), 0), nullptr);
    EXPECT_EQ(strlen(tga_error_text), 255u);
    EXPECT_EQ(std::string(tga_error_text, 31), "TGA: Cannot read header from \"p");
    fclose(stream);
}

// A picture of width x 2 pixels, top row first, 3 bytes each: {row, column, 0x55}.
Bytes picture_row(int row, int width, bool right_to_left)
{
    Bytes out;
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
                    bool mirrored = descriptor & 0x10;
                    bool top_down = descriptor & 0x20;
                    Bytes first = picture_row(top_down ? 0 : 1, width, mirrored);
                    Bytes second = picture_row(top_down ? 1 : 0, width, mirrored);
                    Bytes body = first;
                    body.insert(body.end(), second.begin(), second.end());
                    if (rle)  // one raw packet across the row end
                        body.insert(body.begin(), (uint8_t)(2 * width - 1));
                    Header h;
                    h.imageType = rle ? 10 : 2;
                    h.width = width;
                    h.height = 2;
                    h.descriptor = descriptor;
                    Read r = read(tga(h, body), flip);
                    SCOPED_TRACE(testing::Message() << "width " << width << " descriptor "
                                                    << +descriptor << " rle " << rle << " flip "
                                                    << flip);
                    ASSERT_NE(r.image, nullptr);
                    // Without a flip request row 0 is the bottom of the picture.
                    Bytes expected = picture_row(flip ? 0 : 1, width, false);
                    Bytes upper = picture_row(flip ? 1 : 0, width, false);
                    expected.insert(expected.end(), upper.begin(), upper.end());
                    EXPECT_EQ(pixels_of(*r.image), expected);
                }
}

TEST(Kinds, RecordDescribesThePixels)
{
    struct {
        uint8_t imageType, bpp;
        int components;
        GLenum format;
    } kinds[] = {
        {2, 24, 3, GL_BGR_EXT}, {2, 32, 4, GL_BGRA_EXT}, {3, 8, 1, GL_LUMINANCE},
        {10, 24, 3, GL_BGR_EXT}, {10, 32, 4, GL_BGRA_EXT}, {11, 8, 1, GL_LUMINANCE},
    };
    for (const auto& k : kinds) {
        Header h;
        h.imageType = k.imageType;
        h.bpp = k.bpp;
        h.width = 2;
        Bytes body(2 * k.components, 0x42);
        if (k.imageType > 8)
            body.insert(body.begin(), 0x01);
        Read r = read(tga(h, body));
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
        Header h = indexed(3, 24);
        h.imageType = type;
        h.colorMapIndex = 2;
        h.width = 4;
        Bytes body = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        Bytes indices = {2, 3, 4, 0};
        if (type == 9)
            body.push_back(0x03);
        body.insert(body.end(), indices.begin(), indices.end());
        Read r = read(tga(h, body));
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
    Header h;
    h.idLength = 5;
    Bytes file = tga(h, {'a', 'b', 0, 'c', 'd', 7, 8, 9});
    Read silent = read(file);
    ASSERT_NE(silent.image, nullptr);
    EXPECT_EQ(pixels_of(*silent.image), (Bytes{7, 8, 9}));
    EXPECT_EQ(silent.out, "");

    Read loud = read(file, 0, 1);
    ASSERT_NE(loud.image, nullptr);
    EXPECT_EQ(pixels_of(*loud.image), (Bytes{7, 8, 9}));
    // The field ends at its first NUL and is right-aligned to its length.
    EXPECT_EQ(loud.out, "TGA: found Original TGA\n"
                        "TGA: idLength=5, colorMapType=0\n"
                        "TGA: ID field: \"   ab\"\n"
                        "TGA: width=1, height=1, bpp=24\n"
                        "TGA: vertical reversed\n"
                        "TGA: 24 bit color image\n");
}

TEST(IdField, UnreadableFieldIsReportedAndReadingGoesOn)
{
    Header h;
    h.idLength = 200;
    Read loud = read(tga(h), 0, 1, true);
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
    Read silent = read(tga(h), 0, 0, true);
    EXPECT_EQ(silent.image, nullptr);
    EXPECT_STREQ(tga_error_text, "TGA: Cannot skip ID field in \"test.tga\"");
    EXPECT_EQ(silent.out, "");
}

TEST(Length, TrailingDataIsNotedAndIgnored)
{
    Header h;
    h.width = 2;
    Bytes footer(8, 0);
    for (char ch : std::string("TRUEVISION-XFILE.") + '\0')
        footer.push_back(ch);
    Read r = read(tga(h, concat({{1, 2, 3, 4, 5, 6}, footer})), 0, 1);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(pixels_of(*r.image), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(r.out, "TGA: found New TGA\n"
                     "TGA: idLength=0, colorMapType=0\n"
                     "TGA: width=2, height=1, bpp=24\n"
                     "TGA: vertical reversed\n"
                     "TGA: 24 bit color image\n"
                     "TGA: too much input data, ignoring extra...\n");
    EXPECT_EQ(r.position, 18 + 6 + 1) << "one byte past the pixels";
}

TEST(Length, DataEndingInsideTheLastRowFails)
{
    Header plain;
    plain.width = 3;
    plain.height = 2;
    Header rle = plain;
    rle.imageType = 10;
    struct {
        Bytes file;
        std::string tail;
    } cases[] = {
        {tga(plain, Bytes(17, 1)), "TGA: error reading (ftell == 35, width=3)\n"},
        {tga(rle, concat({{0x02}, Bytes(9, 1), {0x02}, Bytes(8, 2)})),
         "TGA: EOF while reading 9/3 element raw packet\n"
         "TGA: error reading (ftell == 37, width=3)\n"},
        {tga(rle, concat({{0x02}, Bytes(9, 1), {0x81, 2, 2, 2}})),
         "TGA: hit EOF while looking for count\n"
         "TGA: error reading (ftell == 32, width=3)\n"},
    };
    for (const auto& c : cases) {
        tga_reset_state();
        strcpy(tga_error_text, "earlier");
        Read r = read(c.file, 0, 1);
        EXPECT_EQ(r.image, nullptr);
        EXPECT_TRUE(ends_with(r.out, c.tail)) << r.out;
        EXPECT_EQ(r.position, (long)c.file.size());
    }
}

std::string num(long value)
{
    return std::to_string(value);
}

// What a read prints at level 1 or more before the pixel data; id is the ID
// field's text.
std::string head(const Header& h, int flip, const std::string& id = "")
{
    std::string out = "TGA: found Original TGA\nTGA: idLength=" + num(h.idLength) +
                      ", colorMapType=" + num(h.colorMapType) + "\n";
    if (h.idLength)
        out += "TGA: ID field: \"" + id + "\"\n";
    out += "TGA: width=" + num(h.width) + ", height=" + num(h.height) + ", bpp=" + num(h.bpp) +
           "\n";
    if (h.descriptor & 0x10)
        out += "TGA: horizontal reversed\n";
    if (!(h.descriptor & 0x20))
        out += "TGA: vertical reversed\n";
    if (flip)
        out += "TGA: vertical flip requested\n";
    if (h.imageType > 8)
        out += "TGA: run-length encoded\n";
    if ((h.imageType & 3) == 1)
        out += "TGA: 8 bit indexed image (24 bit palette)\n"
               "TGA: reading color map (0 + " + num(h.colorMapLength) + ") * (24 / 8)\n";
    else if ((h.imageType & 3) == 3)
        out += "TGA: 8 bit grayscale image\n";
    else
        out += "TGA: " + num(h.bpp) +
               (h.bpp == 32 ? " bit color image with alpha channel\n" : " bit color image\n");
    return out;
}

struct Outcome {
    std::string out;  // at the level asked for
    int32_t total = 0;
    long position = 0;
    bool image = false;
};

// The pixel data read the plain way, one row after another through the packet
// rules, from data (the file from the first pixel byte on, which sits at
// offset): what is printed, the byte total, where the stream is left.
Outcome expected_rows(const Bytes& data, long offset, const Header& h, unsigned level)
{
    Outcome e;
    int bpp = h.bpp / 8;
    bool rle = h.imageType > 8;
    size_t at = 0;
    auto take = [&](size_t n) {
        size_t got = std::min(n, data.size() - at);
        at += got;
        return got == n;
    };
    int held = 0;  // bytes of a packet that overran its row
    for (int row = 0; row < h.height; row++) {
        int wanted = h.width * bpp, done = 0;
        int32_t entry = e.total;
        bool whole = true;
        if (!rle) {
            if (level > 1)
                e.out += "TGA: std_fread " + num(wanted) + " (total " + num(e.total += wanted) +
                         ")\n";
            whole = take(wanted);
        }
        while (rle && done < wanted) {
            int from_held = std::min(held, wanted - done);
            held -= from_held;
            done += from_held;
            if (done == wanted)
                break;
            if (at == data.size()) {
                e.out += level ? "TGA: hit EOF while looking for count\n" : "";
                whole = false;
                break;
            }
            int header = data[at++];
            int size = bpp * ((header & 0x7F) + 1);
            std::string kind = header & 0x80 ? "RLE" : "raw";
            if (!take(header & 0x80 ? bpp : size)) {
                if (level)
                    e.out += "TGA: EOF while reading " + num(size) + "/" + num(bpp) +
                             " element " + kind + " packet\n";
                whole = false;
                break;
            }
            if (level > 1)
                e.total += size;
            if (level > 2)
                e.out += "TGA: " + kind + " packet " + num(size) + "/" + num(e.total) + "\n";
            if (done + size <= wanted)
                done += size;
            else
                held = size;
        }
        if (rle && whole && level > 1)
            e.out += "TGA: rle_fread " + num(wanted) + "/" + num(e.total - entry) + " (total " +
                     num(e.total) + ")\n";
        if (!whole) {
            if (level)
                e.out += "TGA: error reading (ftell == " + num(offset + at) + ", width=" +
                         num(h.width) + ")\n";
            e.position = offset + at;
            return e;
        }
    }
    if (at < data.size()) {
        e.out += level ? "TGA: too much input data, ignoring extra...\n" : "";
        at++;
    }
    e.position = offset + at;
    e.image = true;
    return e;
}

// Reads file (a header h and its ID field id, then the pixel data from offset
// on) at every level and holds the outcome to the plain model.
void expect_as_modelled(const Bytes& file, long offset, const Header& h, int flip,
                        const std::string& id = "")
{
    Bytes data(file.begin() + offset, file.end());
    for (unsigned level = 0; level <= 3; level++) {
        SCOPED_TRACE(testing::Message() << "level " << level << ", " << data.size()
                                        << " pixel bytes");
        Outcome e = expected_rows(data, offset, h, level);
        Read r = read(file, flip, level);
        EXPECT_EQ(r.image != nullptr, e.image);
        EXPECT_EQ(r.out, level ? head(h, flip, id) + e.out : "");
        EXPECT_EQ(tga_total_bytes, e.total);
        EXPECT_EQ(r.position, e.position);
        EXPECT_STREQ(tga_error_text, "") << "a short row is not stored";
    }
}

TEST(Length, TruncatedDataReadsRowsUntilItRunsOut)
{
    // The case that once printed only the last line and counted nothing.
    Header h;
    h.width = 2;
    h.height = 2;
    Read r = read(tga(h, Bytes(9, 1)), 0, 2);
    EXPECT_EQ(r.image, nullptr);
    EXPECT_EQ(r.out, head(h, 0) + "TGA: std_fread 6 (total 6)\nTGA: std_fread 6 (total 12)\n"
                                  "TGA: error reading (ftell == 27, width=2)\n");
    EXPECT_EQ(tga_total_bytes, 12);

    // Every kind, random pixel data cut at every byte. The ID field makes every
    // cut file at least as long as a footer.
    std::mt19937 random(12);
    auto below = [&](int n) { return (int)(random() % n); };
    const std::string id = "aseview!";
    for (uint8_t type : {1, 2, 3, 9, 10, 11})
        for (uint8_t bpp : {8, 24, 32})
            for (int sample = 0; sample < 3 && ((type & 3) == 2) == (bpp > 8); sample++) {
                Header h = (type & 3) == 1 ? indexed(1 + below(3), 24) : Header{};
                h.imageType = type;
                h.bpp = bpp;
                h.idLength = id.size();
                h.width = 1 + below(5);
                h.height = 1 + below(4);
                h.descriptor = below(4) << 4;
                int flip = below(2);
                Bytes body(id.begin(), id.end());
                for (int i = 0; i < h.colorMapLength * 3; i++)
                    body.push_back(below(256));
                long offset = 18 + body.size();
                // Packets of up to two rows and a bit, so that they cross row ends.
                for (int pixels = 0; pixels < h.width * h.height;) {
                    int count = 1, stored = 1;
                    if (type > 8) {
                        int header = below(2) << 7 | below(2 * h.width + 1);
                        count = (header & 0x7F) + 1;
                        stored = header & 0x80 ? 1 : count;
                        body.push_back(header);
                    }
                    for (int i = 0; i < stored * bpp / 8; i++)
                        body.push_back(below(256));
                    pixels += count;
                }
                body.resize(body.size() + below(3), 0x42);
                SCOPED_TRACE(testing::Message() << "type " << +type << ", bpp " << +bpp << ", "
                                                << h.width << " x " << h.height);
                Bytes file = tga(h, body);
                for (size_t cut = offset; cut <= file.size(); cut++)
                    expect_as_modelled(Bytes(file.begin(), file.begin() + cut), offset, h, flip,
                                       id);
            }
}

TEST(Length, HugeHeaderWithFewBytesReadsItsFirstRowOnly)
{
    // With the address space capped at 1 GB a buffer for the whole picture,
    // up to 17 GB, could not be had, and the read would fail otherwise.
#if !defined(__SANITIZE_ADDRESS__)
    rlimit saved;
    getrlimit(RLIMIT_AS, &saved);
    rlimit cap = {1L << 30, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_AS, &cap), 0);
#endif
    for (uint8_t type : {1, 2, 3, 9, 10, 11}) {
        Header h = (type & 3) == 1 ? indexed(1, 24) : Header{};
        h.imageType = type;
        h.bpp = (type & 3) == 2 ? 32 : 8;
        h.width = 65535;
        h.height = 65535;
        SCOPED_TRACE(testing::Message() << "type " << +type);
        expect_as_modelled(tga(h, Bytes(type == 1 || type == 9 ? 13 : 10, 0x80)),
                           18 + h.colorMapLength * 3, h, 1);
    }
#if !defined(__SANITIZE_ADDRESS__)
    setrlimit(RLIMIT_AS, &saved);
#endif
}

TEST(Length, DensestRunLengthDataStillDecodes)
{
    // Two-byte run packets of 128 are the most a byte can expand to.
    Header grey;
    grey.imageType = 11;
    grey.bpp = 8;
    grey.width = 256;
    Read r = read(tga(grey, {0xFF, 5, 0xFF, 6}));
    ASSERT_NE(r.image, nullptr);
    Bytes expected(256, 6);
    std::fill_n(expected.begin(), 128, 5);
    EXPECT_EQ(pixels_of(*r.image), expected);

    grey.width = 257;
    EXPECT_EQ(read(tga(grey, {0xFF, 5, 0xFF, 6})).image, nullptr);
}

TEST(Length, SmallFileWithoutRoomForAFooterDecodes)
{
    Header h;
    h.imageType = 3;
    h.bpp = 8;
    h.width = 2;
    h.height = 2;
    Bytes file = tga(h, {1, 2, 3, 4});
    ASSERT_EQ(file.size(), 22u);
    Read r = read(file, 0, 1);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(pixels_of(*r.image), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(r.out.rfind("TGA: found Original TGA\n", 0), 0u) << r.out;

    Read cut = read(tga(h, {1, 2}), 0, 1);
    EXPECT_EQ(cut.image, nullptr);
    EXPECT_TRUE(ends_with(cut.out, "TGA: error reading (ftell == 20, width=2)\n")) << cut.out;
}

TEST(Messages, EachLevelPrintsExactly)
{
    // 3 x 2 grey, rows right to left and bottom to top: a run of 4 crosses the
    // row end, a raw packet of 2 completes the second row, one byte trails.
    Header h;
    h.imageType = 11;
    h.bpp = 8;
    h.width = 3;
    h.height = 2;
    h.descriptor = 0x10;
    Bytes file = tga(h, {0x83, 7, 0x01, 8, 9, 0});
    const std::string head = "TGA: found Original TGA\n"
                             "TGA: idLength=0, colorMapType=0\n"
                             "TGA: width=3, height=2, bpp=8\n"
                             "TGA: horizontal reversed\n"
                             "TGA: vertical reversed\n"
                             "TGA: vertical flip requested\n"
                             "TGA: run-length encoded\n"
                             "TGA: 8 bit grayscale image\n";
    const std::string tail = "TGA: too much input data, ignoring extra...\n";
    const std::string expected[] = {
        "",
        head + tail,
        head + "TGA: rle_fread 3/4 (total 4)\nTGA: rle_fread 3/2 (total 6)\n" + tail,
        head + "TGA: RLE packet 4/4\nTGA: rle_fread 3/4 (total 4)\n"
               "TGA: raw packet 2/6\nTGA: rle_fread 3/2 (total 6)\n" + tail,
    };
    for (unsigned level = 0; level <= 3; level++) {
        Read r = read(file, 1, level);
        ASSERT_NE(r.image, nullptr);
        EXPECT_EQ(r.out, expected[level]) << "level " << level;
        EXPECT_EQ(pixels_of(*r.image), (Bytes{9, 8, 7, 7, 7, 7})) << "top row first";
    }
}

// A fresh empty file of our own, so parallel runs never share one.
std::string temp_file()
{
    char path[] = "/tmp/tga_test_XXXXXX";
    close(mkstemp(path));
    return path;
}

void write_file(const std::string& path, const Bytes& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// What tga_load printed before ending the process with status 1.
std::string fatal_output(const std::string& path)
{
    std::string out = temp_file();
    EXPECT_EXIT(
        {
            if (!freopen(out.c_str(), "w", stdout))
                exit(2);
            tga_load(path.c_str());
        },
        testing::ExitedWithCode(1), "");
    std::string text = read_file(out);
    unlink(out.c_str());
    return text;
}

TEST(Load, ReturnsTheTopRowFirst)
{
    Header h;
    h.imageType = 3;
    h.bpp = 8;
    h.width = 2;
    h.height = 2;
    std::string path = temp_file();
    write_file(path, tga(h, {1, 2, 3, 4}));
    tga_reset_state();
    Image image(tga_load(path.c_str()), tga_free);
    EXPECT_EQ(pixels_of(*image), (Bytes{3, 4, 1, 2}));
    unlink(path.c_str());
}

TEST(LoadDeathTest, MissingFile)
{
    tga_reset_state();
    EXPECT_EQ(fatal_output("/nonexistent/map2.tga"), "could not open \"/nonexistent/map2.tga\"\n");
}

TEST(LoadDeathTest, InvalidFile)
{
    std::string path = temp_file();
    write_file(path, tga(with({}, [](Header& h) { h.imageType = 0; })));
    tga_reset_state();
    EXPECT_EQ(fatal_output(path), "not TGA or PCX image\n");
    unlink(path.c_str());
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
    Header h = indexed(256, 24);
    h.width = 65535;
    h.height = 65535;
    std::string path = temp_file();
    write_file(path, tga(h));
    ASSERT_EQ(truncate(path.c_str(), 18 + 256 * 3 + 65535L * 65535), 0);
    EXPECT_EXIT(read_capped(path), testing::ExitedWithCode(7), "");
    unlink(path.c_str());
}
#endif

}  // namespace
