// Arbitrary bytes through the material reader: every material it returns
// must have a name, and name and image must be pieces of the text.
#include <cstdlib>
#include <string_view>

#include "gamefs/material.h"

static bool inside(std::string_view piece, std::string_view text)
{
    return piece.empty() || (piece.data() >= text.data() &&
                             piece.data() + piece.size() <= text.data() + text.size());
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<material_image> found;
    parse_materials(text, &found);
    for (const material_image& m : found)
        if (m.material.empty() || !inside(m.material, text) || !inside(m.image, text))
            abort();
    return 0;
}
