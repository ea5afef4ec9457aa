// Arbitrary bytes through the shader-script reader: every shader it returns
// must have a name and an image, each a piece of the text.
#include <cstdlib>
#include <string_view>

#include "gamefs/shader_script.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<shader_image> found;
    parse_shader_script(text, &found);
    for (const shader_image& s : found)
        if (s.shader.empty() || s.image.empty() || s.shader.size() + s.image.size() > size)
            abort();
    return 0;
}
