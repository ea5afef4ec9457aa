// DirectDraw Surface textures, as id Tech 4 games ship them: S3TC blocks
// (DXT1, DXT3, DXT5) or 24- and 32-bit RGB(A) of byte-wide channels. A file
// whose mip chain runs down to 1 x 1 keeps its own levels, S3TC ones as
// blocks the GL takes as they are; otherwise only its top level is kept, as
// RGBA, and gets its mipmaps as other images do. DDS rows run top-down, so
// everything is turned to run bottom-up on the way.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/decoders.h"

namespace {

constexpr int dds_header_size = 128;  // the magic and the 124-byte header
constexpr uint32_t flag_mipmap_count = 0x20000;
constexpr uint32_t pixel_alpha = 0x1, pixel_fourcc = 0x4, pixel_rgb = 0x40,
                   pixel_luminance = 0x20000;
constexpr uint32_t caps2_cube_map = 0x200, caps2_volume = 0x200000;

uint64_t le64(const unsigned char* bytes)
{
    return le32(bytes) | (uint64_t)le32(bytes + 4) << 32;
}

// The fields read, from the magic on.
struct DdsHeader {
    uint32_t size, flags, height, width, mip_count;
    uint32_t pixel_flags, fourcc, bit_count, masks[4];  // red, green, blue, alpha
    uint32_t caps2;
};

DdsHeader header_of(const unsigned char* bytes)
{
    DdsHeader h;
    h.size = le32(bytes + 4), h.flags = le32(bytes + 8);
    h.height = le32(bytes + 12), h.width = le32(bytes + 16), h.mip_count = le32(bytes + 28);
    h.pixel_flags = le32(bytes + 80), h.fourcc = le32(bytes + 84), h.bit_count = le32(bytes + 88);
    for (int i = 0; i < 4; i++)
        h.masks[i] = le32(bytes + 92 + 4 * i);
    h.caps2 = le32(bytes + 112);
    return h;
}

// How a level is stored in the file: S3TC blocks, or pixels of pixel_bytes
// whose channels sit at these bit shifts (alpha_shift < 0: opaque).
struct DdsFormat {
    ImageLayout layout;
    int pixel_bytes;
    int shifts[3];
    int alpha_shift;
};

std::string fourcc_name(uint32_t fourcc)
{
    std::string name;
    for (int i = 0; i < 4; i++) {
        char c = (char)(fourcc >> 8 * i);
        name += c >= ' ' && c <= '~' ? c : '?';
    }
    return name;
}

// The shift of a mask that covers one whole byte of a pixel of bits, or -1.
int byte_shift(uint32_t mask, uint32_t bits)
{
    for (uint32_t shift = 0; shift + 8 <= bits; shift += 8)
        if (mask == 0xFFu << shift)
            return (int)shift;
    return -1;
}

// The format, or the reason it is not read.
std::string format_of(const DdsHeader& header, DdsFormat* format)
{
    if (header.pixel_flags & pixel_fourcc) {
        const char* names[] = {"DXT1", "DXT3", "DXT5"};
        const ImageLayout layouts[] = {image_dxt1, image_dxt3, image_dxt5};
        for (int i = 0; i < 3; i++)
            if (header.fourcc == le32((const unsigned char*)names[i])) {
                *format = {layouts[i], 0, {}, -1};
                return "";
            }
        if (header.fourcc == le32((const unsigned char*)"DX10"))
            return "DDS with a DX10 header: not read";
        return "DDS of format " + fourcc_name(header.fourcc) + ": not read";
    }
    if (header.pixel_flags & pixel_luminance)
        return "luminance DDS: not read";
    uint32_t bits = header.bit_count;
    if (!(header.pixel_flags & pixel_rgb) || (bits != 24 && bits != 32))
        return "DDS of " + std::to_string(bits) + "-bit pixels: not read";
    *format = {image_rgba8, (int)bits / 8, {}, -1};
    for (int i = 0; i < 3; i++)
        if ((format->shifts[i] = byte_shift(header.masks[i], bits)) < 0)
            return "DDS with channels not a byte each: not read";
    if ((header.pixel_flags & pixel_alpha) && header.masks[3] != 0 &&
        (format->alpha_shift = byte_shift(header.masks[3], bits)) < 0)
        return "DDS with channels not a byte each: not read";
    return "";
}

int level_side(int side, int level)
{
    return std::max(1, side >> level);
}

// The number of levels from a side of that length down to 1.
int full_chain(int width, int height)
{
    int levels = 1;
    while ((std::max(width, height) >> levels) > 0)
        levels++;
    return levels;
}

uint64_t file_level_size(const DdsFormat& format, int width, int height)
{
    if (format.layout == image_rgba8)
        return (uint64_t)width * height * format.pixel_bytes;
    return image_level_size(format.layout, width, height);
}

// ---- S3TC blocks.

int block_bytes(ImageLayout layout)
{
    return layout == image_dxt1 ? 8 : 16;
}

// The first rows of a block's texel rows (bits a row, from bit first on)
// in reverse order.
uint64_t reverse_rows(uint64_t packed, int first, int bits, int rows)
{
    uint64_t row_mask = (1ull << bits) - 1, result = packed;
    for (int r = 0; r < rows; r++) {
        int from = first + r * bits, to = first + (rows - 1 - r) * bits;
        result = (result & ~(row_mask << to)) | ((packed >> from & row_mask) << to);
    }
    return result;
}

void put_le64(unsigned char* bytes, uint64_t value)
{
    for (int i = 0; i < 8; i++)
        bytes[i] = (unsigned char)(value >> 8 * i);
}

// Turns a block's rows upside down, as far as the level has rows.
void flip_block(unsigned char* block, ImageLayout layout, int rows)
{
    unsigned char* colour = block + block_bytes(layout) - 8;
    put_le64(colour, reverse_rows(le64(colour), 32, 8, rows));
    if (layout == image_dxt3)
        put_le64(block, reverse_rows(le64(block), 0, 16, rows));
    else if (layout == image_dxt5)
        put_le64(block, reverse_rows(le64(block), 16, 12, rows));
}

// A level's block rows and the rows inside each block swap places, which
// only works out when the level's rows fill its blocks or are fewer than a
// block's.
bool flippable(int height)
{
    return height % 4 == 0 || height <= 2;
}

void flip_level(unsigned char* level, ImageLayout layout, int width, int height)
{
    size_t row_bytes = (size_t)(width + 3) / 4 * block_bytes(layout);
    int block_rows = (height + 3) / 4;
    for (int r = 0; r < block_rows; r++)
        for (size_t b = 0; b < row_bytes; b += block_bytes(layout))
            flip_block(level + r * row_bytes + b, layout, std::min(height, 4));
    unsigned char swap[16];
    for (int r = 0; r < block_rows / 2; r++) {
        unsigned char* up = level + r * row_bytes;
        unsigned char* down = level + (block_rows - 1 - r) * row_bytes;
        for (size_t b = 0; b < row_bytes; b += sizeof swap) {
            size_t n = std::min(sizeof swap, row_bytes - b);
            memcpy(swap, up + b, n);
            memcpy(up + b, down + b, n);
            memcpy(down + b, swap, n);
        }
    }
}

// Colour endpoints of five and six bits to eight.
void rgb565(unsigned value, unsigned char* out)
{
    unsigned r = value >> 11, g = value >> 5 & 63, b = value & 31;
    out[0] = (unsigned char)(r << 3 | r >> 2);
    out[1] = (unsigned char)(g << 2 | g >> 4);
    out[2] = (unsigned char)(b << 3 | b >> 2);
    out[3] = 255;
}

// The 16 texels of a block, top row first; DXT3 and DXT5 colours always
// have four levels, DXT1's three and transparent black when colour 0 is not
// the greater.
void decode_block(const unsigned char* block, ImageLayout layout, unsigned char texels[16][4])
{
    const unsigned char* colour = block + block_bytes(layout) - 8;
    unsigned c0 = colour[0] | colour[1] << 8, c1 = colour[2] | colour[3] << 8;
    unsigned char palette[4][4];
    rgb565(c0, palette[0]);
    rgb565(c1, palette[1]);
    bool four = c0 > c1 || layout != image_dxt1;
    for (int c = 0; c < 3; c++) {
        int a = palette[0][c], b = palette[1][c];
        palette[2][c] = (unsigned char)(four ? (2 * a + b) / 3 : (a + b) / 2);
        palette[3][c] = (unsigned char)(four ? (a + 2 * b) / 3 : 0);
    }
    palette[2][3] = 255;
    palette[3][3] = four ? 255 : 0;
    uint32_t indices = le32(colour + 4);
    for (int i = 0; i < 16; i++)
        memcpy(texels[i], palette[indices >> 2 * i & 3], 4);
    if (layout == image_dxt3) {
        uint64_t alpha = le64(block);
        for (int i = 0; i < 16; i++)
            texels[i][3] = (unsigned char)((alpha >> 4 * i & 15) * 17);
    } else if (layout == image_dxt5) {
        int a0 = block[0], a1 = block[1];
        int alphas[8] = {a0, a1, 0, 0, 0, 0, 0, 255};
        for (int i = 1; i < 7; i++)
            if (a0 > a1)
                alphas[i + 1] = ((7 - i) * a0 + i * a1) / 7;
            else if (i < 5)
                alphas[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        uint64_t codes = le64(block) >> 16;
        for (int i = 0; i < 16; i++)
            texels[i][3] = (unsigned char)alphas[codes >> 3 * i & 7];
    }
}

// A top-down level of blocks to RGBA, bottom row first.
void decode_blocks(const unsigned char* blocks, ImageLayout layout, int width, int height,
                   unsigned char* out)
{
    unsigned char texels[16][4];
    for (int by = 0; by < height; by += 4)
        for (int bx = 0; bx < width; bx += 4, blocks += block_bytes(layout)) {
            decode_block(blocks, layout, texels);
            for (int y = by; y < std::min(height, by + 4); y++)
                for (int x = bx; x < std::min(width, bx + 4); x++)
                    memcpy(out + ((size_t)(height - 1 - y) * width + x) * 4,
                           texels[(y - by) * 4 + x - bx], 4);
        }
}

// A top-down level of byte-channel pixels to RGBA, bottom row first.
void convert_pixels(const unsigned char* in, const DdsFormat& format, int width, int height,
                    unsigned char* out)
{
    for (int y = 0; y < height; y++) {
        unsigned char* row = out + (size_t)(height - 1 - y) * width * 4;
        for (int x = 0; x < width; x++, in += format.pixel_bytes) {
            uint32_t value = format.pixel_bytes == 4 ? le32(in) : in[0] | in[1] << 8 | in[2] << 16;
            for (int c = 0; c < 3; c++)
                row[x * 4 + c] = (unsigned char)(value >> format.shifts[c]);
            row[x * 4 + 3] =
                format.alpha_shift < 0 ? 255 : (unsigned char)(value >> format.alpha_shift);
        }
    }
}

RgbaImage* new_image(int width, int height, int levels, ImageLayout layout, uint64_t bytes)
{
    RgbaImage* image = (RgbaImage*)malloc(sizeof *image);
    unsigned char* pixels = (unsigned char*)malloc(bytes);
    if (image && pixels) {
        *image = {width, height, pixels, levels, layout};
        return image;
    }
    free(image);
    free(pixels);
    return nullptr;
}

// The whole chain, whose bytes are known to be there: blocks as the GL
// takes them, or pixels turned to RGBA.
RgbaImage* read_chain(const unsigned char* in, const DdsFormat& format, int width, int height,
                      int levels)
{
    uint64_t image_bytes = 0;
    for (int l = 0; l < levels; l++)
        image_bytes += image_level_size(format.layout, level_side(width, l), level_side(height, l));
    RgbaImage* image = new_image(width, height, levels, format.layout, image_bytes);
    if (!image)
        return image_refuse("out of memory");
    unsigned char* out = image->pixels;
    for (int l = 0; l < levels; l++) {
        int w = level_side(width, l), h = level_side(height, l);
        if (format.layout == image_rgba8) {
            convert_pixels(in, format, w, h, out);
        } else {
            memcpy(out, in, image_level_size(format.layout, w, h));
            flip_level(out, format.layout, w, h);
        }
        in += file_level_size(format, w, h);
        out += image_level_size(format.layout, w, h);
    }
    return image;
}

// The top level alone, as RGBA.
RgbaImage* read_top(const unsigned char* in, const DdsFormat& format, int width, int height)
{
    RgbaImage* image = image_new(width, height);
    if (!image)
        return image_refuse("out of memory");
    if (format.layout == image_rgba8)
        convert_pixels(in, format, width, height, image->pixels);
    else
        decode_blocks(in, format.layout, width, height, image->pixels);
    return image;
}

}  // namespace

size_t image_level_size(ImageLayout layout, int width, int height)
{
    if (layout == image_rgba8)
        return (size_t)width * height * 4;
    return (size_t)(width + 3) / 4 * ((height + 3) / 4) * block_bytes(layout);
}

RgbaImage* dds_decode(ImageBytes* in)
{
    const unsigned char* bytes = take_bytes(in, dds_header_size);
    if (!bytes)
        return image_refuse("truncated DDS header");
    DdsHeader header = header_of(bytes);
    if (header.size != dds_header_size - 4)
        return image_refuse("damaged DDS: a header of " + std::to_string(header.size) + " bytes");
    if (header.caps2 & (caps2_cube_map | caps2_volume))
        return image_refuse("DDS cube map or volume: only flat textures are read");
    DdsFormat format;
    std::string refusal = format_of(header, &format);
    if (refusal.empty())
        refusal = image_size_refusal(header.width, header.height);
    if (!refusal.empty())
        return image_refuse(refusal);
    int width = (int)header.width, height = (int)header.height;
    int full = full_chain(width, height);
    uint32_t levels = header.flags & flag_mipmap_count ? std::max(header.mip_count, 1u) : 1;
    if (levels > (uint32_t)full)
        return image_refuse("damaged DDS: " + std::to_string(levels) + " mip levels for " +
                            std::to_string(width) + " x " + std::to_string(height) + " pixels");
    uint64_t needed = 0;
    for (uint32_t l = 0; l < levels; l++)
        needed += file_level_size(format, level_side(width, l), level_side(height, l));
    if (needed > bytes_left(*in))
        return image_refuse("truncated DDS");
    const unsigned char* pixels = take_bytes(in, needed);
    bool chain = (int)levels == full && full > 1;
    for (int l = 0; chain && format.layout != image_rgba8 && l < full; l++)
        chain = flippable(level_side(height, l));
    if (chain)
        return read_chain(pixels, format, width, height, full);
    return read_top(pixels, format, width, height);
}

RgbaImage* image_decompress(const RgbaImage* image)
{
    RgbaImage* top = image_new(image->width, image->height);
    if (!top)
        return image_refuse("out of memory");
    // The blocks run bottom-up already, so decoding them as top-down turns
    // them back; decoding turns them once more.
    size_t size = image_level_size(image->layout, image->width, image->height);
    unsigned char* blocks = (unsigned char*)malloc(size);
    if (!blocks) {
        image_free(top);
        return image_refuse("out of memory");
    }
    memcpy(blocks, image->pixels, size);
    flip_level(blocks, image->layout, image->width, image->height);
    decode_blocks(blocks, image->layout, image->width, image->height, top->pixels);
    free(blocks);
    return top;
}
