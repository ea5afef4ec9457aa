// Arbitrary bytes through the DDS reader, its magic always in place so that no
// run is spent on the other formats; whatever comes back must be whole.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "image/decode.h"

static void decode_and_check(FILE* stream)
{
    RgbaImage* image = image_decode(stream);
    if (!image)
        return;
    if (image->width < 1 || image->width > image_max_side || image->height < 1 ||
        image->height > image_max_side || image->levels < 1)
        abort();
    size_t bytes = 0;
    for (int l = 0; l < image->levels; l++)
        bytes += image_level_size(image->layout, std::max(1, image->width >> l),
                                  std::max(1, image->height >> l));
    if (image->levels > 1 &&
        (image->width >> (image->levels - 1) > 1 || image->height >> (image->levels - 1) > 1))
        abort();
    if (allocated_size(image->pixels) != bytes)
        abort();
    if (image->layout != image_rgba8) {
        RgbaImage* top = image_decompress(image);
        if (top && allocated_size(top->pixels) != (size_t)image->width * image->height * 4)
            abort();
        image_free(top);
    }
    image_free(image);
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    std::vector<unsigned char> file(data, data + size);
    if (size > 0)
        memcpy(file.data(), "DDS ", std::min<size_t>(size, 4));
    if (!run_on_bytes(file.data(), file.size(), decode_and_check))
        abort();
    return 0;
}
