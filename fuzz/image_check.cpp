#include "fuzz/image_check.h"

#include <algorithm>
#include <cstdlib>

#include "fuzz/fuzz_support.h"

void check_and_free(RgbaImage* image)
{
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
