// Arbitrary bytes through the default view's Targa reader, with and without
// the flip, silent and at the most talkative level, and through the model
// view's decoder, which has its own reader of 16-bit pixels; every record
// returned must be whole.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "fuzz/image_check.h"
#include "image/tga.h"

static int flip_request;

static void check_image(const TgaImage* image)
{
    if (image->width < 1 || image->width > 65535 || image->height < 1 || image->height > 65535)
        abort();
    int expected_components = 0;
    switch (image->format) {
    case GL_COLOR_INDEX:
    case GL_LUMINANCE: expected_components = 1; break;
    case GL_BGR_EXT: expected_components = 3; break;
    case GL_BGRA_EXT: expected_components = 4; break;
    default: abort();
    }
    if (image->components != expected_components)
        abort();
    size_t pixel_bytes = size_t(image->width) * size_t(image->height) * size_t(image->components);
    if (!image->pixels || allocated_size(image->pixels) != pixel_bytes)
        abort();
    if (image->format == GL_COLOR_INDEX) {
        if (!image->colorMap || image->colorMapEntries < 1 || image->colorMapFormat != GL_RGB ||
            allocated_size(image->colorMap) != size_t(image->colorMapEntries) * 3)
            abort();
    } else if (image->colorMap || image->colorMapEntries != 0 || image->colorMapFormat != 0) {
        abort();
    }
}

static void read_and_check(FILE* stream)
{
    TgaImage* image = tga_read(stream, "fuzz.tga", flip_request);
    if (strnlen(tga_error_text, sizeof tga_error_text) == sizeof tga_error_text)
        abort();
    if (image) {
        check_image(image);
        tga_free(image);
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    static const unsigned levels[] = {0, 3};
    for (unsigned level : levels) {
        for (int flip = 0; flip <= 1; flip++) {
            tga_reset_state();
            tga_verbosity = level;
            flip_request = flip;
            if (!run_on_bytes(data, size, read_and_check))
                abort();  // the reader itself never ends the process
        }
    }
    tga_reset_state();
    check_and_free(image_decode(data, size));
    return 0;
}
