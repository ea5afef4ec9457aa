#include "tests/support/dds_write.h"

#include <algorithm>
#include <cstring>

namespace {

void put32(DdsBytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[at + i] = (uint8_t)(value >> 8 * i);
}

void put64(uint8_t* bytes, uint64_t value)
{
    for (int i = 0; i < 8; i++)
        bytes[i] = (uint8_t)(value >> 8 * i);
}

const uint8_t* texel(const DdsPicture& picture, int x, int y)
{
    return &picture.rgba[((size_t)y * picture.width + x) * 4];
}

unsigned to565(const uint8_t* c)
{
    return (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3;
}

// Endpoints by value, so that a flipped picture gets the same ones: DXT1 with
// transparency wants colour 0 not the greater, every other the greater.
void colour_block(const DdsPicture& p, int bx, int by, bool transparency, uint8_t* out)
{
    unsigned lo = 0xFFFF, hi = 0;
    for (int y = by; y < std::min(p.height, by + 4); y++)
        for (int x = bx; x < std::min(p.width, bx + 4); x++)
            if (!transparency || texel(p, x, y)[3] >= 128) {
                lo = std::min(lo, to565(texel(p, x, y)));
                hi = std::max(hi, to565(texel(p, x, y)));
            }
    lo = std::min(lo, hi);
    unsigned c0 = transparency ? lo : hi, c1 = transparency ? hi : lo;
    uint32_t indices = 0;
    for (int y = by; y < std::min(p.height, by + 4); y++)
        for (int x = bx; x < std::min(p.width, bx + 4); x++) {
            const uint8_t* c = texel(p, x, y);
            unsigned index = transparency && c[3] < 128 ? 3 : to565(c) == c0 ? 0 : 1;
            indices |= index << 2 * ((y - by) * 4 + x - bx);
        }
    put64(out, c0 | c1 << 16 | (uint64_t)indices << 32);
}

uint64_t alpha_block(const DdsPicture& p, int bx, int by, DdsKind kind)
{
    int lo = 255, hi = 0;
    for (int y = by; y < std::min(p.height, by + 4); y++)
        for (int x = bx; x < std::min(p.width, bx + 4); x++) {
            lo = std::min(lo, (int)texel(p, x, y)[3]);
            hi = std::max(hi, (int)texel(p, x, y)[3]);
        }
    uint64_t bits = kind == dds_dxt5 ? (uint64_t)hi | (uint64_t)lo << 8 : 0;
    for (int y = by; y < std::min(p.height, by + 4); y++)
        for (int x = bx; x < std::min(p.width, bx + 4); x++) {
            int i = (y - by) * 4 + x - bx, a = texel(p, x, y)[3];
            if (kind == dds_dxt3)
                bits |= (uint64_t)(a / 17) << 4 * i;
            else if (a != hi)
                bits |= 1ull << (16 + 3 * i);
        }
    return bits;
}

struct PixelLayout {
    int bytes;
    uint32_t masks[4];
};

PixelLayout layout_of(DdsKind kind)
{
    switch (kind) {
    case dds_bgr24:
        return {3, {0xFF0000, 0xFF00, 0xFF, 0}};
    case dds_rgb24:
        return {3, {0xFF, 0xFF00, 0xFF0000, 0}};
    case dds_bgra32:
        return {4, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
    case dds_rgba32:
        return {4, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}};
    default:
        return {4, {0xFF0000, 0xFF00, 0xFF, 0}};
    }
}

int shift_of(uint32_t mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        shift++;
    }
    return shift;
}

}  // namespace

DdsPicture dds_flipped(const DdsPicture& p)
{
    DdsPicture flipped = p;
    size_t row = (size_t)p.width * 4;
    for (int y = 0; y < p.height; y++)
        memcpy(&flipped.rgba[y * row], &p.rgba[(p.height - 1 - y) * row], row);
    return flipped;
}

DdsBytes dds_level(DdsKind kind, const DdsPicture& p)
{
    DdsBytes out;
    if (kind <= dds_dxt5) {
        int size = kind == dds_dxt1 ? 8 : 16;
        for (int by = 0; by < p.height; by += 4)
            for (int bx = 0; bx < p.width; bx += 4) {
                uint8_t block[16];
                if (kind != dds_dxt1)
                    put64(block, alpha_block(p, bx, by, kind));
                colour_block(p, bx, by, kind == dds_dxt1, block + size - 8);
                out.insert(out.end(), block, block + size);
            }
        return out;
    }
    PixelLayout layout = layout_of(kind);
    for (size_t i = 0; i < p.rgba.size(); i += 4) {
        uint32_t value = 0;
        for (int c = 0; c < 4; c++)
            if (layout.masks[c])
                value |= (uint32_t)p.rgba[i + c] << shift_of(layout.masks[c]);
        for (int b = 0; b < layout.bytes; b++)
            out.push_back((uint8_t)(value >> 8 * b));
    }
    return out;
}

DdsBytes dds_file(DdsKind kind, const std::vector<DdsPicture>& levels, uint32_t mip_count)
{
    DdsBytes file(128, 0);
    memcpy(file.data(), "DDS ", 4);
    put32(file, 4, 124);
    put32(file, 8, 0x1007 | (mip_count ? 0x20000 : 0));
    put32(file, 12, levels[0].height);
    put32(file, 16, levels[0].width);
    put32(file, 28, mip_count);
    put32(file, 76, 32);
    if (kind <= dds_dxt5) {
        const char* names[] = {"DXT1", "DXT3", "DXT5"};
        put32(file, 80, 0x4);
        memcpy(&file[84], names[kind], 4);
    } else {
        PixelLayout layout = layout_of(kind);
        put32(file, 80, 0x40 | (layout.masks[3] ? 0x1 : 0));
        put32(file, 88, layout.bytes * 8);
        for (int c = 0; c < 4; c++)
            put32(file, 92 + 4 * c, layout.masks[c]);
    }
    put32(file, 108, 0x1000 | (mip_count > 1 ? 0x400008 : 0));
    for (const DdsPicture& level : levels) {
        DdsBytes bytes = dds_level(kind, level);
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    return file;
}
