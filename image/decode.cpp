// Texture images told apart by their first bytes; Targa, which has no
// signature, is what is left. Also the byte context, the shared record and
// the file reading.
#include "image/decode.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/decoders.h"
#include "image/tga.h"

std::string image_error_text;

uint16_t le16(const unsigned char* bytes)
{
    return (uint16_t)(bytes[0] | bytes[1] << 8);
}

uint32_t le32(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

size_t bytes_left(const ImageBytes& in)
{
    return in.size - in.at;
}

const unsigned char* take_bytes(ImageBytes* in, size_t count)
{
    if (count > bytes_left(*in)) {
        in->at = in->size;
        in->overrun = true;
        return nullptr;
    }
    in->at += count;
    return in->data + in->at - count;
}

unsigned read_u8(ImageBytes* in)
{
    const unsigned char* byte = take_bytes(in, 1);
    return byte ? *byte : 0;
}

uint16_t read_le16(ImageBytes* in)
{
    const unsigned char* bytes = take_bytes(in, 2);
    return bytes ? le16(bytes) : 0;
}

uint32_t read_le32(ImageBytes* in)
{
    const unsigned char* bytes = take_bytes(in, 4);
    return bytes ? le32(bytes) : 0;
}

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
    const unsigned char* in = tga.pixels;
    unsigned char* out = image->pixels;
    // The common true-colour forms in loops of their own: a large map's
    // texels are many, and a branch per texel costs most of the time.
    if (tga.format == GL_BGRA_EXT && tga.components == 4) {
        for (size_t i = 0; i < count; i++, in += 4, out += 4)
            out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = in[3];
    } else if (tga.format == GL_BGR_EXT && tga.components == 3) {
        for (size_t i = 0; i < count; i++, in += 3, out += 4)
            out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 255;
    } else {
        for (size_t i = 0; i < count; i++)
            targa_pixel(tga, in + i * tga.components, out + i * 4);
    }
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

// Types 1-3 and their run-length forms; a colour map type past 1 is no Targa.
bool targa_header_plausible(const unsigned char* head)
{
    int type = head[2];
    return ((type >= 1 && type <= 3) || (type >= 9 && type <= 11)) && head[1] <= 1;
}

// The header is checked here first, so that a hostile size is refused
// before tga_read allocates for it. tga_read takes a stream, which it
// measures to its end: the stream holds the bytes from the cursor on.
RgbaImage* targa_decode(ImageBytes* in)
{
    const unsigned char* head = in->data + in->at;
    if (bytes_left(*in) < tga_header_size || !targa_header_plausible(head))
        return image_refuse("not an image");
    std::string size = image_size_refusal(le16(head + 12), le16(head + 14));
    if (!size.empty())
        return image_refuse(size);
    // True colour of 15 or 16 bits, plain or run-length, which tga_read refuses.
    if ((head[2] & ~8) == 2 && (head[16] == 15 || head[16] == 16))
        return tga16_decode(in);
    FILE* stream = fmemopen(const_cast<unsigned char*>(head), bytes_left(*in), "r");
    if (!stream)
        return image_refuse("out of memory");
    TgaImage* tga = quiet_tga_read(stream);
    fclose(stream);
    if (!tga)
        return image_refuse(targa_reason());
    RgbaImage* image = targa_to_rgba(*tga);
    tga_free(tga);
    return image;
}

bool starts_with(const ImageBytes& in, const char* signature, size_t at = 0)
{
    size_t length = strlen(signature);
    return in.size >= at + length && memcmp(in.data + at, signature, length) == 0;
}

// A whole regular file in bytes, or the reason it is not read.
std::string read_whole(int fd, std::vector<unsigned char>* bytes)
{
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return "not a regular file";
    if ((uint64_t)status.st_size > image_max_file_bytes)
        return "larger than any image may be: " + std::to_string(status.st_size) + " bytes";
    bytes->resize((size_t)status.st_size);
    size_t done = 0;
    while (done < bytes->size()) {
        ssize_t got = read(fd, bytes->data() + done, bytes->size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::string("cannot read: ") + strerror(errno);
        if (got == 0)
            break;
        done += (size_t)got;
    }
    // A file that shrank while read is decoded as far as it now goes.
    bytes->resize(done);
    return "";
}

}  // namespace

RgbaImage* image_decode(const unsigned char* bytes, size_t size)
{
    ImageBytes in = {bytes, bytes ? size : 0, 0, false};
    if (in.size >= 8 && png_sig_cmp(bytes, 0, 8) == 0)
        return png_decode(&in);
    if (starts_with(in, "\xFF\xD8\xFF"))
        return jpeg_decode(&in);
    if (starts_with(in, "RIFF") && starts_with(in, "WEBP", 8))
        return webp_decode(&in);
    if (starts_with(in, "DDS "))
        return dds_decode(&in);
    return targa_decode(&in);
}

RgbaImage* image_load(const char* path)
{
    // Non-blocking, so that a FIFO without a writer opens at once to be refused.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return image_refuse(std::string("cannot open: ") + strerror(errno));
    std::vector<unsigned char> bytes;
    std::string refusal = read_whole(fd, &bytes);
    close(fd);
    if (!refusal.empty())
        return image_refuse(refusal);
    return image_decode(bytes.data(), bytes.size());
}
