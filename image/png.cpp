// PNG through libpng: every colour type, depth and interlacing to RGBA8.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "image/decoders.h"

namespace {

// What the handlers tell the decoder after libpng jumps back.
struct PngRead {
    ImageBytes* in;
    std::string failure;  // the reason, empty while all goes well
    RgbaImage* image;
    std::vector<png_bytep> rows;  // into image, top row first
};

PngRead* state_of(png_structp png)
{
    return (PngRead*)png_get_io_ptr(png);
}

// libpng's own handlers print, and its own read calls an early end an error
// like any other.
void failed(png_structp png, png_const_charp message)
{
    state_of(png)->failure = std::string("damaged PNG: ") + message;
    png_longjmp(png, 1);
}

void warned(png_structp, png_const_charp) {}

void read_bytes(png_structp png, png_bytep data, size_t length)
{
    PngRead* state = state_of(png);
    const unsigned char* bytes = take_bytes(state->in, length);
    if (!bytes) {
        state->failure = "truncated PNG";
        png_longjmp(png, 1);
    }
    memcpy(data, bytes, length);
}

// To RGBA8 whatever is stored: palette and tRNS, low and 16-bit depths, grey.
void ask_for_rgba8(png_structp png, png_infop info)
{
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// Everything that may jump back stays in here, and whatever it makes is in
// state: no object of this frame is left behind by the jump.
void read_png(png_structp png, png_infop info, PngRead* state)
{
    if (setjmp(png_jmpbuf(png)))
        return;
    png_set_read_fn(png, state, read_bytes);
    png_set_user_limits(png, image_max_side, image_max_side);
    png_read_info(png, info);
    ask_for_rgba8(png, info);
    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != (size_t)width * 4)
        png_error(png, "unexpected row layout");
    state->image = image_new((int)width, (int)height);
    if (!state->image) {
        state->failure = "out of memory";
        return;
    }
    // libpng gives the top row first; each goes to its place from the bottom.
    state->rows.resize(height);
    for (png_uint_32 y = 0; y < height; y++)
        state->rows[y] = state->image->pixels + (size_t)(height - 1 - y) * width * 4;
    png_read_image(png, state->rows.data());
    png_read_end(png, nullptr);
}

}  // namespace

RgbaImage* png_decode(ImageBytes* in)
{
    // libpng's limits word an oversized picture "Invalid IHDR data"; the
    // chunk's own fields give the plainer reason first. Anything else wrong
    // with them, a cut-off header included, is libpng's to find.
    const unsigned char* head = in->data + in->at;
    if (bytes_left(*in) >= 24 && memcmp(head + 12, "IHDR", 4) == 0) {
        png_uint_32 width = png_get_uint_32(head + 16), height = png_get_uint_32(head + 20);
        if (std::max(width, height) > (png_uint_32)image_max_side)
            return image_refuse(image_size_refusal(width, height));
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failed, warned);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return image_refuse("out of memory");
    }
    PngRead state = {in, "", nullptr, {}};
    read_png(png, info, &state);
    png_destroy_read_struct(&png, &info, nullptr);
    if (state.failure.empty())
        return state.image;
    image_free(state.image);
    return image_refuse(state.failure);
}
