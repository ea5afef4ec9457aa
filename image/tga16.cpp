// True-colour Targa of 16 (or 15) bits a pixel, plain or run-length, as GIMP
// and others write it: little-endian A1 R5 G5 B5. Its own decoder, as the
// default view's reader takes no such files.
#include "image/decoders.h"

namespace {

struct Header {
    int width, height;
    bool rle, alpha;            // alpha: the descriptor gives the pixels one alpha bit
    bool top_down, right_left;  // the order of the stored rows and of the pixels in each
};

// Reads the 18 header bytes and skips the ID field; the size and type were
// checked by the caller. The reason when the header is refused.
std::string read_header(ImageBytes* in, Header* h)
{
    unsigned id_length = read_u8(in), map_type = read_u8(in), type = read_u8(in);
    take_bytes(in, 9);  // colour map fields and origin
    h->width = read_le16(in);
    h->height = read_le16(in);
    read_u8(in);  // bits a pixel
    unsigned descriptor = read_u8(in);
    take_bytes(in, id_length);
    if (map_type != 0)
        return "damaged Targa: non-indexed image has invalid color map type " +
               std::to_string(map_type);
    h->rle = type == 10;
    h->alpha = (descriptor & 0x0F) == 1;
    h->top_down = descriptor & 0x20;
    h->right_left = descriptor & 0x10;
    return in->overrun ? "truncated Targa" : "";
}

// Whether the bytes left can hold count pixels at all, so that a lying
// header gets no buffer: plain pixels take two bytes each, and a run packet
// of three bytes gives 128 at most.
bool pixels_fit(const Header& h, size_t count, size_t left)
{
    return h.rle ? count <= left / 3 * 128 : count <= left / 2;
}

unsigned char widen(unsigned five_bits)
{
    return (unsigned char)(five_bits << 3 | five_bits >> 2);
}

// The index-th pixel in file order goes to its place, bottom row first.
void put_pixel(const Header& h, size_t index, uint16_t value, unsigned char* pixels)
{
    size_t row = index / h.width, column = index % h.width;
    if (h.top_down)
        row = h.height - 1 - row;
    if (h.right_left)
        column = h.width - 1 - column;
    unsigned char* out = pixels + (row * h.width + column) * 4;
    out[0] = widen(value >> 10 & 31);
    out[1] = widen(value >> 5 & 31);
    out[2] = widen(value & 31);
    out[3] = !h.alpha || value & 0x8000 ? 255 : 0;
}

// Every pixel in file order; run-length packets may run on from one row to
// the next, and one running past the last pixel ends there. False when the
// bytes run out first.
bool read_pixels(ImageBytes* in, const Header& h, unsigned char* pixels)
{
    size_t count = (size_t)h.width * h.height;
    for (size_t done = 0; done < count;) {
        size_t packet = 1;
        bool run = false;
        if (h.rle) {
            unsigned packet_header = read_u8(in);
            packet = (packet_header & 0x7F) + 1;
            run = packet_header & 0x80;
        }
        uint16_t value = run ? read_le16(in) : 0;
        for (size_t i = 0; i < packet && done < count; i++, done++)
            put_pixel(h, done, run ? value : read_le16(in), pixels);
        if (in->overrun)
            return false;
    }
    return true;
}

}  // namespace

RgbaImage* tga16_decode(ImageBytes* in)
{
    Header h = {};
    std::string refusal = read_header(in, &h);
    if (!refusal.empty())
        return image_refuse(refusal);
    if (!pixels_fit(h, (size_t)h.width * h.height, bytes_left(*in)))
        return image_refuse("truncated Targa");
    RgbaImage* image = image_new(h.width, h.height);
    if (!image)
        return image_refuse("out of memory");
    if (read_pixels(in, h, image->pixels))
        return image;
    image_free(image);
    return image_refuse("truncated Targa");
}
