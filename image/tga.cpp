// Targa reader: header, colour map and row placement; the pixel bytes come
// from std_fread or rle_fread.
#include "image/tga.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

unsigned int tga_verbosity = 0;
char tga_error_text[256];

// The file's own layouts. Multi-byte fields stay byte arrays, decoded low
// byte first, so nothing depends on the host's byte order or padding.
struct TgaHeader {
    uint8_t idLength;
    uint8_t colorMapType;
    uint8_t imageType;
    uint8_t colorMapIndex[2];
    uint8_t colorMapLength[2];
    uint8_t colorMapSize;
    uint8_t xOrigin[2];
    uint8_t yOrigin[2];
    uint8_t width[2];
    uint8_t height[2];
    uint8_t bpp;
    uint8_t descriptor;
};
static_assert(sizeof(TgaHeader) == 18);

struct TgaFooter {
    uint8_t extensionAreaOffset[4];
    uint8_t developerDirectoryOffset[4];
    char signature[16];
    char terminator[2];
};
static_assert(sizeof(TgaFooter) == 26);

static const char channel_text[] = "TGA: channel sizes other than 8 bits are unimplemented";

static int le16(const uint8_t* bytes)
{
    return bytes[0] + 256 * bytes[1];
}

// Progress messages appear from level 1 on.
__attribute__((format(printf, 1, 2))) static void note(const char* format, ...)
{
    if (tga_verbosity < 1)
        return;
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

// Keeps the reason for the caller whatever the level; always returns false.
__attribute__((format(printf, 1, 2))) static bool refuse(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(tga_error_text, sizeof tga_error_text, format, args);
    va_end(args);
    note("%s\n", tga_error_text);
    return false;
}

// Returns the stream's size, or -1 when the footer step fails. The footer
// only picks a message, so a file too short to hold one counts as original.
static long read_footer(FILE* stream, const char* path)
{
    long size = fseek(stream, 0, SEEK_END) == 0 ? ftell(stream) : -1;
    TgaFooter footer = {};
    bool short_file = size >= 0 && size < (long)sizeof footer;
    if (size < 0 || (!short_file && (fseek(stream, -(long)sizeof footer, SEEK_END) != 0 ||
                                     fread(&footer, sizeof footer, 1, stream) != 1))) {
        refuse("TGA: Cannot read footer from \"%s\"", path);
        return -1;
    }
    bool new_tga = !short_file && memcmp(footer.signature, "TRUEVISION-XFILE", 16) == 0;
    note(new_tga ? "TGA: found New TGA\n" : "TGA: found Original TGA\n");
    return size;
}

static bool read_header(FILE* stream, const char* path, TgaHeader* header)
{
    if (fseek(stream, 0, SEEK_SET) == 0 && fread(header, sizeof *header, 1, stream) == 1)
        return true;
    return refuse("TGA: Cannot read header from \"%s\"", path);
}

// Shown from level 1 on, skipped unread at level 0; an unreadable field is
// reported but only a failed skip stops the read.
static bool read_id(FILE* stream, const char* path, int length)
{
    if (length == 0)
        return true;
    if (tga_verbosity < 1)
        return fseek(stream, length, SEEK_CUR) == 0 ||
               refuse("TGA: Cannot skip ID field in \"%s\"", path);
    char id[256] = {};
    if (fread(id, 1, length, stream) == (size_t)length)
        printf("TGA: ID field: \"%*s\"\n", length, id);
    else
        refuse("TGA: Cannot read ID field in \"%s\"", path);
    return true;
}

static bool check_size(const TgaHeader& header, TgaImage* image, const char* path)
{
    image->width = le16(header.width);
    image->height = le16(header.height);
    note("TGA: width=%d, height=%d, bpp=%d\n", image->width, image->height, header.bpp);
    return (image->width && image->height && header.bpp) ||
           refuse("TGA: width, height, or bpp is zero in \"%s\"", path);
}

static bool check_no_color_map(const TgaHeader& header)
{
    return header.colorMapType == 0 ||
           refuse("TGA: non-indexed image has invalid color map type %d\n", header.colorMapType);
}

// Sets components and format for the accepted kinds; refuses the others.
static bool check_type(const TgaHeader& header, TgaImage* image, bool* rle)
{
    int type = header.imageType;
    *rle = type >= 9 && type <= 11;
    if (*rle) {
        note("TGA: run-length encoded\n");
        type -= 8;
    }
    switch (type) {
    case 1:
        image->components = 1;
        image->format = GL_COLOR_INDEX;
        note("TGA: %d bit indexed image (%d bit palette)\n", header.bpp, header.colorMapSize);
        if (header.bpp != 8)
            return refuse("%s", channel_text);
        return header.colorMapType == 1 ||
               refuse("TGA: indexed image has invalid color map type %d\n", header.colorMapType);
    case 2:
        image->components = header.bpp == 32 ? 4 : 3;
        image->format = header.bpp == 32 ? GL_BGRA_EXT : GL_BGR_EXT;
        if (header.bpp == 32)
            note("TGA: %d bit color image with alpha channel\n", header.bpp);
        else
            note("TGA: %d bit color image\n", header.bpp);
        if (header.bpp != 24 && header.bpp != 32)
            return refuse("%s", channel_text);
        return check_no_color_map(header);
    case 3:
        image->components = 1;
        image->format = GL_LUMINANCE;
        note("TGA: %d bit grayscale image\n", header.bpp);
        if (header.bpp != 8)
            return refuse("%s", channel_text);
        return check_no_color_map(header);
    }
    return refuse("TGA: unrecognized image type %d\n", header.imageType);
}

// Entries below colorMapIndex are absent from the file and stay zero; the
// stored blue, green, red entries become red, green, blue.
static bool read_color_map(FILE* stream, const TgaHeader& header, TgaImage* image)
{
    int first = le16(header.colorMapIndex);
    int count = le16(header.colorMapLength);
    note("TGA: reading color map (%d + %d) * (%d / 8)\n", first, count, header.colorMapSize);
    if (count == 0)
        return refuse("TGA: invalid color map length %d", count);
    if (header.colorMapSize != 24)
        return refuse("%s", channel_text);
    image->colorMap = (unsigned char*)malloc((size_t)(first + count) * 3);
    if (!image->colorMap)
        return refuse("TGA: cannot allocate a color map of %d entries", first + count);
    memset(image->colorMap, 0, (size_t)first * 3);
    unsigned char* stored = image->colorMap + first * 3;
    if (fread(stored, 3, count, stream) != (size_t)count)
        return refuse("TGA: error reading colormap (ftell == %ld)\n", ftell(stream));
    for (int i = 0; i < count; i++)
        std::swap(stored[i * 3], stored[i * 3 + 2]);
    image->colorMapEntries = first + count;
    image->colorMapFormat = GL_RGB;
    return true;
}

// Reports a row that could not be read whole; the text is not kept.
static bool row_failure(FILE* stream, int width)
{
    note("TGA: error reading (ftell == %ld, width=%d)\n", ftell(stream), width);
    return false;
}

// Whether the rest of the stream can hold the pixels at all: plain data needs
// every byte, and a run packet (header byte plus one element) yields at most
// 128 pixels.
static bool pixels_fit(int64_t pixel_count, int bytes_per_pixel, bool rle, long remaining)
{
    if (!rle)
        return pixel_count * bytes_per_pixel <= remaining;
    return pixel_count <= remaining / (1 + bytes_per_pixel) * 128;
}

static void mirror_row(unsigned char* row, int width, int bytes_per_pixel)
{
    for (int i = 0; i < width / 2; i++)
        std::swap_ranges(row + i * bytes_per_pixel, row + (i + 1) * bytes_per_pixel,
                         row + (width - 1 - i) * bytes_per_pixel);
}

// Reads the rows in file order into their places in pixels, row_stride bytes
// apart; a stride of 0 reads every row into the same one.
static bool read_rows(FILE* stream, const TgaImage* image, unsigned char* pixels, size_t row_stride,
                      bool rle, bool bottom_up, bool mirror)
{
    TgaPixelReader reader = rle ? rle_fread : std_fread;
    RleState state = {};
    bool ok = true;
    for (int i = 0; ok && i < image->height; i++) {
        int row = bottom_up ? i : image->height - 1 - i;
        unsigned char* start = pixels + (size_t)row * row_stride;
        ok = reader(&state, start, image->components, image->width, stream) == image->width ||
             row_failure(stream, image->width);
        if (ok && mirror)
            mirror_row(start, image->width, image->components);
    }
    free(state.buffer);
    return ok;
}

// size is the stream's length, which bounds what the pixel data can be.
static bool read_pixels(FILE* stream, TgaImage* image, bool rle, bool bottom_up, bool mirror,
                        long size, const char* path)
{
    int64_t pixel_count = (int64_t)image->width * image->height;
    long position = ftell(stream);
    if (position >= 0 && !pixels_fit(pixel_count, image->components, rle, size - position)) {
        // The data runs out before the last row. The rows are still read, so
        // that the readers report and stop where they would, but into one row
        // of scratch: a lying header gets no buffer of gigabytes. Nothing is
        // kept, so the result is null even should a grown file fill every row.
        std::vector<unsigned char> row((size_t)image->width * image->components);
        read_rows(stream, image, row.data(), 0, rle, bottom_up, false);
        return false;
    }
    size_t bytes = (size_t)pixel_count * image->components;
    image->pixels = (unsigned char*)malloc(bytes);
    if (!image->pixels)
        return refuse("TGA: cannot allocate %zu bytes of pixels for \"%s\"", bytes, path);
    return read_rows(stream, image, image->pixels, (size_t)image->width * image->components, rle,
                     bottom_up, mirror);
}

static TgaImage* discard(TgaImage* image)
{
    free(image->colorMap);
    free(image->pixels);
    return nullptr;
}

TgaImage* tga_read(FILE* stream, const char* path, int flip)
{
    long size = read_footer(stream, path);
    TgaHeader header;
    if (size < 0 || !read_header(stream, path, &header))
        return nullptr;
    note("TGA: idLength=%d, colorMapType=%d\n", header.idLength, header.colorMapType);
    TgaImage image = {};
    if (!read_id(stream, path, header.idLength) || !check_size(header, &image, path))
        return nullptr;
    bool mirror = header.descriptor & 0x10;
    bool bottom_up = !(header.descriptor & 0x20);
    if (mirror)
        note("TGA: horizontal reversed\n");
    if (bottom_up)
        note("TGA: vertical reversed\n");
    if (flip) {
        note("TGA: vertical flip requested\n");
        bottom_up = !bottom_up;
    }
    bool rle;
    if (!check_type(header, &image, &rle) ||
        (image.format == GL_COLOR_INDEX && !read_color_map(stream, header, &image)) ||
        !read_pixels(stream, &image, rle, bottom_up, mirror, size, path))
        return discard(&image);
    if (fgetc(stream) != EOF)
        note("TGA: too much input data, ignoring extra...\n");
    TgaImage* record = (TgaImage*)malloc(sizeof *record);
    if (!record) {
        refuse("TGA: cannot allocate the image record for \"%s\"", path);
        return discard(&image);
    }
    *record = image;
    return record;
}

TgaImage* tga_load(const char* path)
{
    FILE* stream = fopen(path, "rb");
    if (!stream) {
        printf("could not open \"%s\"\n", path);
        exit(1);
    }
    TgaImage* image = tga_read(stream, path, 1);
    fclose(stream);
    if (!image) {
        printf("not TGA or PCX image\n");
        exit(1);
    }
    return image;
}

void tga_free(TgaImage* image)
{
    if (!image)
        return;
    free(image->colorMap);
    free(image->pixels);
    free(image);
}

void tga_reset_state()
{
    tga_verbosity = 0;
    memset(tga_error_text, 0, sizeof tga_error_text);
    tga_total_bytes = 0;
}
