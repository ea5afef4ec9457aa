// The image reader on data of every length: trailing data, and rows read
// until the data runs out, held to a plain model of the packet rules at every message level.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "tests/image/tga_test_support.h"

namespace {

TEST(Length, TrailingDataIsNotedAndIgnored)
{
    TgaHeader h{.width = 2};
    const std::string signature("TRUEVISION-XFILE.", 18);  // with its NUL
    Bytes footer = concat({Bytes(8, 0), Bytes(signature.begin(), signature.end())});
    Read r = read_tga(tga_bytes(h, concat({{1, 2, 3, 4, 5, 6}, footer})), 0, 1);
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
    TgaHeader plain{.width = 3, .height = 2};
    TgaHeader rle = plain;
    rle.imageType = 10;
    struct { Bytes file; std::string tail; } cases[] = {
        {tga_bytes(plain, Bytes(17, 1)), "TGA: error reading (ftell == 35, width=3)\n"},
        {tga_bytes(rle, concat({{0x02}, Bytes(9, 1), {0x02}, Bytes(8, 2)})),
         "TGA: EOF while reading 9/3 element raw packet\n"
         "TGA: error reading (ftell == 37, width=3)\n"},
        {tga_bytes(rle, concat({{0x02}, Bytes(9, 1), {0x81, 2, 2, 2}})),
         "TGA: hit EOF while looking for count\n"
         "TGA: error reading (ftell == 32, width=3)\n"},
    };
    for (const auto& c : cases) {
        tga_reset_state();
        strcpy(tga_error_text, "earlier");
        Read r = read_tga(c.file, 0, 1);
        EXPECT_EQ(r.image, nullptr);
        EXPECT_TRUE(r.out.ends_with(c.tail)) << r.out;
        EXPECT_EQ(r.position, (long)c.file.size());
    }
}

std::string num(long value)
{
    return std::to_string(value);
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
Outcome expected_rows(const Bytes& data, long offset, const TgaHeader& h, unsigned level)
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
void expect_as_modelled(const Bytes& file, long offset, const TgaHeader& h, int flip,
                        const std::string& id = "")
{
    Bytes data(file.begin() + offset, file.end());
    for (unsigned level = 0; level <= 3; level++) {
        SCOPED_TRACE(testing::Message() << "level " << level << ", " << data.size()
                                        << " pixel bytes");
        Outcome e = expected_rows(data, offset, h, level);
        Read r = read_tga(file, flip, level);
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
    TgaHeader h{.width = 2, .height = 2};
    Read r = read_tga(tga_bytes(h, Bytes(9, 1)), 0, 2);
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
                TgaHeader h = (type & 3) == 1 ? indexed(1 + below(3), 24) : TgaHeader{};
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
                Bytes file = tga_bytes(h, body);
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
        TgaHeader h = (type & 3) == 1 ? indexed(1, 24) : TgaHeader{};
        h.imageType = type;
        h.bpp = (type & 3) == 2 ? 32 : 8;
        h.width = 65535;
        h.height = 65535;
        SCOPED_TRACE(testing::Message() << "type " << +type);
        expect_as_modelled(tga_bytes(h, Bytes(type == 1 || type == 9 ? 13 : 10, 0x80)),
                           18 + h.colorMapLength * 3, h, 1);
    }
#if !defined(__SANITIZE_ADDRESS__)
    setrlimit(RLIMIT_AS, &saved);
#endif
}

TEST(Length, DensestRunLengthDataStillDecodes)
{
    // Two-byte run packets of 128 are the most a byte can expand to.
    TgaHeader grey{.imageType = 11, .width = 256, .bpp = 8};
    Read r = read_tga(tga_bytes(grey, {0xFF, 5, 0xFF, 6}));
    ASSERT_NE(r.image, nullptr);
    Bytes expected(256, 6);
    std::fill_n(expected.begin(), 128, 5);
    EXPECT_EQ(pixels_of(*r.image), expected);

    grey.width = 257;
    EXPECT_EQ(read_tga(tga_bytes(grey, {0xFF, 5, 0xFF, 6})).image, nullptr);
}

TEST(Length, SmallFileWithoutRoomForAFooterDecodes)
{
    TgaHeader h{.imageType = 3, .width = 2, .height = 2, .bpp = 8};
    Bytes file = tga_bytes(h, {1, 2, 3, 4});
    ASSERT_EQ(file.size(), 22u);
    Read r = read_tga(file, 0, 1);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(pixels_of(*r.image), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(r.out.rfind("TGA: found Original TGA\n", 0), 0u) << r.out;

    Read cut = read_tga(tga_bytes(h, {1, 2}), 0, 1);
    EXPECT_EQ(cut.image, nullptr);
    EXPECT_TRUE(cut.out.ends_with("TGA: error reading (ftell == 20, width=2)\n")) << cut.out;
}

}  // namespace
