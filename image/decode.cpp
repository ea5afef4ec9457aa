// Texture images told apart by their first bytes; Targa, which has no
// signature, is what is left. Also the shared record and the file opening.
#include "image/decode.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "image/decoders.h"
#include "image/tga.h"

std::string image_error_text;

std::string image_size_refusal(long width, long height)
{
    if (width > image_max_side || height > image_max_side)
        return "larger than " + std::to_string(image_max_side) + " pixels a side";
    if (width <= 0 || height <= 0)
        return "no pixels: a side of 0";
    return "";
}

RgbaImage* image_new(int width, int height)
{
    RgbaImage* image = (RgbaImage*)malloc(sizeof *image);
    unsigned char* pixels = (unsigned char*)malloc((size_t)width * height * 4);
    if (image && pixels) {
        *image = {width, height, pixels, 1, image_rgba8};
        return image;
    }
    free(image);
    free(pixels);
    return nullptr;
}

RgbaImage* image_refuse(const std::string& reason)
{
    image_error_text = reason;
    return nullptr;
}

void image_free(RgbaImage* image)
{
    if (!image)
        return;
    free(image->pixels);
    free(image);
}

namespace {

// A Targa header's length: its fields are checked before tga_read sees them.
constexpr int tga_header_size = 18;

int le16(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8;
}

// A map entry, or opaque black for an index past the map.
void targa_pixel(const TgaImage& tga, const unsigned char* in, unsigned char* out)
{
    if (tga.format == GL_COLOR_INDEX) {
        bool mapped = in[0] < tga.colorMapEntries;
        for (int i = 0; i < 3; i++)
            out[i] = mapped ? tga.colorMap[in[0] * 3 + i] : 0;
    } else if (tga.format == GL_LUMINANCE) {
        out[0] = out[1] = out[2] = in[0];
    } else {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
    }
    out[3] = tga.format == GL_BGRA_EXT ? in[3] : 255;
}

RgbaImage* targa_to_rgba(const TgaImage& tga)
{
    RgbaImage* image = image_new(tga.width, tga.height);
    if (!image)
        return image_refuse("out of memory");
    size_t count = (size_t)tga.width * tga.height;
    for (size_t i = 0; i < count; i++)
        targa_pixel(tga, tga.pixels + i * tga.components, image->pixels + i * 4);
    return image;
}

// tga_read's reason without its prefix and line end; it gives none for rows
// that run out.
std::string targa_reason()
{
    std::string text = tga_error_text;
    if (text.empty())
        return "truncated Targa";
    if (text.rfind("TGA: ", 0) == 0)
        text.erase(0, 5);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return "damaged Targa: " + text;
}

// Unquiet at any verbosity above 0, so it reads at 0 and the level is restored.
TgaImage* quiet_tga_read(FILE* stream)
{
    unsigned int verbosity = tga_verbosity;
    tga_verbosity = 0;
    tga_error_text[0] = '\0';
    TgaImage* tga = tga_read(stream, "texture", 0);
    tga_verbosity = verbosity;
    return tga;
}

// tga_read reads from the stream's very start and measures it to its end, so
// a picture further into the stream is read from a copy of the rest; the
// caller frees *bytes after closing the copy.
FILE* copy_of_rest(FILE* stream, long start, unsigned char** bytes)
{
    long end = fseek(stream, 0, SEEK_END) == 0 ? ftell(stream) : -1;
    if (end <= start || fseek(stream, start, SEEK_SET) != 0)
        return nullptr;
    size_t size = end - start;
    *bytes = (unsigned char*)malloc(size);
    FILE* copy =
        *bytes && fread(*bytes, 1, size, stream) == size ? fmemopen(*bytes, size, "rb") : nullptr;
    if (!copy)
        free(*bytes);
    return copy;
}

// Types 1-3 and their run-length forms; a colour map type past 1 is no Targa.
bool targa_header_plausible(const unsigned char* head)
{
    int type = head[2];
    return ((type >= 1 && type <= 3) || (type >= 9 && type <= 11)) && head[1] <= 1;
}

// The header is checked here first, so that a hostile size is refused
// before tga_read allocates for it.
RgbaImage* targa_decode(FILE* stream, long start, const unsigned char* head, size_t length)
{
    if (length < tga_header_size || !targa_header_plausible(head))
        return image_refuse("not an image");
    std::string size = image_size_refusal(le16(head + 12), le16(head + 14));
    if (!size.empty())
        return image_refuse(size);
    unsigned char* bytes = nullptr;
    FILE* copy = start == 0 ? nullptr : copy_of_rest(stream, start, &bytes);
    if (start != 0 && !copy)
        return image_refuse("cannot copy the Targa out of its stream");
    TgaImage* tga = quiet_tga_read(copy ? copy : stream);
    if (copy) {
        fclose(copy);
        free(bytes);
    }
    if (!tga)
        return image_refuse(targa_reason());
    RgbaImage* image = targa_to_rgba(*tga);
    tga_free(tga);
    return image;
}

}  // namespace

RgbaImage* image_decode(FILE* stream)
{
    unsigned char head[image_head_size] = {};
    long start = ftell(stream);
    size_t length = start < 0 ? 0 : fread(head, 1, sizeof head, stream);
    if (start < 0 || ferror(stream) || fseek(stream, start, SEEK_SET) != 0)
        return image_refuse("cannot read the stream");
    if (length >= 8 && png_sig_cmp(head, 0, 8) == 0)
        return png_decode(stream, head);
    if (length >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return jpeg_decode(stream);
    if (length >= 12 && memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "WEBP", 4) == 0)
        return webp_decode(stream, head);
    if (length >= 4 && memcmp(head, "DDS ", 4) == 0)
        return dds_decode(stream);
    return targa_decode(stream, start, head, length);
}

RgbaImage* image_load(const char* path)
{
    // Non-blocking, so that a FIFO without a writer opens at once to be refused.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return image_refuse(std::string("cannot open: ") + strerror(errno));
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return image_refuse("not a regular file");
    }
    FILE* stream = fdopen(fd, "rb");
    if (!stream) {
        close(fd);
        return image_refuse(std::string("cannot open: ") + strerror(errno));
    }
    RgbaImage* image = image_decode(stream);
    fclose(stream);
    return image;
}
